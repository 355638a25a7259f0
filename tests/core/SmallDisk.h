#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

// A tmpfs of a few pages mounted on a temporary folder: a disk that really
// fills up. Mounting needs root; `error` says why when it cannot be had.
class SmallDisk
{
public:
    explicit SmallDisk(int kilobytes)
    {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QStringLiteral("cannot mount a tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }
    QString error() const { return m_error; }
    QString path() const { return m_dir.path(); }

    // Writes a filler file until no page is left.
    bool fill()
    {
        QFile filler(m_dir.filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray chunk(512, 'f');
        while (filler.write(chunk) == chunk.size()) {
        }
        return true;
    }
    void makeRoom() { QFile::remove(m_dir.filePath(QStringLiteral("filler"))); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_error;
};
