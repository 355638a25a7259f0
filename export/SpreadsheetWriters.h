#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The two spreadsheet writers of the exports: Excel 97-2003 files through the
// database driver, one INSERT per row, and Excel workbooks through the
// spreadsheet program's automation, one array put into one range.

// The rows to write. Sent items have three columns (number, message, date),
// the recipient list two (number, message).
struct SpreadsheetTable
{
    QStringList captions;    // the workbook's row 1
    QList<QStringList> rows; // each with captions.size() texts
    bool hasDates() const { return captions.size() > 2; }
};

struct SpreadsheetResult
{
    enum class Status
    {
        Written,
        Failed,
        ProgramMissing,
        ProgramNotRegistered
    } status = Status::Written;
    QString detail; // the driver's or the program's error, for the log
};

inline constexpr int kRowsPerSheet = 65535;
inline constexpr int kMaxCellText = 32767;

// "`Sheet1`" for the first sheet, "Sheet2", "Sheet3"... after it.
QString sheetName(int index);
// Single quotes doubled.
QString sqlQuoted(const QString& value);
QString createTableStatement(const QString& sheet, bool withDates);
QString insertStatement(const QString& sheet, const QStringList& values);
QString excelConnectionString(const QString& path);

// A text cut to what a cell holds, never in the middle of a surrogate pair.
QString cutToCell(const QString& text);
// A text as an Excel 97-2003 cell holds it: cut to the cell, and each unpaired
// surrogate, which is no character and which readers refuse, as U+FFFD.
QString xlsCellText(const QString& text);

// Cell texts put into the workbook: a leading apostrophe keeps a text from
// being taken as a number, date or formula.
QString numberCellText(const QString& number); // digits-only numbers up to 15 digits without a leading 0 stay numbers
QString messageCellText(const QString& message);
QString dateCellText(const QString& date);

// Writes the file at path (which the caller has made free to use).
SpreadsheetResult writeXlsFile(const QString& path, const SpreadsheetTable& table);
// Fills one workbook and saves it at path. The spreadsheet program is
// started and ended on the calling thread.
SpreadsheetResult writeXlsxFile(const QString& path, const SpreadsheetTable& table);
