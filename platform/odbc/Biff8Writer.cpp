#include "Biff8Writer.h"

#include <QFile>
#include <QHash>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <cstring>
#include <mutex>

namespace Biff8 {

namespace {

enum Record : quint16
{
    BOF = 0x0809,
    EOF_ = 0x000A,
    CODEPAGE = 0x0042,
    WINDOW1 = 0x003D,
    FONT = 0x0031,
    XF = 0x00E0,
    STYLE = 0x0293,
    BOUNDSHEET = 0x0085,
    SST = 0x00FC,
    CONTINUE = 0x003C,
    EXTSST = 0x00FF,
    DIMENSIONS = 0x0200,
    ROW = 0x0208,
    LABELSST = 0x00FD,
    NUMBER = 0x0203,
    WINDOW2 = 0x023E,
};

constexpr int kMaxRecordData = 8224;
constexpr quint16 kCellXf = 15;

class Bytes
{
public:
    QByteArray data;
    void u8(quint8 v) { data.append(char(v)); }
    void u16(quint16 v)
    {
        u8(quint8(v));
        u8(quint8(v >> 8));
    }
    void u32(quint32 v)
    {
        u16(quint16(v));
        u16(quint16(v >> 16));
    }
    void f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(quint32(bits));
        u32(quint32(bits >> 32));
    }
    qsizetype size() const { return data.size(); }
};

void record(Bytes& out, quint16 type, const Bytes& body)
{
    Q_ASSERT(body.size() <= kMaxRecordData);
    out.u16(type);
    out.u16(quint16(body.size()));
    out.data.append(body.data);
}

// A cell record written in place: header, row, column, format.
void cellHeader(Bytes& out, quint16 type, quint16 length, int row, int col)
{
    out.u16(type);
    out.u16(length);
    out.u16(quint16(row));
    out.u16(quint16(col));
    out.u16(kCellXf);
}

bool fitsLatin1(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

void appendChars(Bytes& out, QStringView text, bool wide)
{
    if (!wide) {
        out.data.append(text.toLatin1());
        return;
    }
    const qsizetype at = out.data.size();
    out.data.resize(at + text.size() * 2);
    char* p = out.data.data() + at;
    for (QChar c : text) {
        *p++ = char(c.unicode() & 0xFF);
        *p++ = char(c.unicode() >> 8);
    }
}

void bof(Bytes& out, quint16 kind)
{
    Bytes b;
    b.u16(0x0600); // BIFF8
    b.u16(kind);
    b.u16(0x0DBB); // build
    b.u16(0x07CC); // year
    b.u32(0);
    b.u32(0x00000006); // lowest version that may read the file
    record(out, BOF, b);
}

void fonts(Bytes& out)
{
    // Index 4 is never used by readers, so five records give the indexes 0 to 5.
    for (int i = 0; i < 5; ++i) {
        Bytes b;
        b.u16(200); // 10 points in twips
        b.u16(0);
        b.u16(0x7FFF); // automatic colour
        b.u16(400);    // normal weight
        b.u16(0);
        b.u8(0);
        b.u8(0);
        b.u8(0);
        b.u8(0);
        b.u8(5);
        b.u8(0);
        appendChars(b, u"Arial", false);
        record(out, FONT, b);
    }
}

void xfs(Bytes& out)
{
    for (int i = 0; i <= int(kCellXf); ++i) {
        const bool style = i < int(kCellXf);
        Bytes b;
        b.u16(0); // font
        b.u16(0); // General
        b.u16(style ? 0xFFF5 : 0x0001);
        b.u8(0x20); // bottom aligned
        b.u8(0);
        b.u8(0);
        b.u8(style && i > 0 ? 0xF4 : 0x00);
        b.u32(0);
        b.u32(0);
        b.u16(0x20C0); // automatic colours
        record(out, XF, b);
    }
    Bytes s;
    s.u16(0x8000); // built-in style on XF 0
    s.u8(0);       // "Normal"
    s.u8(0xFF);
    record(out, STYLE, s);
}

QByteArray sheetNameBytes(const QString& name)
{
    Bytes b;
    const bool wide = !fitsLatin1(name);
    b.u8(quint8(name.size()));
    b.u8(wide ? 1 : 0);
    appendChars(b, name, wide);
    return b.data;
}

// The shared string table split into SST and CONTINUE records. A string's
// length and flags never straddle two records; its characters may, and the
// continuation then starts with the flags byte again.
class StringTable
{
public:
    quint32 indexOf(const QString& text)
    {
        ++m_total;
        auto it = m_index.constFind(text);
        if (it != m_index.constEnd())
            return *it;
        const quint32 i = quint32(m_strings.size());
        m_index.insert(text, i);
        m_strings.append(text);
        return i;
    }

    void write(Bytes& out) const
    {
        QList<Bytes> records(1);
        records[0].u32(m_total);
        records[0].u32(quint32(m_strings.size()));
        const quint32 perBucket = std::max<quint32>(8, quint32((m_strings.size() + 127) / 128));
        struct Mark
        {
            qsizetype record;
            qsizetype offset;
        };
        QList<Mark> marks;

        for (qsizetype i = 0; i < m_strings.size(); ++i) {
            const QString& s = m_strings.at(i);
            const bool wide = !fitsLatin1(s);
            const int charSize = wide ? 2 : 1;
            if (records.last().size() + 3 + (s.isEmpty() ? 0 : charSize) > kMaxRecordData) {
                records.append(Bytes());
                records.last().data.reserve(kMaxRecordData);
            }
            if (i % perBucket == 0)
                marks.append({records.size() - 1, records.last().size()});
            records.last().u16(quint16(s.size()));
            records.last().u8(wide ? 1 : 0);
            qsizetype done = 0;
            while (done < s.size()) {
                const qsizetype room = (kMaxRecordData - records.last().size()) / charSize;
                if (room <= 0) {
                    records.append(Bytes());
                    records.last().data.reserve(kMaxRecordData);
                    records.last().u8(wide ? 1 : 0);
                    continue;
                }
                const qsizetype n = std::min(room, s.size() - done);
                appendChars(records.last(), QStringView(s).mid(done, n), wide);
                done += n;
            }
        }

        QList<qsizetype> recordStart;
        for (qsizetype r = 0; r < records.size(); ++r) {
            recordStart.append(out.size());
            record(out, r == 0 ? SST : CONTINUE, records.at(r));
        }
        Bytes ext;
        ext.u16(quint16(perBucket));
        for (const Mark& m : marks) {
            ext.u32(quint32(recordStart.at(m.record) + 4 + m.offset));
            ext.u16(quint16(4 + m.offset));
            ext.u16(0);
        }
        record(out, EXTSST, ext);
    }

private:
    QHash<QString, quint32> m_index;
    QStringList m_strings;
    quint32 m_total = 0;
};

// One worksheet substream; text cells refer to the shared string table.
Bytes worksheet(const Sheet& sheet, bool first, StringTable& strings)
{
    Bytes out;
    const int rows = sheet.rowCount();
    out.data.reserve(qsizetype(rows) * (16 + sheet.columns * 14) + 256);
    bof(out, 0x0010);
    Bytes dim;
    dim.u32(0);
    dim.u32(quint32(rows));
    dim.u16(0);
    dim.u16(quint16(rows > 0 ? sheet.columns : 0));
    dim.u16(0);
    record(out, DIMENSIONS, dim);

    auto cell = [&](int r, int c) -> const Value& {
        return sheet.cells[size_t(r) * size_t(sheet.columns) + size_t(c)];
    };
    for (int block = 0; block < rows; block += 32) {
        const int end = std::min(rows, block + 32);
        for (int r = block; r < end; ++r) {
            int firstCol = -1, lastCol = -1;
            for (int c = 0; c < sheet.columns; ++c) {
                if (cell(r, c).kind == Value::Kind::Empty ||
                    (cell(r, c).kind == Value::Kind::Text && cell(r, c).text.isEmpty()))
                    continue;
                if (firstCol < 0)
                    firstCol = c;
                lastCol = c;
            }
            if (firstCol < 0)
                continue;
            Bytes b;
            b.u16(quint16(r));
            b.u16(quint16(firstCol));
            b.u16(quint16(lastCol + 1));
            b.u16(0x00FF); // default height
            b.u16(0);
            b.u16(0);
            b.u32(0x000F0100);
            record(out, ROW, b);
        }
        for (int r = block; r < end; ++r) {
            for (int c = 0; c < sheet.columns; ++c) {
                const Value& v = cell(r, c);
                if (v.kind == Value::Kind::Number) {
                    cellHeader(out, NUMBER, 14, r, c);
                    out.f64(v.number);
                } else if (v.kind == Value::Kind::Text && !v.text.isEmpty()) {
                    cellHeader(out, LABELSST, 10, r, c);
                    out.u32(strings.indexOf(v.text));
                }
            }
        }
    }

    Bytes w;
    w.u16(first ? 0x06B6 : 0x00B6); // grid, headers, zeros, outline; the first sheet selected
    w.u16(0);
    w.u16(0);
    w.u32(0x40);
    w.u16(0);
    w.u16(0);
    w.u32(0);
    record(out, WINDOW2, w);
    record(out, EOF_, Bytes());
    return out;
}

} // namespace

bool isValidSheetName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxSheetName)
        return false;
    for (QChar c : name) {
        if (QStringView(u":\\/?*[]").contains(c))
            return false;
    }
    return true;
}

