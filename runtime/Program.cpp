#include "runtime/Program.h"

#include "runtime/MessageBox.h"
#include "tamo_version.h"

#include <cstdio>
#include <cstdlib>

namespace vb {

namespace {
QString& titleStorage()
{
    static QString title;
    return title;
}
} // namespace

Version programVersion()
{
    return {TAMO_VERSION_MAJOR, TAMO_VERSION_MINOR, TAMO_VERSION_REVISION};
}

QString programVersionText()
{
    return QStringLiteral(TAMO_VERSION_TEXT);
}

QString programTitle()
{
    return titleStorage();
}

void setProgramTitle(const QString& title)
{
    titleStorage() = title;
}

QString runtimeErrorMessage(const Error& error)
{
    return QStringLiteral("実行時エラー '%1':\r\n\r\n%2").arg(error.number).arg(error.description);
}

void endWithUnhandledError(const Error& error)
{
    MsgBox(runtimeErrorMessage(error), vbCritical);
    End(1);
}

int runMain(const std::function<int()>& body)
{
    try {
        return body();
    } catch (const Error& e) {
        endWithUnhandledError(e);
    }
}

void End(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

} // namespace vb
