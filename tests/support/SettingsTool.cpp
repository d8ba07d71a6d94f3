#include "SettingsTool.h"

#include <QProcess>

QStringList settingsToolCommand(const QStringList& arguments)
{
    return QStringList{QStringLiteral(TAMO_SETTINGS_TOOL)} + arguments;
}

ToolRun runSettingsTool(const QStringList& arguments, bool asNobody)
{
    const QStringList nobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
    QStringList command = (asNobody ? nobody : QStringList()) + settingsToolCommand(arguments);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    const QByteArray out = process.readAllStandardOutput();
    return {process.exitCode(), out.endsWith('\n') ? out.chopped(1) : out};
}

QString storedValue(const QString& app, const QString& value)
{
    const ToolRun run = runSettingsTool({QStringLiteral("get"), app, value.section(u'/', 0, 0), value.section(u'/', 1),
                                         QString::fromLatin1(toHexUnits(QStringLiteral("<absent>")))});
    return run.exitCode == 0 ? fromHexUnits(run.out) : QStringLiteral("<tool failed: ") + QString::fromUtf8(run.out);
}
