#include "CStdioFileEx.h"

#include "platform/TextCodec.h"

#include <QFile>

#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

constexpr qsizetype kChunk = 64 * 1024;

bool sameFile(int fd, const QString& path)
{
    struct stat a{}, b{};
    if (::fstat(fd, &a) != 0 || ::stat(QFile::encodeName(path).constData(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

    // A rewrite renames a new file over the old one; if that happens between
    // our open and our lock, we hold the lock on a file nobody sees any more,
    // so open again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto file = std::make_unique<QFile>(path);
        QIODevice::OpenMode qtMode;
        switch (mode) {
        case OpenMode::Read:
            qtMode = QIODevice::ReadOnly;
            break;
        case OpenMode::ReadWriteExisting:
            qtMode = QIODevice::ReadWrite | QIODevice::ExistingOnly;
            break;
        case OpenMode::Append:
            qtMode = QIODevice::ReadWrite | QIODevice::Append;
            break;
        }
        if (mode != OpenMode::Append && !file->exists()) {
            m_error = Error::Missing;
            m_errorString = QStringLiteral("%1 does not exist").arg(path);
            return false;
        }
        if (!file->open(qtMode | QIODevice::Unbuffered)) {
            m_error = file->exists() ? Error::Other : Error::Missing;
            m_errorString = file->errorString();
            return false;
        }
        if (::flock(file->handle(), LOCK_EX | LOCK_NB) != 0) {
            m_error = (errno == EWOULDBLOCK) ? Error::Locked : Error::Other;
            m_errorString = QStringLiteral("%1 is in use").arg(path);
            return false;
        }
        if (!sameFile(file->handle(), path))
            continue;
        m_file = std::move(file);
        break;
    }
    if (!m_file) {
        m_error = Error::Other;
        m_errorString = QStringLiteral("%1 keeps changing").arg(path);
        return false;
    }

    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    m_unicode = false;
    if (mode != OpenMode::Append) {
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
        // repair of unpaired surrogates (the narrowing below turns those into '#').
        QString units((end - m_pos) / 2, Qt::Uninitialized);
        char16_t* d = reinterpret_cast<char16_t*>(units.data());
        const uchar* b = reinterpret_cast<const uchar*>(m_buffer.constData() + m_pos);
        for (qsizetype k = 0; k < units.size(); ++k)
            d[k] = char16_t(b[2 * k] | (b[2 * k + 1] << 8));
        m_pos = end;
        line = TextCodec::narrowWithHash(units, m_codePage);
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
    const QByteArray bytes = encodeUtf16(text, m_file->size() == 0);
    return m_file->write(bytes) == bytes.size();
}
