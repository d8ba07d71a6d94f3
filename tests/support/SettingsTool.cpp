#include "SettingsTool.h"

#include <QProcess>

QStringList settingsToolCommand(const QStringList& arguments)
{
    return QStringList{QStringLiteral(TAMO_SETTINGS_TOOL)} + arguments;
}

ToolRun runSettingsTool(const QStringList& arguments, bool asNobody)
{
    QStringList command = settingsToolCommand(arguments);
    if (asNobody)
        command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups")} + command;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.takeFirst(), command);
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    if (run.out.endsWith('\n'))
        run.out.chop(1);
    return run;
}

QString storedValue(const QString& app, const QString& value)
{
    const ToolRun run = runSettingsTool({QStringLiteral("get"), app, value.section(u'/', 0, 0), value.section(u'/', 1),
                                         QString::fromLatin1(toHexUnits(QStringLiteral("<absent>")))});
    return run.exitCode == 0 ? fromHexUnits(run.out) : QStringLiteral("<tool failed: ") + QString::fromUtf8(run.out);
}
