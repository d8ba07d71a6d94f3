#pragma once
// Gives a test its own settings and runtime folders (XDG_CONFIG_HOME, XDG_RUNTIME_DIR) in a
// fresh temporary folder, restored when it goes out of scope.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString root() const { return dir_.path(); }
    QString configHome() const { return dir_.path() + QStringLiteral("/config"); }
    QString runtimeDir() const { return dir_.path() + QStringLiteral("/runtime"); }

private:
    QTemporaryDir dir_;
    QByteArray oldConfig_;
    QByteArray oldRuntime_;
};
