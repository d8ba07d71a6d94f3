#include "SettingsTool.h"

#include <QProcess>

QString settingsToolPath()
{
    return QStringLiteral(TAMO_SETTINGS_TOOL);
}

QStringList settingsToolCommand(const QStringList& arguments, bool asNobody)
{
    QStringList command;
    if (asNobody)
        command << QStringLiteral("setpriv") << QStringLiteral("--reuid=65534")
                << QStringLiteral("--regid=65534") << QStringLiteral("--clear-groups");
    return command << settingsToolPath() << arguments;
}

ToolRun runSettingsTool(const QStringList& arguments, bool asNobody)
{
    QStringList command = settingsToolCommand(arguments, asNobody);
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