QByteArrayList workbookStream(const std::vector<Sheet>& sheetsIn)
{
    std::vector<Sheet> fallback;
    const std::vector<Sheet>* sheets = &sheetsIn;
    if (sheetsIn.empty()) {
        fallback.push_back(Sheet{QStringLiteral("Sheet1"), 0, {}});
        sheets = &fallback;
    }

    // The sheets first: their strings fill the table the globals carry.
    StringTable strings;
    std::vector<Bytes> substreams;
    for (size_t i = 0; i < sheets->size(); ++i)
        substreams.push_back(worksheet(sheets->at(i), i == 0, strings));

    Bytes globals;
    bof(globals, 0x0005);
    Bytes cp;
    cp.u16(1200); // UTF-16
    record(globals, CODEPAGE, cp);
    Bytes win;
    win.u16(0);
    win.u16(0);
    win.u16(0x3A5C);
    win.u16(0x2328);
    win.u16(0x0038);
    win.u16(0);
    win.u16(0);
    win.u16(1);
    win.u16(0x0258);
    record(globals, WINDOW1, win);
    fonts(globals);
    xfs(globals);

    // Sheet positions are absolute stream offsets: lay out the rest of the
    // globals first with placeholders, then patch them.
    QList<qsizetype> positionFields;
    for (const Sheet& s : *sheets) {
        Bytes b;
        b.u32(0);
        b.u8(0); // visible
        b.u8(0); // worksheet
        b.data.append(sheetNameBytes(s.name));
        positionFields.append(globals.size() + 4);
        record(globals, BOUNDSHEET, b);
    }
    strings.write(globals);
    record(globals, EOF_, Bytes());

    QByteArrayList stream{globals.data};
    quint32 at = quint32(globals.size());
    for (size_t i = 0; i < substreams.size(); ++i) {
        for (int k = 0; k < 4; ++k)
            stream[0][positionFields.at(qsizetype(i)) + k] = char(quint8(at >> (8 * k)));
        at += quint32(substreams[i].size());
        stream.append(substreams[i].data);
    }
    return stream;
}

