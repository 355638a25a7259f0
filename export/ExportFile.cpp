#include "ExportFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(const char* what)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

std::unique_ptr<ExportFile> ExportFile::create(const QString& target, QString* error)
{
    const QFileInfo info(target);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QByteArray name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                        QStringLiteral(".XXXXXX") + suffix);
    const int fd = ::mkstemps(name.data(), int(QFile::encodeName(suffix).size()));
    if (fd < 0) {
        *error = systemError("cannot create a file in the folder");
        return nullptr;
    }
    ::close(fd);
    return std::unique_ptr<ExportFile>(new ExportFile(info.absoluteFilePath(), QFile::decodeName(name)));
}

ExportFile::~ExportFile()
{
    if (!m_committed)
        ::unlink(QFile::encodeName(m_temp).constData());
}

QString ExportFile::commit()
{
    const QByteArray temp = QFile::encodeName(m_temp);
    const QByteArray target = QFile::encodeName(m_target);
    const int fd = ::open(temp.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return systemError("cannot open the written file");
    struct stat old
    {
    };
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const bool synced = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!synced) {
        errno = savedErrno;
        return systemError("cannot flush the written file");
    }
    if (::rename(temp.constData(), target.constData()) != 0)
        return systemError("cannot replace the file");
    m_committed = true;
    const int dir = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}
