#include "CStdioFileEx.h"

#include "platform/TextCodec.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kChunk = 64 * 1024;
// Completes the stray last byte of a UTF-16 file of odd length before an append.
constexpr uchar kRealignByte = 0xDC;

bool sameFile(int fd, const QString& path)
{
    struct stat a
    {
    }, b{};
    if (::fstat(fd, &a) != 0 || ::stat(QFile::encodeName(path).constData(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The unit a realignment made of the stray byte sits right before a line feed.
// It is damage, not text: it goes, and a line of nothing else is dropped (true).
bool removeRealignUnit(QString& units)
{
    const qsizetype n = units.size();
    if (n < 2 || units.at(n - 1) != QLatin1Char('\n') || (units.at(n - 2).unicode() >> 8) != kRealignByte)
        return false;
    if (n >= 3 && units.at(n - 3).isHighSurrogate())
        return false; // the low half of a real pair
    units.remove(n - 2, 1);
    return units.size() == 1;
}

void stripLineEnd(QString& s)
{
    if (s.endsWith(QLatin1String("\r\n")))
        s.chop(2);
    else if (s.endsWith(QLatin1Char('\r')) || s.endsWith(QLatin1Char('\n')))
        s.chop(1);
}

} // namespace

CStdioFileEx::CStdioFileEx() : m_codePage(TextCodec::ansiCodePage()) {}

CStdioFileEx::~CStdioFileEx()
{
    close();
}

bool CStdioFileEx::open(const QString& path, OpenMode mode)
{
    close();
    m_error = Error::None;
    m_errorString.clear();
    const auto fail = [this](Error error, const QString& text) {
        m_error = error;
        m_errorString = text;
        return false;
    };
    if (path.isEmpty())
        return fail(Error::Missing, QStringLiteral("no file name"));
    m_path = path;
    const QByteArray native = QFile::encodeName(path);

    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK; // a FIFO must not block the open
    QIODevice::OpenMode qtMode;
    switch (mode) {
    case OpenMode::Read:
        flags |= O_RDONLY;
        qtMode = QIODevice::ReadOnly;
        break;
    case OpenMode::ReadWriteExisting:
        flags |= O_RDWR;
        qtMode = QIODevice::ReadWrite;
        break;
    case OpenMode::Append:
        flags |= O_RDWR | O_CREAT | O_APPEND;
        qtMode = QIODevice::ReadWrite | QIODevice::Append;
        break;
    }

    // A rewrite renames a new file over the old one; if that happens between
    // our open and our lock, we hold the lock on a file nobody sees any more,
    // so open again.
    for (int attempt = 0; attempt < 4 && !m_file; ++attempt) {
        const int fd = ::open(native.constData(), flags, 0666);
        if (fd < 0) {
            const int err = errno;
            return fail(err == ENOENT ? Error::Missing : Error::Other,
                        QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err))));
        }
        // Only regular files: a FIFO or a device would hang or flood the reader.
        struct stat st = {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return fail(Error::Other, QStringLiteral("%1 is not a regular file").arg(path));
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return fail(err == EWOULDBLOCK ? Error::Locked : Error::Other, QStringLiteral("%1 is in use").arg(path));
        }
        if (!sameFile(fd, path)) {
            ::close(fd);
            continue;
        }
        auto file = std::make_unique<QFile>();
        if (!file->open(fd, qtMode | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return fail(Error::Other, file->errorString());
        }
        m_file = std::move(file);
    }
    if (!m_file)
        return fail(Error::Other, QStringLiteral("%1 keeps changing").arg(path));

    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    m_unicode = false;
    if (mode == OpenMode::Append) {
        // Appends keep the encoding the file already has (see WriteRecordLine).
        char head[2] = {};
        m_unicode = ::pread(m_file->handle(), head, 2, 0) == 2 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xFE;
    } else {
        fill();
        if (m_buffer.size() >= 2 && uchar(m_buffer[0]) == 0xFF && uchar(m_buffer[1]) == 0xFE) {
            m_unicode = true;
            m_pos = 2;
        }
    }
    return true;
}

void CStdioFileEx::close()
{
    if (m_file) {
        ::flock(m_file->handle(), LOCK_UN);
        m_file->close();
        m_file.reset();
    }
    m_buffer.clear();
    m_pos = 0;
}

bool CStdioFileEx::isOpen() const
{
    return m_file != nullptr;
}

bool CStdioFileEx::fill()
{
    if (m_eof || !m_file)
        return false;
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    const qint64 n = m_file->read(m_buffer.data() + old, kChunk);
    m_buffer.resize(old + qMax<qint64>(n, 0));
    if (n <= 0)
        m_eof = true;
    return n > 0;
}

bool CStdioFileEx::ReadRecordLine(QString& line)
{
    line.clear();
    if (!m_file)
        return false;
    return m_unicode ? readUnicodeLine(line) : readSingleByteLine(line);
}

bool CStdioFileEx::readUnicodeLine(QString& line)
{
    // m_pos always sits on a code-unit boundary; scanFrom too.
    qsizetype scanFrom = m_pos;
    bool dropping = false;
    for (;;) {
        qsizetype end = -1;
        qsizetype i = scanFrom;
        for (; i + 1 < m_buffer.size(); i += 2) {
            if (m_buffer[i] == '\n' && m_buffer[i + 1] == '\0') {
                end = i + 2;
                break;
            }
        }
        if (end < 0) {
            // Without a line feed yet, at most a trailing CR is not text.
            if (!dropping && (i - m_pos) / 2 > kMaxLineUnits + 1)
                dropping = true;
            if (dropping)
                m_pos = i;
            const qsizetype offset = i - m_pos;
            if (fill()) {
                scanFrom = m_pos + offset; // fill() moved the unread data to the front
                continue;
            }
            if (dropping)
                return false;
            end = m_pos + ((m_buffer.size() - m_pos) / 2) * 2; // an odd last byte is dropped
            if (end <= m_pos)
                return false;
        }
        if (dropping || unicodeTextUnits(m_pos, end) > kMaxLineUnits) {
            // An over-long line, or its tail: skip it and read on.
            m_pos = end;
            scanFrom = m_pos;
            dropping = false;
            continue;
        }
        // Copy the code units as they are: no byte-order-mark handling, no
        // repair of unpaired surrogates (the narrowing below, when on, turns
        // those into '#').
        QString units((end - m_pos) / 2, Qt::Uninitialized);
        char16_t* d = reinterpret_cast<char16_t*>(units.data());
        const uchar* b = reinterpret_cast<const uchar*>(m_buffer.constData() + m_pos);
        for (qsizetype k = 0; k < units.size(); ++k)
            d[k] = char16_t(b[2 * k] | (b[2 * k + 1] << 8));
        m_pos = end;
        if (removeRealignUnit(units)) {
            scanFrom = m_pos;
            continue;
        }
        line = m_narrowUnicode ? TextCodec::narrowWithHash(units, m_codePage) : std::move(units);
        stripLineEnd(line);
        return true;
    }
}

// Code units of the line in m_buffer[from, end) without the line end that
// stripLineEnd() removes.
qsizetype CStdioFileEx::unicodeTextUnits(qsizetype from, qsizetype end) const
{
    qsizetype n = (end - from) / 2;
    auto unitAt = [&](qsizetype k) {
        return char16_t(uchar(m_buffer[from + 2 * k]) | (uchar(m_buffer[from + 2 * k + 1]) << 8));
    };
    if (n > 0 && unitAt(n - 1) == u'\n') {
        --n;
        if (n > 0 && unitAt(n - 1) == u'\r')
            --n;
    } else if (n > 0 && unitAt(n - 1) == u'\r') {
        --n;
    }
    return n;
}

bool CStdioFileEx::readSingleByteLine(QString& line)
{
    QByteArray raw;
    bool dropping = false;
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n', m_pos);
        const qsizetype stop = nl >= 0 ? nl + 1 : m_buffer.size();
        if (!dropping)
            raw.append(m_buffer.constData() + m_pos, stop - m_pos);
        m_pos = stop;
        // The line end takes at most three bytes (CR CR LF reads as CR LF).
        if (!dropping && raw.size() > kMaxLineUnits + 3) {
            dropping = true;
            raw.clear();
        }
        if (nl < 0 && fill())
            continue;
        if (nl < 0 && !dropping && raw.isEmpty())
            return false;
        if (!dropping) {
            raw.replace("\r\n", "\n");
            line = TextCodec::decode(raw, m_codePage);
            stripLineEnd(line);
            if (line.size() <= kMaxLineUnits)
                return true;
            line.clear();
        }
        if (nl < 0)
            return false; // the over-long line was the last
        dropping = false;
        raw.clear();
    }
}

