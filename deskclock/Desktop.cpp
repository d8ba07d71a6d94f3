#include "deskclock/Desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace deskclock {

QString autostartPath(const QString& configHome)
{
    return configHome + QStringLiteral("/autostart/TamoClock.desktop");
}

QString execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quoted = std::any_of(argument.begin(), argument.end(),
                                    [](QChar c) { return reserved.contains(c); });
    QString quoting;
    for (const QChar c : argument) {
        if (quoted && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            quoting += u'\\';
        quoting += c;
    }
    if (quoted)
        quoting = u'"' + quoting + u'"';
    // The entry's string escapes come on top of the Exec quoting: the reader undoes them first.
    QString line;
    for (const QChar c : std::as_const(quoting)) {
        switch (c.unicode()) {
        case u'%': line += QStringLiteral("%%"); break;
        case u'\\': line += QStringLiteral("\\\\"); break;
        case u'\n': line += QStringLiteral("\\n"); break;
        case u'\t': line += QStringLiteral("\\t"); break;
        case u'\r': line += QStringLiteral("\\r"); break;
        default: line += c;
        }
    }
    return line;
}

QString autostartEntry(const QString& programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=TamoClock\n"
                          "Name[ja]=Tamo 時計\n"
                          "Comment=The Tamo clock in a small window on the desktop\n"
                          "Comment[ja]=Tamo の時計をデスクトップの小さなウィンドウに表示します\n"
                          "Exec=")
        + execArgument(programPath)
        + QStringLiteral("\n"
                         "Icon=tamozp\n"
                         "Terminal=false\n"
                         "StartupNotify=false\n"
                         "X-GNOME-Autostart-enabled=true\n");
}

QString writeAutostart(const QString& path, const QString& programPath)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create %1").arg(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(autostartEntry(programPath).toUtf8()) < 0
        || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

QString removeAutostart(const QString& path)
{
    QFile file(path);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return QString();
    if (!file.remove())
        return QStringLiteral("cannot remove %1: %2").arg(path, file.errorString());
    return QString();
}

QString findProgram(const QString& name, const QString& ownFolder, const QStringList& searchPath)
{
    const QFileInfo own(QDir(ownFolder).filePath(name));
    if (!ownFolder.isEmpty() && own.isFile() && own.isExecutable())
        return own.absoluteFilePath();
    return searchPath.isEmpty() ? QString() : QStandardPaths::findExecutable(name, searchPath);
}

bool launchProgram(const QString& name, const QString& ownFolder)
{
    const QStringList path = qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
    const QString program = findProgram(name, ownFolder, path);
    return !program.isEmpty() && QProcess::startDetached(program, {});
}

} // namespace deskclock
