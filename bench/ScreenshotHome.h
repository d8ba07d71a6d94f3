#pragma once
// What a README picture starts from: empty settings and a private runtime folder of its own, so
// that the picture never depends on the user's and changes only when the window does.

#include "runtime/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class ScreenshotHome {
public:
    ScreenshotHome()
    {
        const QString runtime = home_.filePath(QStringLiteral("runtime"));
        QDir().mkdir(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    vb::SettingsStore store() const { return vb::SettingsStore(home_.filePath(QStringLiteral("config"))); }

private:
    QTemporaryDir home_;
};
