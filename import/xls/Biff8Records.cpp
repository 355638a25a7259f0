#include "Biff8Records.h"

#include <algorithm>
#include <cstring>

namespace Biff8 {

double f64(const uchar* p)
{
    const quint64 bits = quint64(u32(p)) | (quint64(u32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

double rkValue(quint32 rk)
{
    double d;
    if (rk & 2) {
        d = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    return (rk & 1) ? d / 100 : d;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    default:
        // 0x2A, and codes no version defines: an error all the same.
        return QStringLiteral("#N/A");
    }
}

RecordStream::RecordStream(const QByteArray& stream, qsizetype start)
    : m_data(reinterpret_cast<const uchar*>(stream.constData())), m_size(stream.size()),
      m_pos(std::clamp<qsizetype>(start, 0, stream.size()))
{
}

bool RecordStream::next(Record& record)
{
    if (m_pos >= m_size)
        return false;
    if (m_size - m_pos < 4) {
        m_error = QStringLiteral("record header cut off at offset %1").arg(m_pos);
        m_pos = m_size;
        return false;
    }
    const uchar* p = m_data + m_pos;
    record.type = u16(p);
    record.size = u16(p + 2);
    record.offset = m_pos;
    if (record.size > kMaxRecordBody) {
        m_error = QStringLiteral("record 0x%1 at offset %2 claims %3 bytes")
                      .arg(record.type, 4, 16, QLatin1Char('0'))
                      .arg(m_pos)
                      .arg(record.size);
        m_pos = m_size;
        return false;
    }
    if (m_size - m_pos - 4 < record.size) {
        m_error =
            QStringLiteral("record 0x%1 at offset %2 cut off").arg(record.type, 4, 16, QLatin1Char('0')).arg(m_pos);
        m_pos = m_size;
        return false;
    }
    record.data = p + 4;
    m_pos += 4 + record.size;
    return true;
}

int RecordStream::peekType() const
{
    if (m_size - m_pos < 4)
        return -1;
    return u16(m_data + m_pos);
}

void ContinuedReader::addSegment(const uchar* data, qsizetype size)
{
    m_segments.push_back({data, size});
    m_remaining += quint64(size);
}

void ContinuedReader::collect(const Record& first, RecordStream& stream)
{
    addSegment(first.data, first.size);
    collectContinues(stream);
}

void ContinuedReader::collectContinues(RecordStream& stream)
{
    Record r;
    while (stream.peekType() == Continue && stream.next(r))
        addSegment(r.data, r.size);
}

bool ContinuedReader::advance()
{
    while (m_segment < m_segments.size() && m_pos >= m_segments[m_segment].size) {
        ++m_segment;
        m_pos = 0;
    }
    return m_segment < m_segments.size();
}

bool ContinuedReader::readU8(quint8& v)
{
    if (!advance())
        return false;
    v = m_segments[m_segment].data[m_pos++];
    --m_remaining;
    return true;
}

bool ContinuedReader::readU16(quint16& v)
{
    quint8 a, b;
    if (!readU8(a) || !readU8(b))
        return false;
    v = quint16(a | (b << 8));
    return true;
}

bool ContinuedReader::readU32(quint32& v)
{
    quint16 a, b;
    if (!readU16(a) || !readU16(b))
        return false;
    v = quint32(a) | (quint32(b) << 16);
    return true;
}

bool ContinuedReader::skip(quint64 bytes)
{
    if (bytes > m_remaining)
        return false;
    m_remaining -= bytes;
    while (bytes > 0) {
        advance();
        const quint64 step = std::min<quint64>(bytes, quint64(m_segments[m_segment].size - m_pos));
        m_pos += qsizetype(step);
        bytes -= step;
    }
    return true;
}

bool ContinuedReader::readChars(quint32 cch, bool highByte, QString& out)
{
    out.clear();
    if (cch == 0)
        return true;
    if (cch > m_remaining)
        return false;
    out.reserve(qsizetype(cch));
    while (cch > 0) {
        if (m_segment >= m_segments.size() || m_pos >= m_segments[m_segment].size) {
            // A string's characters go on in the next record, after a fresh option byte.
            quint8 option;
            if (!readU8(option))
                return false;
            highByte = option & 0x01;
            continue;
        }
        const Segment& s = m_segments[m_segment];
        const qsizetype avail = s.size - m_pos;
        const uchar* p = s.data + m_pos;
        if (highByte) {
            const qsizetype n = std::min<qsizetype>(avail / 2, cch);
            if (n == 0)
                return false; // half a character before the record ends
            const qsizetype at = out.size();
            out.resize(at + n);
            char16_t* dst = reinterpret_cast<char16_t*>(out.data()) + at;
            for (qsizetype i = 0; i < n; ++i)
                dst[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
            m_pos += 2 * n;
            m_remaining -= quint64(2 * n);
            cch -= quint32(n);
        } else {
            const qsizetype n = std::min<qsizetype>(avail, cch);
            out.append(QLatin1StringView(reinterpret_cast<const char*>(p), n));
            m_pos += n;
            m_remaining -= quint64(n);
            cch -= quint32(n);
        }
    }
    return true;
}

bool ContinuedReader::readRichString(QString& out)
{
    quint16 cch;
    quint8 flags;
    if (!readU16(cch) || !readU8(flags))
        return false;
    quint16 runs = 0;
    quint32 phonetic = 0;
    if ((flags & 0x08) && !readU16(runs))
        return false;
    if ((flags & 0x04) && !readU32(phonetic))
        return false;
    return readChars(cch, flags & 0x01, out) && skip(quint64(runs) * 4) && skip(phonetic);
}

bool ContinuedReader::readString(QString& out)
{
    quint16 cch;
    quint8 flags;
    return readU16(cch) && readU8(flags) && readChars(cch, flags & 0x01, out);
}

} // namespace Biff8
