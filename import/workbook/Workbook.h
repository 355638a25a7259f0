#pragma once

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

struct Cell
{
    quint32 row = 0; // 0-based, absolute on the sheet (row 1 is 0)
    quint32 col = 0; // 0-based, absolute (column A is 0)
    CellKind kind = CellKind::Empty;
    // Empty cells only: a formula the file keeps without the result it last
    // computed, which a reader cannot compute in its place.
    bool formulaWithoutResult = false;
    // Number: the value. Boolean: 1 or 0. Date: the serial day number of the
    // 1900 date system (days since 1899-12-30, fraction = time of day); readers
    // of 1904-system workbooks add 1462 before storing.
    double number = 0;
    // Text: the text. Error: the error as the spreadsheet shows it ("#N/A").
    QString text;
};

inline constexpr quint32 kMaxRows = 1048576;
inline constexpr quint32 kMaxColumns = 16384;

class Sheet
{
public:
    QString name;

    // Cells in any order; finish() sorts them and computes the used range.
    // A later cell at the same position replaces an earlier one.
    void add(Cell cell) { m_cells.push_back(std::move(cell)); }
    void reserve(size_t n) { m_cells.reserve(n); }
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

private:
    std::vector<Cell> m_cells; // sorted by (row, col) after finish()
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
