#include "PortLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool writableFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

qint64 readPid(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pid = f.read(64).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

bool isAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString programOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.read(64).trimmed()) : QString();
}

// ModemManager takes no lock files; it is found by the descriptors it holds.
qint64 modemManagerHolding(const QString& devicePath)
{
    const QString target = QFileInfo(devicePath).canonicalFilePath();
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || programOf(pid) != QLatin1String("ModemManager"))
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == target)
                return pid;
        }
    }
    return 0;
}

} // namespace

QString PortLock::lockFolder()
{
    const QByteArray moved = qgetenv("VEVA_SMS_LOCK_DIR");
    if (!moved.isEmpty())
        return QFile::decodeName(moved);
    for (const QString& folder : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        if (writableFolder(folder))
            return folder;
    }
    return {};
}

QString PortLock::lockFileFor(const QString& devicePath)
{
    const QString folder = lockFolder();
    if (folder.isEmpty() || devicePath.isEmpty())
        return {};
    QString node = QFileInfo(devicePath).canonicalFilePath();
    if (node.isEmpty())
        node = devicePath;
    if (node.startsWith(QLatin1String("/dev/")))
        node = node.mid(5);
    node.replace(QLatin1Char('/'), QLatin1Char('_'));
    return folder + QStringLiteral("/LCK..") + node;
}

qint64 PortLock::holderOf(const QString& devicePath)
{
    const QString file = lockFileFor(devicePath);
    if (file.isEmpty())
        return 0;
    const qint64 pid = readPid(file);
    return isAlive(pid) ? pid : 0;
}

PortLock::Result PortLock::take(const QString& devicePath, qint64* holder)
{
    release();
    if (holder)
        *holder = 0;
    const QString file = lockFileFor(devicePath);
    if (file.isEmpty() || !writableFolder(QFileInfo(file).path()))
        return Result::NoFolder;
    // Written whole under a name of our own, then linked into place: nobody reads half a lock.
    const QString mine = file + QStringLiteral(".%1").arg(::getpid());
    const QByteArray content = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QByteArray temp = QFile::encodeName(mine);
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return Result::NoFolder;
        const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
        ::close(fd);
        const bool linked = written && ::link(temp.constData(), QFile::encodeName(file).constData()) == 0;
        const int error = errno;
        ::unlink(temp.constData());
        if (linked) {
            m_file = file;
            return Result::Taken;
        }
        if (!written || error != EEXIST)
            return Result::NoFolder;
        const qint64 pid = readPid(file);
        if (isAlive(pid)) {
            if (holder)
                *holder = pid;
            return Result::Held;
        }
        // The holder is gone (or the file is damage): the lock is stale.
        ::unlink(QFile::encodeName(file).constData());
    }
    return Result::Held;
}

void PortLock::release()
{
    if (m_file.isEmpty())
        return;
    // Only our own lock: a stale-lock cleaner may have given it to someone else meanwhile.
    if (readPid(m_file) == ::getpid())
        ::unlink(QFile::encodeName(m_file).constData());
    m_file.clear();
}

QString PortUse::text() const
{
    if (program == QLatin1String("ModemManager"))
        return QStringLiteral("In use by another program (ModemManager)");
    return QStringLiteral("In use by another program");
}

PortUse PortUse::of(const QString& devicePath, bool openToCheck)
{
    PortUse use;
    if (devicePath.isEmpty())
        return use;
    if (const qint64 pid = PortLock::holderOf(devicePath); pid > 0) {
        use = {true, pid, programOf(pid)};
        return use;
    }
    if (const qint64 pid = modemManagerHolding(devicePath); pid > 0) {
        use = {true, pid, QStringLiteral("ModemManager")};
        return use;
    }
    if (!openToCheck)
        return use;
    // Opening without a read or write says nothing to the device; the flags tell who else holds it.
    const int fd = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        use.inUse = errno == EBUSY;
        return use;
    }
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        use.inUse = true;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        use.inUse = errno == EWOULDBLOCK;
    ::close(fd);
    return use;
}
