#include "Biff8Records.h"
#include "Ole2Container.h"

#include "import/workbook/NumberFormat.h"
#include "import/workbook/WorkbookBackends.h"

#include <cmath>
#include <map>
#include <optional>

using namespace Biff8;
using Cell = Workbook::CellValue;
using Workbook::CellKind;

namespace {

// As many cells as a BIFF8 sheet has places (65,536 rows of 256 columns).
constexpr quint64 kMaxCells = quint64(65536) * 256;
// The last day a spreadsheet shows as a date: 31 December 9999.
constexpr double kLastDateSerial = 2958465.0;
constexpr double k1904Offset = 1462.0;
// Sheet references elsewhere in the format are 16-bit; more sheets are no workbook.
constexpr size_t kMaxSheets = 65535;
// Records read past a sheet's BOF to tell a dialog sheet from a worksheet.
constexpr int kSheetKindProbe = 256;

enum class SheetKind
{
    Worksheet,
    Dialog,
    Other
};

struct SheetEntry
{
    QString name;
    qsizetype offset;
};

class XlsFile final : public Workbook::File
{
public:
    QByteArray stream;
    std::vector<SheetEntry> sheets;
    // The shared string table: the texts in one pool the sheets share, and where each is.
    std::shared_ptr<Workbook::TextPool> stringPool = std::make_shared<Workbook::TextPool>();
    std::vector<Workbook::TextPool::Ref> strings;
    std::vector<bool> xfIsDate;
    bool date1904 = false;

    QStringList sheetNames() const override
    {
        QStringList names;
        names.reserve(qsizetype(sheets.size()));
        for (const SheetEntry& s : sheets)
            names.append(s.name);
        return names;
    }

    bool loadSheet(int index, Workbook::Sheet& sheet, QString& error) override;
    SheetKind probeSheetKind(qsizetype offset) const;
};

// Builds one sheet from its records: the bounding box of every stored cell is
// the used range, blanks included, but only the corners of the blanks' box are
// kept, so a sheet of formatted blank cells costs two cells.
class SheetBuilder
{
public:
    SheetBuilder(const XlsFile& file, Workbook::Sheet& sheet) : m_file(file), m_sheet(sheet) {}

    bool read(qsizetype offset, QString& error);

private:
    bool cellRecord(const Record& r, RecordStream& stream);
    bool position(const Record& r, quint16 col, Cell& cell);
    void store(Cell&& cell);
    void note(quint32 row, quint32 col); // the used range and count of stored cells
    void storeNumber(Cell&& cell, quint16 xf, double value);
    void blank(quint32 row, quint32 col);
    void flushPendingText();
    void addBlankCorners();
    bool fail(const QString& why)
    {
        m_error = why;
        return false;
    }

