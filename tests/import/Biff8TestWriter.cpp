// libgsf's headers come first: glib uses names that Qt's headers define as macros.
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include "Biff8TestWriter.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxBody = 8224;
constexpr quint16 kDefaultXf = 15; // the first cell XF after the 15 style XFs

enum : quint16
{
    Formula = 0x0006,
    Eof = 0x000A,
    DateMode = 0x0022,
    FilePass = 0x002F,
    Font = 0x0031,
    Continue = 0x003C,
    CodePage = 0x0042,
    WsBool = 0x0081,
    BoundSheet = 0x0085,
    MulRk = 0x00BD,
    MulBlank = 0x00BE,
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

void put16(QByteArray& b, quint32 v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, quint32 v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putDouble(QByteArray& b, double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    put32(b, quint32(bits));
    put32(b, quint32(bits >> 32));
}

bool isLatin1(QStringView s)
{
    for (QChar c : s) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

void putChars(QByteArray& b, QStringView s, bool wide)
{
    for (QChar c : s) {
        if (wide)
            put16(b, c.unicode());
        else
            b.append(char(c.unicode()));
    }
}

// XLUnicodeString: 16-bit count, option byte, characters.
QByteArray unicodeString(const QString& s)
{
    QByteArray b;
    const bool wide = !isLatin1(s);
    put16(b, quint32(s.size()));
    b.append(char(wide ? 1 : 0));
    putChars(b, s, wide);
    return b;
}

QByteArray bof(quint16 kind)
{
    QByteArray b;
    put16(b, 0x0600);
    put16(b, kind);
    put16(b, 0x0DBB); // build
    put16(b, 0x07CC); // year
    put32(b, 0x000100C1);
    put32(b, 0x00000406);
    return b;
}

bool rkForm(double v, quint32& rk)
{
    auto asInt = [&](double x, quint32 flag) {
        if (x != std::floor(x) || x < -(1 << 29) || x >= (1 << 29))
            return false;
        rk = (quint32(qint32(x)) << 2) | 2 | flag;
        return true;
    };
    if (asInt(v, 0))
        return true;
    const double hundred = std::round(v * 100);
    if (hundred / 100 == v && asInt(hundred, 1))
        return true;
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = quint32(bits >> 32);
        return true;
    }
    return false;
}

} // namespace

// --- Sheet -----------------------------------------------------------------

Biff8TestWriter::Sheet::Sheet(Biff8TestWriter& book, QString name, SheetKind kind)
    : m_book(book), m_name(std::move(name)), m_kind(kind)
{
}

void Biff8TestWriter::Sheet::touch(int row, int col)
{
    if (!m_anyCell) {
        m_firstRow = m_lastRow = row;
        m_firstCol = m_lastCol = col;
        m_anyCell = true;
        return;
    }
    m_firstRow = std::min(m_firstRow, row);
    m_lastRow = std::max(m_lastRow, row);
    m_firstCol = std::min(m_firstCol, col);
    m_lastCol = std::max(m_lastCol, col);
}

void Biff8TestWriter::Sheet::append(quint16 type, const QByteArray& body)
{
    Q_ASSERT_X(body.size() <= kMaxBody, "Biff8TestWriter", "cell record longer than BIFF8 allows");
    m_records += Biff8TestWriter::record(type, body);
}

void Biff8TestWriter::Sheet::cell(quint16 type, int row, int col, quint16 xf, const QByteArray& rest)
{
    touch(row, col);
    QByteArray body;
    put16(body, quint32(row));
    put16(body, quint32(col));
    put16(body, xf);
    append(type, body + rest);
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::text(int row, int col, const QString& s)
{
    return richText(row, col, s, 0, 0);
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::richText(int row, int col, const QString& s, int runs,
                                                         int phoneticBytes)
{
    QByteArray index;
    put32(index, quint32(m_book.sharedString(s, runs, phoneticBytes)));
    ++m_book.m_sstReferences;
    cell(LabelSst, row, col, kDefaultXf, index);
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::label(int row, int col, const QString& s)
{
    cell(Label, row, col, kDefaultXf, unicodeString(s));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::number(int row, int col, double v)
{
    QByteArray value;
    putDouble(value, v);
    cell(Number, row, col, kDefaultXf, value);
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::rk(int row, int col, double v)
{
    quint32 packed = 0;
    if (!rkForm(v, packed))
        qFatal("Biff8TestWriter::rk: %g has no RK form", v);
    QByteArray value;
    put32(value, packed);
    cell(Rk, row, col, kDefaultXf, value);
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::mulRk(int row, int firstCol, const QList<double>& values)
{
    QByteArray body;
    put16(body, quint32(row));
    put16(body, quint32(firstCol));
    for (double v : values) {
        quint32 packed = 0;
        if (!rkForm(v, packed))
            qFatal("Biff8TestWriter::mulRk: %g has no RK form", v);
        put16(body, kDefaultXf);
        put32(body, packed);
    }
    const int lastCol = firstCol + int(values.size()) - 1;
    put16(body, quint32(lastCol));
    touch(row, firstCol);
    touch(row, lastCol);
    append(MulRk, body);
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::boolean(int row, int col, bool v)
{
    cell(BoolErr, row, col, kDefaultXf, QByteArray(1, char(v ? 1 : 0)) + QByteArray(1, 0));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::error(int row, int col, quint8 code)
{
    cell(BoolErr, row, col, kDefaultXf, QByteArray(1, char(code)) + QByteArray(1, 1));
    return *this;
}

namespace {

// FORMULA's value, flags, chain and a small formula (=1).
QByteArray formulaRest(const QByteArray& value)
{
    QByteArray b = value;
    put16(b, 0);          // flags
    put32(b, 0);          // chn
    put16(b, 3);          // cce
    b.append(char(0x1E)); // ptgInt
    put16(b, 1);
    return b;
}

QByteArray specialValue(quint8 type, quint8 value)
{
    QByteArray v(8, 0);
    v[0] = char(type);
    v[2] = char(value);
    v[6] = v[7] = char(0xFF);
    return v;
}

} // namespace

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::formulaNumber(int row, int col, double cached)
{
    QByteArray value;
    putDouble(value, cached);
    cell(Formula, row, col, kDefaultXf, formulaRest(value));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::formulaText(int row, int col, const QString& cached)
{
    cell(Formula, row, col, kDefaultXf, formulaRest(specialValue(0, 0)));
    append(String, unicodeString(cached));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::formulaBoolean(int row, int col, bool cached)
{
    cell(Formula, row, col, kDefaultXf, formulaRest(specialValue(1, cached ? 1 : 0)));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::formulaError(int row, int col, quint8 code)
{
    cell(Formula, row, col, kDefaultXf, formulaRest(specialValue(2, code)));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::formulaEmptyText(int row, int col)
{
    cell(Formula, row, col, kDefaultXf, formulaRest(specialValue(3, 0)));
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::blank(int row, int col)
{
    cell(Blank, row, col, kDefaultXf, {});
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::mulBlank(int row, int firstCol, int lastCol)
{
    QByteArray body;
    put16(body, quint32(row));
    put16(body, quint32(firstCol));
    for (int c = firstCol; c <= lastCol; ++c)
        put16(body, kDefaultXf);
    put16(body, quint32(lastCol));
    touch(row, firstCol);
    touch(row, lastCol);
    append(MulBlank, body);
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::date(int row, int col, double serial, int builtinFormat)
{
    QByteArray value;
    putDouble(value, serial);
    cell(Number, row, col, m_book.dateXf(builtinFormat), value);
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::date(int row, int col, double serial, const QString& formatCode)
{
    return date(row, col, serial, m_book.formatId(formatCode));
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::setHidden(bool hidden)
{
    m_hidden = hidden;
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::setDimension(int firstRow, int lastRow, int firstCol, int lastCol)
{
    m_dimension = {firstRow, lastRow, firstCol, lastCol};
    return *this;
}

Biff8TestWriter::Sheet& Biff8TestWriter::Sheet::record(quint16 type, const QByteArray& body)
{
    m_records += Biff8TestWriter::record(type, body);
    return *this;
}

QByteArray Biff8TestWriter::Sheet::substream() const
{
    switch (m_kind) {
    case SheetKind::Chart:
        return Biff8TestWriter::record(Bof, bof(0x0020)) + Biff8TestWriter::record(Eof, {});
    case SheetKind::MacroSheet:
        return Biff8TestWriter::record(Bof, bof(0x0040)) + Biff8TestWriter::record(Eof, {});
    case SheetKind::Worksheet:
    case SheetKind::DialogSheet:
        break;
    }
    QByteArray out = Biff8TestWriter::record(Bof, bof(0x0010));
    QByteArray wsBool;
    put16(wsBool, m_kind == SheetKind::DialogSheet ? 0x04D1 : 0x04C1);
    out += Biff8TestWriter::record(WsBool, wsBool);
    std::array<int, 4> bounds = m_dimension.value_or(std::array<int, 4>{m_firstRow, m_lastRow, m_firstCol, m_lastCol});
    const bool any = m_anyCell || m_dimension;
    QByteArray dimension;
    put32(dimension, any ? quint32(bounds[0]) : 0);
    put32(dimension, any ? quint32(bounds[1] + 1) : 0);
    put16(dimension, any ? quint32(bounds[2]) : 0);
    put16(dimension, any ? quint32(bounds[3] + 1) : 0);
    put16(dimension, 0);
    out += Biff8TestWriter::record(Dimension, dimension);
    out += m_records;
    out += Biff8TestWriter::record(Eof, {});
    return out;
}

// --- Workbook --------------------------------------------------------------

Biff8TestWriter::Biff8TestWriter() = default;
Biff8TestWriter::~Biff8TestWriter() = default;

Biff8TestWriter::Sheet& Biff8TestWriter::addSheet(const QString& name, SheetKind kind)
{
    m_sheets.push_back(std::unique_ptr<Sheet>(new Sheet(*this, name, kind)));
    return *m_sheets.back();
}

int Biff8TestWriter::sharedString(const QString& s, int runs, int phoneticBytes)
{
    if (runs == 0 && phoneticBytes == 0) {
        const auto it = m_plainStrings.constFind(s);
        if (it != m_plainStrings.constEnd())
            return it.value();
        m_plainStrings.insert(s, int(m_strings.size()));
    }
    m_strings.push_back({s, runs, phoneticBytes});
    return int(m_strings.size()) - 1;
}

void Biff8TestWriter::breakSstInText(const QString& s, int chars)
{
    for (SharedString& entry : m_strings) {
        if (entry.text == s) {
            entry.breakInText = chars;
            return;
        }
    }
    Q_ASSERT_X(false, "Biff8TestWriter::breakSstInText", "no such shared string");
}

void Biff8TestWriter::breakSstInExtras(const QString& s, int bytes)
{
    for (SharedString& entry : m_strings) {
        if (entry.text == s) {
            entry.breakInExtras = bytes;
            return;
        }
    }
    Q_ASSERT_X(false, "Biff8TestWriter::breakSstInExtras", "no such shared string");
}

int Biff8TestWriter::formatId(const QString& code)
{
    qsizetype i = m_formats.indexOf(code);
    if (i < 0) {
        m_formats.append(code);
        i = m_formats.size() - 1;
    }
    return 164 + int(i);
}

quint16 Biff8TestWriter::dateXf(int format)
{
    qsizetype i = m_dateXfFormats.indexOf(format);
    if (i < 0) {
        m_dateXfFormats.append(format);
        i = m_dateXfFormats.size() - 1;
    }
    return quint16(kDefaultXf + 1 + i);
}

QByteArray Biff8TestWriter::sstRecords() const
{
    std::vector<QByteArray> bodies(1);
    put32(bodies[0], quint32(m_sstReferences));
    put32(bodies[0], quint32(m_strings.size()));
    auto room = [&] { return kMaxBody - int(bodies.back().size()); };
    auto next = [&] { bodies.emplace_back(); };

    for (const SharedString& s : m_strings) {
        const int header = 3 + (s.runs ? 2 : 0) + (s.phoneticBytes ? 4 : 0);
        const int cch = int(s.text.size());
        // The header stays whole and keeps its first character with it, unless a test asks otherwise.
        if (room() < header + (cch > 0 && s.breakInText != 0 ? 2 : 0))
            next();
        int at = 0;
        for (bool first = true;; first = false) {
            // Each piece of the characters says for itself whether it is 8- or 16-bit.
            const int budget = room() - (first ? header : 1);
            int limit = cch - at;
            if (s.breakInText >= at && s.breakInText < cch && (first || s.breakInText > at))
                limit = s.breakInText - at;
            const int narrow = std::min(limit, budget);
            const bool wide = !isLatin1(QStringView(s.text).mid(at, narrow));
            const int n = wide ? std::min(limit, budget / 2) : narrow;
            QByteArray& body = bodies.back();
            if (first) {
                put16(body, quint32(cch));
                body.append(char((wide ? 0x01 : 0) | (s.phoneticBytes ? 0x04 : 0) | (s.runs ? 0x08 : 0)));
                if (s.runs)
                    put16(body, quint32(s.runs));
                if (s.phoneticBytes)
                    put32(body, quint32(s.phoneticBytes));
            } else {
                body.append(char(wide ? 0x01 : 0));
            }
            putChars(body, QStringView(s.text).mid(at, n), wide);
            at += n;
            if (at >= cch)
                break;
            next();
        }

        QByteArray extras;
        for (int r = 0; r < s.runs; ++r) {
            put16(extras, quint32(std::min(r, std::max(cch - 1, 0))));
            put16(extras, 0);
        }
        if (s.phoneticBytes) {
            QByteArray phonetic(s.phoneticBytes, char(0x5A));
            if (phonetic.size() >= 4) {
                phonetic[0] = 1;
                phonetic[1] = 0;
                phonetic[2] = char((s.phoneticBytes - 4) & 0xFF);
                phonetic[3] = char((s.phoneticBytes - 4) >> 8);
            }
            extras += phonetic;
        }
        bool broken = false;
        for (int done = 0; done < extras.size();) {
            if ((!broken && done == s.breakInExtras) || room() == 0) {
                broken = broken || done == s.breakInExtras;
                next();
            }
            int n = std::min(int(extras.size()) - done, room());
            if (!broken && s.breakInExtras > done)
                n = std::min(n, s.breakInExtras - done);
            bodies.back() += extras.mid(done, n);
            done += n;
        }
    }

    QByteArray out = record(Sst, bodies[0]);
    for (size_t i = 1; i < bodies.size(); ++i)
        out += record(Continue, bodies[i]);
    return out;
}

QByteArray Biff8TestWriter::workbookStream() const
{
    QByteArray globals = record(Bof, bof(0x0005));
    if (m_filePass) {
        QByteArray rc4;
        put16(rc4, 1); // RC4
        put16(rc4, 1);
        put16(rc4, 1);
        rc4 += QByteArray(48, char(0x33)); // salt, verifier and its hash
        globals += record(FilePass, rc4);
    }
    QByteArray codePage;
    put16(codePage, 1200);
    globals += record(CodePage, codePage);
    QByteArray dateMode;
    put16(dateMode, m_date1904 ? 1 : 0);
    globals += record(DateMode, dateMode);
    for (int i = 0; i < 5; ++i) {
        QByteArray font;
        put16(font, 200);
        put16(font, 0);
        put16(font, 0x7FFF);
        put16(font, 400);
        put16(font, 0);
        font.append(QByteArray(4, 0));
        font.append(char(5)).append(char(0)).append("Arial");
        globals += record(Font, font);
    }
    for (qsizetype i = 0; i < m_formats.size(); ++i) {
        QByteArray format;
        put16(format, quint32(164 + i));
        globals += record(Format, format + unicodeString(m_formats[i]));
    }
    auto xf = [](quint16 format, bool style) {
        QByteArray b;
        put16(b, 0);
        put16(b, format);
        put16(b, style ? 0xFFF5 : 0x0001);
        put16(b, 0x20); // alignment: bottom
        put16(b, 0);
        put32(b, 0);
        put32(b, 0);
        put16(b, 0x20C0);
        return record(Xf, b);
    };
    for (int i = 0; i < kDefaultXf; ++i)
        globals += xf(0, true);
    globals += xf(0, false);
    for (int format : m_dateXfFormats)
        globals += xf(quint16(format), false);

    // BOUNDSHEET records point at their sheet's BOF: fill in the offsets once
    // the size of everything before the sheets is known.
    std::vector<qsizetype> offsetAt;
    for (const auto& sheet : m_sheets) {
        QByteArray body(4, 0);
        body.append(char(sheet->m_hidden ? 1 : 0));
        const char type = sheet->m_kind == SheetKind::Chart ? 2 : sheet->m_kind == SheetKind::MacroSheet ? 1 : 0;
        body.append(type);
        const bool wide = !isLatin1(sheet->m_name);
        body.append(char(sheet->m_name.size())).append(char(wide ? 1 : 0));
        putChars(body, sheet->m_name, wide);
        offsetAt.push_back(globals.size() + 4);
        globals += record(BoundSheet, body);
    }
    globals += sstRecords();
    globals += record(Eof, {});

    QByteArray out = globals;
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        qToLittleEndian<quint32>(quint32(out.size()), out.data() + offsetAt[i]);
        out += m_sheets[i]->substream();
    }
    return out;
}

QByteArray Biff8TestWriter::xls() const
{
    return ole2({{QStringLiteral("Workbook"), workbookStream()}});
}

bool Biff8TestWriter::save(const QString& path) const
{
    QFile file(path);
    const QByteArray bytes = xls();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray Biff8TestWriter::record(quint16 type, const QByteArray& body)
{
    Q_ASSERT_X(body.size() <= 0xFFFF, "Biff8TestWriter::record", "body too long for a record");
    QByteArray r;
    r.reserve(4 + body.size());
    put16(r, type);
    put16(r, quint32(body.size()));
    return r + body;
}

QByteArray Biff8TestWriter::ole2(const QList<std::pair<QString, QByteArray>>& streams)
{
    static const bool initialised = [] {
        gsf_init();
        return true;
    }();
    Q_UNUSED(initialised);
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* container = gsf_outfile_msole_new(memory);
    for (const auto& [name, data] : streams) {
        GsfOutput* child = gsf_outfile_new_child(container, name.toUtf8().constData(), FALSE);
        gsf_output_write(child, size_t(data.size()), reinterpret_cast<const guint8*>(data.constData()));
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(container));
    g_object_unref(container);
    const QByteArray bytes(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory))),
                           qsizetype(gsf_output_size(memory)));
    g_object_unref(memory);
    return bytes;
}
