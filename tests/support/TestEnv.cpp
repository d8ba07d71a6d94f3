#include "TestEnv.h"

#include <QDir>
#include <QFile>

TestEnv::TestEnv()
    : oldConfig_(qgetenv("XDG_CONFIG_HOME")), oldRuntime_(qgetenv("XDG_RUNTIME_DIR"))
{
    QDir().mkpath(configHome());
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
}

TestEnv::~TestEnv()
{
    qputenv("XDG_CONFIG_HOME", oldConfig_);
    qputenv("XDG_RUNTIME_DIR", oldRuntime_);
}
