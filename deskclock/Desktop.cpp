#include "deskclock/Desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

qint64 startDetached(const QString& program, const QStringList& arguments)
{
    // Everything the children use is made before fork(): after it, in a process with threads,
    // only async-signal-safe calls are allowed.
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return -1;
    sigset_t none;
    sigemptyset(&none);

    const pid_t middle = ::fork();
    if (middle == 0) {
        // The middle child ends at once, so the program is nobody's child to reap.
        ::close(status[0]);
        ::setsid();
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execv(argv[0], argv.data());
            const int error = errno;
            (void)!::write(status[1], &error, sizeof error);
            ::_exit(127);
        }
        (void)!::write(status[1], &child, sizeof child);
        ::_exit(child < 0 ? 1 : 0);
    }
    ::close(status[1]);
    if (middle < 0) {
        ::close(status[0]);
        return -1;
    }
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) { }
    // The program's id, then an errno only when exec failed (the pipe closes on a good exec).
    pid_t child = -1;
    int error = 0;
    ssize_t n;
    while ((n = ::read(status[0], &child, sizeof child)) < 0 && errno == EINTR) { }
    const bool started = n == sizeof child && child > 0;
    while ((n = ::read(status[0], &error, sizeof error)) < 0 && errno == EINTR) { }
    ::close(status[0]);
    return started && n == 0 ? child : -1;
}

bool launchProgram(const QString& name, const QString& ownFolder)
{
    const QStringList path = qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
    const QString program = findProgram(name, ownFolder, path);
    return !program.isEmpty() && startDetached(program, {}) > 0;
}

} // namespace deskclock
