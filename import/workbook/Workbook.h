#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// What a spreadsheet file holds, as the importers need it: sheet names in
// workbook order, and per sheet the cells it stores, kept sparsely. A sheet
// whose used range runs to XFD1048576 with three cells holds three cells.
namespace Workbook {

enum class CellKind : unsigned char { Empty, Text, Number, Boolean, Date, Error };

// Text of many cells kept end to end in large blocks: a text costs its UTF-16
// characters and a 4-byte length, not a string object and a heap block of its
// own. Texts are added, never changed or removed; a reference stays valid as
// long as the pool lives.
class TextPool
{
public:
    using Ref = quint64;

    TextPool() = default;
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;
    TextPool(TextPool&&) noexcept = default;
    TextPool& operator=(TextPool&&) noexcept = default;

    Ref add(QStringView text);
    // The text of UTF-8 bytes, decoded straight into the pool (as QString::fromUtf8 decodes).
    Ref addUtf8(QByteArrayView utf8);
    QStringView at(Ref ref) const
    {
        const char16_t* p = m_blocks[size_t(ref >> 32)].get() + quint32(ref);
        return QStringView(p + 2, qsizetype(p[0] | quint32(p[1]) << 16));
    }
    void clear();

private:
    // Room for a length and up to `length` characters, and its reference; the
    // caller writes the length it used with setLength().
    char16_t* room(size_t length, Ref& ref);
    static void setLength(char16_t* at, size_t length);

    static constexpr size_t kBlockChars = size_t(1) << 18; // 512 KB a block
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    size_t m_current = 0;        // the block being filled
    size_t m_used = kBlockChars; // characters used in it
    bool m_roomOwnBlock = false; // the last room() gave a block of its own
};

// One stored cell: 16 bytes, whatever it holds. The text of Text and Error cells
// lives in the sheet's text pools (Sheet::text()).
struct Cell
{
    quint32 row = 0; // 0-based, absolute on the sheet (row 1 is 0)
    quint16 col = 0; // 0-based, absolute (column A is 0)
    CellKind kind = CellKind::Empty;
    // Empty cells only: a formula the file keeps without the result it last
    // computed, which a reader cannot compute in its place.
    bool formulaWithoutResult = false;

    // Number: the value. Boolean: 1 or 0. Date: the serial day number of the
    // 1900 date system (days since 1899-12-30, fraction = time of day); readers
    // of 1904-system workbooks add 1462 before storing. 0 for other kinds.
    double number() const { return holdsText() || kind == CellKind::Empty ? 0 : m_value.number; }
    bool holdsText() const { return kind == CellKind::Text || kind == CellKind::Error; }

private:
    friend class Sheet;
    union Value {
        double number;
        TextPool::Ref text; // the top bit set: in the shared pool
    } m_value{0.0};
};
static_assert(sizeof(Cell) == 16, "cells are kept by the million");

// A cell as readers and tests describe it before it is stored.
struct CellValue
{
    quint32 row = 0;
    quint32 col = 0;
    CellKind kind = CellKind::Empty;
    bool formulaWithoutResult = false; // as Cell::formulaWithoutResult
    double number = 0;                 // as Cell::number()
    QString text;                      // Text: the text. Error: as the spreadsheet shows it ("#N/A").
};

inline constexpr quint32 kMaxRows = 1048576;
inline constexpr quint32 kMaxColumns = 16384;

class Sheet
{
public:
    QString name;

    // Cells in any order; finish() sorts them and computes the used range.
    // A later cell at the same position replaces an earlier one. Positions are
    // within kMaxRows and kMaxColumns.
    void addEmpty(quint32 row, quint32 col, bool formulaWithoutResult = false)
    {
        Cell& c = push(row, col, CellKind::Empty);
        c.formulaWithoutResult = formulaWithoutResult;
    }
    // Number, Boolean or Date.
    void addNumber(quint32 row, quint32 col, CellKind kind, double number)
    {
        push(row, col, kind).m_value.number = number;
    }
    // Text or Error; the text is copied into the sheet's own pool.
    void addText(quint32 row, quint32 col, CellKind kind, QStringView text)
    {
        const TextPool::Ref ref = m_ownText.add(text);
        push(row, col, kind).m_value.text = ref;
    }
    // A Text cell whose text is `ref` in the pool given to useSharedText(),
    // one a workbook keeps for all its sheets (the shared strings of .xlsx, the
    // string table of .xls).
    void useSharedText(std::shared_ptr<const TextPool> pool) { m_sharedText = std::move(pool); }
    void addSharedText(quint32 row, quint32 col, TextPool::Ref ref)
    {
        push(row, col, CellKind::Text).m_value.text = ref | kSharedBit;
    }
    void add(const CellValue& cell);