QByteArray CStdioFileEx::encodeUtf16(const QString& text, bool atStartOfFile)
{
    const qsizetype mark = atStartOfFile ? 2 : 0;
    QByteArray out(mark + text.size() * 2, Qt::Uninitialized);
    char* d = out.data();
    if (atStartOfFile) {
        d[0] = '\xff';
        d[1] = '\xfe';
    }
    d += mark;
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i) {
        d[2 * i] = char(units[i] & 0xff);
        d[2 * i + 1] = char(units[i] >> 8);
    }
    return out;
}

bool CStdioFileEx::WriteRecordLine(const QString& text)
{
    if (!m_file)
        return false;
    const int fd = m_file->handle();
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return failWrite(errno);
    const qint64 size = st.st_size;
    QByteArray bytes;
    if (size > 0 && !m_unicode) {
        // The reader takes a file without the mark as single-byte text: stay with it.
        char last = 0;
        if (m_completeCut && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n')
            bytes.append("\r\n"); // a record cut short by a crash stays a line of its own
        bytes += TextCodec::encode(text, m_codePage);
    } else {
        if (size % 2 != 0) {
            // Records written after a stray byte would all be read out of step.
            bytes.append(char(kRealignByte));
            bytes.append("\n\0", 2);
        } else if (m_completeCut && size > 2) {
            char last[2] = {};
            if (::pread(fd, last, 2, size - 2) == 2 && !(last[0] == '\n' && last[1] == 0))
                bytes.append("\r\0\n\0", 4); // never glue a record to one cut short
        }
        bytes += encodeUtf16(text, size == 0);
        m_unicode = true;
    }
    // One write of the whole record; a short one is undone, so a full disk
    // leaves the file as it was.
    ssize_t n;
    do
        n = ::write(fd, bytes.constData(), size_t(bytes.size()));
    while (n < 0 && errno == EINTR);
    if (n == bytes.size())
        return true;
    const int error = n < 0 ? errno : ENOSPC;
    if (n > 0 && ::ftruncate(fd, size) != 0) {
        // Could not take the part back: at least end it, so the next record stands apart.
        [[maybe_unused]] const ssize_t ignored = ::write(fd, m_unicode ? "\r\0\n\0" : "\r\n", m_unicode ? 4 : 2);
    }
    return failWrite(error);
}

bool CStdioFileEx::failWrite(int error)
{
    m_error = Error::Other;
    m_errorString = QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(error)));
    return false;
}
