#include "runtime/RuntimeFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace vb {

namespace {

QString systemMessage(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

QString runtimeFolderPath()
{
    // Only an absolute XDG_RUNTIME_DIR counts; anything else is ignored, as for XDG_CONFIG_HOME.
    QByteArray base = qgetenv("XDG_RUNTIME_DIR");
    if (base.startsWith('/')) {
        while (base.size() > 1 && base.endsWith('/'))
            base.chop(1);
        return QFile::decodeName(base) + (base == "/" ? QStringLiteral("tamo") : QStringLiteral("/tamo"));
    }
    return QStringLiteral("/tmp/tamo-") + QString::number(geteuid());
}

QString runtimeFolder(FolderCreation creation, QString* whyUnusable)
{
    const QString path = runtimeFolderPath();
    const QByteArray native = QFile::encodeName(path);
    auto unusable = [&](const QString& why) {
        if (whyUnusable)
            *whyUnusable = path + QStringLiteral(": ") + why;
        return QString();
    };

    bool created = false;
    if (creation == FolderCreation::CreateIfMissing) {
        if (::mkdir(native.constData(), 0700) == 0)
            created = true;
        else if (errno != EEXIST)
            return unusable(systemMessage(errno));
    }
    // lstat: a symbolic link planted in /tmp by someone else is refused, not followed.
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        return unusable(systemMessage(errno));
    if (S_ISLNK(st.st_mode))
        return unusable(QStringLiteral("is a symbolic link"));
    if (!S_ISDIR(st.st_mode))
        return unusable(systemMessage(ENOTDIR));
    // The umask may have taken owner bits from a folder we just made.
    if (created && st.st_uid == geteuid() && (st.st_mode & 07777) != 0700
        && (::chmod(native.constData(), 0700) != 0 || ::lstat(native.constData(), &st) != 0))
        return unusable(systemMessage(errno));
    if (st.st_uid != geteuid())
        return unusable(QStringLiteral("not owned by this user"));
    if ((st.st_mode & 07777) != 0700)
        return unusable(QStringLiteral("mode is %1, not 0700").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')));
    return path;
}

QString windowSocketPath(const QString& folder, qint32 handle)
{
    return folder + QStringLiteral("/window-") + QString::number(handle);
}

QString instanceLockPath(const QString& folder, const QString& program)
{
    return folder + u'/' + program + QStringLiteral(".lock");
}

QString instanceSocketPath(const QString& folder, const QString& program)
{
    return folder + u'/' + program + QStringLiteral(".raise");
}

} // namespace vb