    const XlsFile& m_file;
    Workbook::Sheet& m_sheet;
    QString m_error;
    quint64 m_count = 0;
    std::optional<Cell> m_pendingText; // a FORMULA whose text result is in the STRING record after it
    bool m_anyStored = false, m_anyBlank = false;
    quint32 m_minRow = 0, m_minCol = 0, m_maxRow = 0, m_maxCol = 0;
    quint32 m_blankMinRow = 0, m_blankMinCol = 0, m_blankMaxRow = 0, m_blankMaxCol = 0;
};

QString recordName(const Record& r)
{
    return QStringLiteral("record 0x%1 at offset %2").arg(r.type, 4, 16, QLatin1Char('0')).arg(r.offset);
}

bool SheetBuilder::read(qsizetype offset, QString& error)
{
    if (offset < 0 || offset >= m_file.stream.size()) {
        error = QStringLiteral("sheet data at offset %1 lies beyond the stream's %2 bytes")
                    .arg(offset)
                    .arg(m_file.stream.size());
        return false;
    }
    RecordStream stream(m_file.stream, offset);
    Record r;
    if (!stream.next(r) || r.type != Bof || r.size < 4 || u16(r.data + 2) != BofWorksheet) {
        error = QStringLiteral("no worksheet BOF at offset %1").arg(offset);
        return false;
    }
    int depth = 1; // charts embedded in the sheet are substreams of their own
    while (stream.next(r)) {
        if (r.type == Bof) {
            ++depth;
            continue;
        }
        if (r.type == Eof) {
            if (--depth == 0) {
                flushPendingText();
                addBlankCorners();
                m_sheet.finish();
                return true;
            }
            continue;
        }
        if (depth == 1 && !cellRecord(r, stream)) {
            error = m_error;
            return false;
        }
    }
    error = stream.error().isEmpty() ? QStringLiteral("sheet data ends without its EOF record") : stream.error();
    return false;
}

bool SheetBuilder::position(const Record& r, quint16 col, Cell& cell)
{
    if (col >= Workbook::kMaxColumns)
        return fail(QStringLiteral("%1: column %2 beyond the last column").arg(recordName(r)).arg(col));
    cell.row = u16(r.data);
    cell.col = col;
    return true;
}

bool SheetBuilder::cellRecord(const Record& r, RecordStream& stream)
{
    auto tooShort = [&] { return fail(QStringLiteral("%1 too short (%2 bytes)").arg(recordName(r)).arg(r.size)); };
    auto minimum = [&](quint16 type) -> int {
        switch (type) {
        case Number:
            return 14;
        case Rk:
        case LabelSst:
            return 10;
        case BoolErr:
            return 8;
        case Blank:
            return 6;
        case Formula:
            return 20;
        case Label:
        case RString:
            return 9;
        case MulRk:
            return 12;
        case MulBlank:
            return 8;
        case String:
            return 3;
        default:
            return 0;
        }
    };
    const int need = minimum(r.type);
    if (need == 0)
        return true; // formatting, layout and everything else the import does not need
    if (r.size < need)
        return tooShort();

    if (r.type == String) {
        if (!m_pendingText)
            return true;
        ContinuedReader text;
        text.collect(r, stream);
        if (!text.readString(m_pendingText->text))
            return fail(QStringLiteral("%1: formula text cut off").arg(recordName(r)));
        flushPendingText();
        return true;
    }
    flushPendingText();
    if (m_count >= kMaxCells)
        return fail(QStringLiteral("more cells than a sheet holds"));

    const quint16 xf = u16(r.data + 4);
    Cell cell;
    if (r.type != MulRk && r.type != MulBlank && !position(r, u16(r.data + 2), cell))
        return false;

    switch (r.type) {
    case Number:
        storeNumber(std::move(cell), xf, f64(r.data + 6));
        return true;
    case Rk:
        storeNumber(std::move(cell), xf, rkValue(u32(r.data + 6)));
        return true;
    case LabelSst: {
        const quint32 index = u32(r.data + 6);
        if (index >= m_file.strings.size())
            return fail(QStringLiteral("%1: string %2 of a table of %3")
                            .arg(recordName(r))
                            .arg(index)
                            .arg(m_file.strings.size()));
        note(cell.row, cell.col);
        m_sheet.addSharedText(cell.row, cell.col, m_file.strings[index]);
        return true;
    }
    case Label:
    case RString: {
        ContinuedReader text;
        text.addSegment(r.data + 6, r.size - 6);
        text.collectContinues(stream);
        if (!text.readString(cell.text))
            return fail(QStringLiteral("%1: text cut off").arg(recordName(r)));
        cell.kind = CellKind::Text;
        store(std::move(cell));
        return true;
    }
    case BoolErr:
        if (r.data[7]) {
            cell.kind = CellKind::Error;
            cell.text = errorText(r.data[6]);
        } else {
            cell.kind = CellKind::Boolean;
            cell.number = r.data[6] ? 1 : 0;
        }
        store(std::move(cell));
        return true;
    case Blank:
        blank(cell.row, cell.col);
        return true;
    case Formula: {
        const uchar* v = r.data + 6;
        if (u16(v + 6) != 0xFFFF) {
            storeNumber(std::move(cell), xf, f64(v));
            return true;
        }
        switch (v[0]) {
        case 0: // text, in the STRING record that follows
            cell.kind = CellKind::Text;
            m_pendingText = std::move(cell);
            return true;
        case 1:
            cell.kind = CellKind::Boolean;
            cell.number = v[2] ? 1 : 0;
            break;
        case 2:
            cell.kind = CellKind::Error;
            cell.text = errorText(v[2]);
            break;
        case 3:
            cell.kind = CellKind::Text;
            break;
        default:
            blank(cell.row, cell.col);
            return true;
        }
        store(std::move(cell));
        return true;
    }
    case MulRk:
    case MulBlank: {
        const int each = r.type == MulRk ? 6 : 2;
        const quint16 first = u16(r.data + 2);
        const quint16 last = u16(r.data + r.size - 2);
        if ((r.size - 6) % each != 0 || last < first || last - first + 1 != (r.size - 6) / each)
            return fail(QStringLiteral("%1: columns %2 to %3 do not match its %4 bytes")
                            .arg(recordName(r))
                            .arg(first)
                            .arg(last)
                            .arg(r.size));
        if (!position(r, last, cell))
            return false;
        for (quint32 col = first; col <= last; ++col) {
            if (r.type == MulBlank) {
                blank(cell.row, col);
                continue;
            }
            const uchar* p = r.data + 4 + (col - first) * 6;
            Cell c;
            c.row = cell.row;
            c.col = col;
            storeNumber(std::move(c), u16(p), rkValue(u32(p + 2)));
        }
        return true;
    }
    default:
        return true;
    }
}

void SheetBuilder::storeNumber(Cell&& cell, quint16 xf, double value)
{
    if (!std::isfinite(value)) {
        // No spreadsheet stores these; as text they would read "nan" or "inf".
        cell.kind = CellKind::Error;
        cell.text = errorText(0x24);
        store(std::move(cell));
        return;
    }
    const bool date = xf < m_file.xfIsDate.size() && m_file.xfIsDate[xf];
    const double serial = m_file.date1904 ? value + k1904Offset : value;
    if (date && serial >= 0 && serial <= kLastDateSerial) {
        cell.kind = CellKind::Date;
        cell.number = serial;
    } else {
        cell.kind = CellKind::Number; // a date format over a value no calendar holds shows a number
        cell.number = value;
    }
    store(std::move(cell));
}

void SheetBuilder::store(Cell&& cell)
{
    note(cell.row, cell.col);
    m_sheet.add(cell);
}

void SheetBuilder::note(quint32 row, quint32 col)
{
    if (!m_anyStored) {
        m_minRow = m_maxRow = row;
        m_minCol = m_maxCol = col;
        m_anyStored = true;
    } else {
        m_minRow = std::min(m_minRow, row);
        m_maxRow = std::max(m_maxRow, row);
        m_minCol = std::min(m_minCol, col);
        m_maxCol = std::max(m_maxCol, col);
    }
    ++m_count;
}

void SheetBuilder::blank(quint32 row, quint32 col)
{
    if (!m_anyBlank) {
        m_blankMinRow = m_blankMaxRow = row;
        m_blankMinCol = m_blankMaxCol = col;
        m_anyBlank = true;
        return;
    }
    m_blankMinRow = std::min(m_blankMinRow, row);
    m_blankMaxRow = std::max(m_blankMaxRow, row);
    m_blankMinCol = std::min(m_blankMinCol, col);
    m_blankMaxCol = std::max(m_blankMaxCol, col);
}

void SheetBuilder::flushPendingText()
{
    if (m_pendingText) {
        store(std::move(*m_pendingText));
        m_pendingText.reset();
    }
}

void SheetBuilder::addBlankCorners()
{
    if (!m_anyBlank)
        return;
    // A corner inside the box of the stored cells adds nothing to the range, and
    // one outside it cannot hide a stored cell.
    auto inside = [&](quint32 row, quint32 col) {
        return m_anyStored && row >= m_minRow && row <= m_maxRow && col >= m_minCol && col <= m_maxCol;
    };
    const bool addMin = !inside(m_blankMinRow, m_blankMinCol);
    const bool addMax = !inside(m_blankMaxRow, m_blankMaxCol);
    for (int corner = 0; corner < 2; ++corner) {
        if (!(corner == 0 ? addMin : addMax))
            continue;
        Cell c;
        c.row = corner == 0 ? m_blankMinRow : m_blankMaxRow;
        c.col = corner == 0 ? m_blankMinCol : m_blankMaxCol;
        m_sheet.add(std::move(c));
    }
}

bool XlsFile::loadSheet(int index, Workbook::Sheet& sheet, QString& error)
{
    sheet.clear();
    if (index < 0 || size_t(index) >= sheets.size()) {
        error = QStringLiteral("no sheet %1 in a workbook of %2").arg(index).arg(sheets.size());
        return false;
    }
    sheet.name = sheets[size_t(index)].name;
    sheet.useSharedText(stringPool);
    // Room for the cells up front: the sheet's records run to the next sheet or
    // the end of the stream, and a stored cell takes at least 14 bytes of them.
    const qsizetype offset = sheets[size_t(index)].offset;
    qsizetype end = stream.size();
    for (const SheetEntry& s : sheets) {
        if (s.offset > offset && s.offset < end)
            end = s.offset;
    }
    if (end > offset)
        sheet.reserve(size_t((end - offset) / 14));
    SheetBuilder builder(*this, sheet);
    if (!builder.read(sheets[size_t(index)].offset, error)) {
        sheet.clear();
        return false;
    }
    return true;
}

SheetKind XlsFile::probeSheetKind(qsizetype offset) const
{
    if (offset < 0 || offset >= stream.size())
        return SheetKind::Worksheet; // loadSheet says what is wrong with it
    RecordStream records(stream, offset);
    Record r;
    if (!records.next(r) || r.type != Bof || r.size < 4)
        return SheetKind::Worksheet;
    const quint16 kind = u16(r.data + 2);
    if (kind == BofChart || kind == BofMacroSheet)
        return SheetKind::Other;
    for (int i = 0; i < kSheetKindProbe && records.next(r); ++i) {
        if (r.type == WsBool && r.size >= 1)
            return (r.data[0] & 0x10) ? SheetKind::Dialog : SheetKind::Worksheet;
        if (r.type == Eof || r.type == Dimension || r.type == Bof)
            break;
    }
    return SheetKind::Worksheet;
}

struct DeclaredSheet
{
    QString name;
    quint32 offset;
    quint8 type;
};

bool readBoundSheet(const Record& r, DeclaredSheet& out)
{
    if (r.size < 8)
        return false;
    out.offset = u32(r.data);
    out.type = r.data[5];
    const int cch = r.data[6];
    const bool wide = r.data[7] & 0x01;
    if (8 + cch * (wide ? 2 : 1) > r.size)
        return false;
    ContinuedReader name;
    name.addSegment(r.data + 8, r.size - 8);
    return name.readChars(quint32(cch), wide, out.name);
}

Workbook::OpenResult notAWorkbook(const QString& detail)
{
    Workbook::OpenResult result;
    result.status = Workbook::OpenStatus::NotAWorkbook;
    result.detail = detail;
    return result;
}

// The workbook globals: everything up to their EOF record, which comes before
// the first sheet's data.
Workbook::OpenResult readGlobals(std::unique_ptr<XlsFile> file)
{
    RecordStream records(file->stream, 0);
    Record r;
    if (!records.next(r) || r.type != Bof || r.size < 4)
        return notAWorkbook(QStringLiteral("Workbook stream does not start with a BOF record"));
    if (u16(r.data) != kBiff8Version)
        return notAWorkbook(QStringLiteral("BIFF version 0x%1, not BIFF8").arg(u16(r.data), 4, 16, QLatin1Char('0')));
    if (u16(r.data + 2) != BofGlobals)
        return notAWorkbook(QStringLiteral("Workbook stream does not start with the workbook globals"));

    std::map<quint16, QString> formatCodes;
    std::vector<quint16> xfFormats;
    std::vector<DeclaredSheet> bound;
    bool ended = false;
    while (!ended && records.next(r)) {
        switch (r.type) {
        case FilePass: {
            Workbook::OpenResult result;
            result.status = Workbook::OpenStatus::Encrypted;
            result.detail = QStringLiteral("FILEPASS: the workbook is encrypted");
            return result;
        }
        case DateMode:
            file->date1904 = r.size >= 2 && u16(r.data) == 1;
            break;
        case Format: {
            QString code;
            ContinuedReader text;
            if (r.size >= 2) {
                text.addSegment(r.data + 2, r.size - 2);
                if (text.readString(code))
                    formatCodes[u16(r.data)] = std::move(code);
            }
            break;
        }
        case Xf:
            xfFormats.push_back(r.size >= 4 ? u16(r.data + 2) : 0);
            break;
        case BoundSheet: {
            DeclaredSheet sheet;
            if (!readBoundSheet(r, sheet))
                return notAWorkbook(QStringLiteral("%1: sheet name cut off").arg(recordName(r)));
            if (bound.size() == kMaxSheets)
                return notAWorkbook(QStringLiteral("more than %1 sheets").arg(kMaxSheets));
            bound.push_back(std::move(sheet));
            break;
        }
        case Sst: {
            ContinuedReader table;
            table.collect(r, records);
            quint32 total, unique;
            if (!table.readU32(total) || !table.readU32(unique))
                return notAWorkbook(QStringLiteral("%1: string table header cut off").arg(recordName(r)));
            // Never more strings than bytes to hold them: each takes at least three.
            file->strings.reserve(size_t(std::min<quint64>(unique, table.remaining() / 3)));
            for (quint32 i = 0; i < unique && table.remaining() > 0; ++i) {
                QString s;
                if (!table.readRichString(s))
                    return notAWorkbook(
                        QStringLiteral("%1: string %2 of the string table cut off").arg(recordName(r)).arg(i));
                file->strings.push_back(file->stringPool->add(s));
            }
            break;
        }
        case Eof:
            ended = true;
            break;
        default:
            break;
        }
    }
    if (!ended)
        return notAWorkbook(records.error().isEmpty() ? QStringLiteral("workbook globals end without their EOF record")
                                                      : records.error());

    file->xfIsDate.reserve(xfFormats.size());
    for (quint16 format : xfFormats) {
        const auto it = formatCodes.find(format);
        const QString* code = it != formatCodes.end() ? &it->second : nullptr;
        file->xfIsDate.push_back(Workbook::showsDate(Workbook::formatKind(format, code)));
    }
    // Only worksheets are sheets to the importers; chart, macro, module and dialog sheets are left out.
    for (DeclaredSheet& b : bound) {
        if (b.type == 0 && file->probeSheetKind(qsizetype(b.offset)) == SheetKind::Worksheet)
            file->sheets.push_back({std::move(b.name), qsizetype(b.offset)});
    }

    Workbook::OpenResult result;
    result.status = Workbook::OpenStatus::Ok;
    result.file = std::move(file);
    return result;
}

} // namespace

Workbook::OpenResult Workbook::openOle2Workbook(const QByteArray& bytes)
{
    Ole2::Streams streams = Ole2::read(bytes);
    OpenResult result;
    result.detail = streams.detail;
    switch (streams.content) {
    case Ole2::Content::EncryptedPackage:
        result.status = OpenStatus::Encrypted;
        return result;
    case Ole2::Content::NotOle2:
    case Ole2::Content::Biff5Book:
    case Ole2::Content::Other:
        result.status = OpenStatus::NotAWorkbook;
        return result;
    case Ole2::Content::Workbook:
        break;
    }
    auto file = std::make_unique<XlsFile>();
    file->stream = std::move(streams.workbook);
    return readGlobals(std::move(file));
}