    // Room for `n` cells; readers that know the count ask once, before adding.
    void reserve(size_t n) { m_cells.reserve(n); }
    size_t capacity() const { return m_cells.capacity(); }
    void finish();
    void clear();

    // The used range: the bounding box of every stored cell, blank but
    // formatted cells (kind Empty) included. No cells: an empty range.
    bool hasCells() const { return !m_cells.empty(); }
    quint32 firstRow() const { return m_firstRow; }
    quint32 firstColumn() const { return m_firstCol; }
    quint32 lastRow() const { return m_lastRow; }
    quint32 lastColumn() const { return m_lastCol; }
    quint32 rowCount() const { return hasCells() ? m_lastRow - m_firstRow + 1 : 0; }
    quint32 columnCount() const { return hasCells() ? m_lastCol - m_firstCol + 1 : 0; }

    // The cell at an absolute position, or nullptr when none is stored there.
    const Cell* find(quint32 row, quint32 col) const;
    // Stored cells of one absolute column, top to bottom.
    std::vector<const Cell*> column(quint32 col) const;
    const std::vector<Cell>& cells() const { return m_cells; }
    // Text and Error cells: their text, valid while the sheet lives. Others: empty.
    QStringView text(const Cell& cell) const
    {
        if (!cell.holdsText())
            return {};
        const TextPool::Ref ref = cell.m_value.text;
        return ref & kSharedBit ? m_sharedText->at(ref & ~kSharedBit) : m_ownText.at(ref);
    }

private:
    static constexpr TextPool::Ref kSharedBit = TextPool::Ref(1) << 63;

    Cell& push(quint32 row, quint32 col, CellKind kind)
    {
        Cell& c = m_cells.emplace_back();
        c.row = row;
        c.col = quint16(col);
        c.kind = kind;
        return c;
    }

    std::vector<Cell> m_cells; // sorted by (row, col) after finish()
    TextPool m_ownText;
    std::shared_ptr<const TextPool> m_sharedText;
    quint32 m_firstRow = 0, m_firstCol = 0, m_lastRow = 0, m_lastCol = 0;
};

// Why a file could not be opened as a workbook.
enum class OpenStatus {
    Ok,
    Unreadable,   // the file cannot be read (systemError says why)
    NotAWorkbook, // not a spreadsheet, damaged beyond use, truncated, or over the size limits
    Encrypted,    // protected by a password
    NoBackend,    // a workbook of a kind this build cannot read
};

// One opened workbook. Sheets are parsed when asked for, so listing the sheet
// names of a large workbook is cheap.
class File
{
public:
    virtual ~File() = default;
    virtual QStringList sheetNames() const = 0;
    // Parses sheet `index` (0-based, workbook order). False when the sheet's
    // data is damaged or over the limits; `error` then says what was wrong.
    virtual bool loadSheet(int index, Sheet& sheet, QString& error) = 0;
    // False when the sheet offers no used range at all (our readers always do).
    virtual bool hasUsedRange(int /*index*/) const { return true; }
};

struct OpenResult
{
    OpenStatus status = OpenStatus::NotAWorkbook;
    std::unique_ptr<File> file;
    QString detail;      // for diagnostics and tests: what exactly was refused
    int systemError = 0; // errno of a failed read, else 0
};

// Opens a workbook by its content (OLE2 container or zip package), whatever
// its extension says.
OpenResult openFile(const QString& path);

// Whether a file name's extension (without the dot, any letter case) is one the
// spreadsheet imports take: xls, xlsx, csv, ods.
bool isSpreadsheetExtension(const QString& extension);

// --- Shared helpers of the file readers ---------------------------------

// "A1"-style reference to 0-based row and column; false when malformed or
// beyond the sheet's limits.
bool parseCellReference(QStringView ref, quint32& row, quint32& col);

} // namespace Workbook
