#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// BIFF8 record framing: every record is a 16-bit type, a 16-bit length and
// that many bytes. Nothing here trusts a length more than the bytes present.
namespace Biff8 {

enum RecordType : quint16
{
    Formula = 0x0006,
    Eof = 0x000A,
    DateMode = 0x0022,
    FilePass = 0x002F,
    Continue = 0x003C,
    WsBool = 0x0081,
    BoundSheet = 0x0085,
    MulRk = 0x00BD,
    MulBlank = 0x00BE,
    RString = 0x00D6,
    Xf = 0x00E0,
    Sst = 0x00FC,
    LabelSst = 0x00FD,
    Dimension = 0x0200,
    Blank = 0x0201,
    Number = 0x0203,
    Label = 0x0204,
    BoolErr = 0x0205,
    String = 0x0207,
    Rk = 0x027E,
    Format = 0x041E,
    Bof = 0x0809,
};

enum BofKind : quint16
{
    BofGlobals = 0x0005,
    BofWorksheet = 0x0010, // also dialog sheets, told apart by WSBOOL
    BofChart = 0x0020,
    BofMacroSheet = 0x0040,
};

inline constexpr quint16 kBiff8Version = 0x0600;
inline constexpr int kMaxRecordBody = 8224;

inline quint16 u16(const uchar* p)
{
    return quint16(p[0] | (p[1] << 8));
}
inline quint32 u32(const uchar* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
double f64(const uchar* p);
// The 30-bit packed number of RK and MULRK cells.
double rkValue(quint32 rk);

struct Record
{
    quint16 type = 0;
    quint16 size = 0;
    const uchar* data = nullptr;
    qsizetype offset = 0; // of the record header in the stream
};

class RecordStream
{
public:
    RecordStream(const QByteArray& stream, qsizetype start);

    // The next record. False at the end of the data, or when the record is
    // damaged (over-long or cut off); error() then says which.
    bool next(Record& record);
    // The type of the record next() would return, or -1.
    int peekType() const;
    bool atEnd() const { return m_pos >= m_size; }
    const QString& error() const { return m_error; }

private:
    const uchar* m_data;
    qsizetype m_size;
    qsizetype m_pos;
    QString m_error;
};

// The body of a record and the CONTINUE records after it, read as one run of
// bytes except inside a string's characters: there, every new record starts
// with an option byte that says whether the rest is 8-bit or 16-bit.
class ContinuedReader
{
public:
    void addSegment(const uchar* data, qsizetype size);
    // Takes the record and every CONTINUE that follows it from the stream.
    void collect(const Record& first, RecordStream& stream);
    void collectContinues(RecordStream& stream);

    bool readU8(quint8& v);
    bool readU16(quint16& v);
    bool readU32(quint32& v);
    bool skip(quint64 bytes);
    // cch characters, 16-bit when highByte, else 8-bit (Latin-1).
    bool readChars(quint32 cch, bool highByte, QString& out);
    // XLUnicodeRichExtendedString (SST entries): runs and phonetic data skipped.
    bool readRichString(QString& out);
    // XLUnicodeString: 16-bit count, option byte, characters.
    bool readString(QString& out);

    quint64 remaining() const { return m_remaining; }

private:
    struct Segment
    {
        const uchar* data;
        qsizetype size;
    };
    bool advance();

    std::vector<Segment> m_segments;
    size_t m_segment = 0;
    qsizetype m_pos = 0;
    quint64 m_remaining = 0;
};

// The text a spreadsheet shows for a BIFF error code.
QString errorText(quint8 code);

} // namespace Biff8
