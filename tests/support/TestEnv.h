#pragma once
// Gives a test its own settings and runtime folders (XDG_CONFIG_HOME, XDG_RUNTIME_DIR) in a
// fresh temporary folder, restored when it goes out of scope.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

class TestEnv {
public:
    TestEnv()
    {
        QDir().mkpath(configHome());
        QDir().mkpath(runtimeDir());
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
    }
    ~TestEnv()
    {
        qputenv("XDG_CONFIG_HOME", oldConfig_);
        qputenv("XDG_RUNTIME_DIR", oldRuntime_);
    }
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString root() const { return dir_.path(); }
    QString configHome() const { return dir_.path() + QStringLiteral("/config"); }
    QString runtimeDir() const { return dir_.path() + QStringLiteral("/runtime"); }

private:
    QTemporaryDir dir_;
    QByteArray oldConfig_ = qgetenv("XDG_CONFIG_HOME");
    QByteArray oldRuntime_ = qgetenv("XDG_RUNTIME_DIR");
};
