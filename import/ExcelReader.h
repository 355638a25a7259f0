#pragma once

#include "import/workbook/Workbook.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What the reader shows: the "Excel Error" box and plain notices, each owned
// by the window the caller chose. The GUI implements it with message boxes
// (callable from the reading thread); the command line prints.
class ExcelReaderUi
{
public:
    virtual ~ExcelReaderUi() = default;
    // The composed text (see ExcelErrors::compose), caption "Excel Error", error icon.
    virtual void excelError(const QString& text) = 0;
    // Caption "Message", information icon.
    virtual void notice(const QString& text) = 0;
};

// An automation call that failed on the way: the caller shows "Excel Error :
// File reading process is discarded." and ends the read. `description` is
// what the spreadsheet program said.
struct ExcelAutomationError
{
    QString description;
};

// Raised with this description when a workbook is protected by a password.
QString WrongPasswordDescription();

// One read of a workbook, in the order: StartExcel, OpenWorkbook,
// [ListSheetNames], SelectWorksheet, LoadUsedGrid, ReadCellText..., EndExcel.
// Our spreadsheet engine reads the files in-process; a native one driving the
// installed spreadsheet program could take its place behind this class.
// Every step after a failure is safe, and EndExcel may run any number of times.
// The engine keeps the last sheet it parsed for the next read of the same,
// unchanged file: the sheet dialog reads a sheet and the import then reads it
// again, and the second read should not parse it anew.
class ExcelReader
{
public:
    enum class Grid
    {
        NoRange,
        Empty,
        Cells
    };

    explicit ExcelReader(ExcelReaderUi& ui);
    ~ExcelReader();

    bool StartExcel();
    // False (after the message) when no workbook was obtained. Throws
    // ExcelAutomationError for a password-protected workbook.
    bool OpenWorkbook(const QString& path);
    // Fills g_arrSheetNames.
    void ListSheetNames();
    // 1-based. False (after "Failed to get Excel Worksheet!" and EndExcel)
    // when there is no such sheet; throws when its data is damaged.
    bool SelectWorksheet(int index);
    // Lets the open workbook go (its file's bytes, its string table) while the
    // selected sheet stays readable: for a caller that reads one sheet once.
    void CloseWorkbook() { m_workbook.reset(); }
    Grid LoadUsedGrid();

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    // Where the range starts on the sheet (0-based): row 1 of the range is sheet row firstRow() + 1.
    quint32 firstRow() const { return m_firstRow; }
    quint32 firstColumn() const { return m_firstCol; }

    // The text of a cell of the range (1-based, relative to the range),
    // narrowed to the ANSI code page; nothing when its value cannot be
    // converted (an error value).
    std::optional<QString> ReadCellText(int row, int col) const;
    // Every stored cell of range column `col` with text, top to bottom, as
    // (row, text): what ReadCellText gives for rows 1..rows() without the empty
    // ones. Cells that cannot be converted come as nothing.
    void ForEachCellOfColumn(int col,
                             const std::function<void(int row, const std::optional<QString>& text)>& visit) const;

    // The name of the selected sheet; empty before one is loaded.
    QString SheetName() const;

    // Rows of range column `col` (1-based, ascending) whose cell is a formula
    // the file stores without its result: they read as empty.
    std::vector<int> FormulaRowsWithoutResult(int col) const;

    void EndExcel();

    // The engine: opens a file into a workbook. Tests replace it to make every
    // outcome reachable; an empty function restores the file readers.
    using Opener = std::function<Workbook::OpenResult(const QString& path)>;
    static void setOpenerForTests(Opener opener);
    // Whether an engine is installed at all (false: "Microsoft Excel must be
    // installed to use this feature."). Tests may pretend there is none.
    static void setEngineMissingForTests(bool missing);

    // A file as it was when opened: what a read kept serves a later one only while it is unchanged.
    struct FileStamp
    {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };

private:
    // Calls visit(cell, row) for each stored cell of the column, in row order.
    template <typename F> void forEachCell(int col, F&& visit) const;

    ExcelReaderUi& m_ui;
    bool m_started = false;
    std::unique_ptr<Workbook::File> m_workbook;
    QString m_path;
    FileStamp m_opened;
    std::shared_ptr<const Workbook::Sheet> m_sheet;
    bool m_sheetShared = false; // taken from the last read of the same file
    bool m_haveRange = false;
    quint32 m_firstRow = 0, m_firstCol = 0;
    int m_rows = 0, m_cols = 0;
};
