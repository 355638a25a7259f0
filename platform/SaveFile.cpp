#include "SaveFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(const char* what, const QString& path)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

QString saveFileAtomically(const QString& path, const QByteArray& content, int requestedMode)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray temp = QFile::encodeName(info.absolutePath() + QLatin1Char('/') + QLatin1Char('.') + info.fileName() +
                                        QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return errnoText("Cannot create a temporary file for", path);

    struct stat old{};
    const mode_t mode = requestedMode >= 0                           ? mode_t(requestedMode)
                        : (::stat(target.constData(), &old) == 0) ? (old.st_mode & 07777)
                                                                  : 0644;
    ::fchmod(fd, mode);

    const bool ok = writeAll(fd, content.constData(), content.size()) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(temp.constData());
        errno = savedErrno;
        return errnoText("Cannot write", path);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int renameErrno = errno;
        ::unlink(temp.constData());
        errno = renameErrno;
        return errnoText("Cannot replace", path);
    }
    // Make the rename itself durable.
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}