QString writeCompoundFile(const QString& path, const QByteArrayList& workbookStream)
{
    static std::once_flag init;
    std::call_once(init, [] { gsf_init(); });

    GError* err = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(QFile::encodeName(path).constData(), &err);
    if (!sink) {
        const QString why = err ? QString::fromUtf8(err->message) : QStringLiteral("cannot create the file");
        if (err)
            g_error_free(err);
        return why;
    }
    GsfOutfile* ole = gsf_outfile_msole_new(sink);
    GsfOutput* stream = gsf_outfile_new_child(ole, "Workbook", FALSE);
    bool ok = stream != nullptr;
    if (ok) {
        for (const QByteArray& part : workbookStream) {
            ok = ok && gsf_output_write(stream, size_t(part.size()), reinterpret_cast<const guint8*>(part.constData()));
        }
        ok = gsf_output_close(stream) && ok;
        g_object_unref(stream);
    }
    ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
    if (!gsf_output_is_closed(sink))
        ok = gsf_output_close(sink) && ok;
    QString why;
    if (const GError* e = gsf_output_error(sink))
        why = QString::fromUtf8(e->message);
    else if (const GError* e2 = gsf_output_error(GSF_OUTPUT(ole)))
        why = QString::fromUtf8(e2->message);
    else if (!ok)
        why = QStringLiteral("cannot write the file");
    g_object_unref(ole);
    g_object_unref(sink);
    return why;
}

} // namespace Biff8
