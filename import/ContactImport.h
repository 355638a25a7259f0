#pragma once

#include "app/core/NumberRules.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>

class ExcelReader;

// What "Load Contacts From File" does with a file, without any window: the
// window's worker and the command-line preview both run exactly this.
namespace ContactImport {

enum class FileKind { Missing, NotSupported, Text, Spreadsheet };
// By existence and extension (txt, or one of Workbook::isSpreadsheetExtension; letter case ignored).
FileKind classify(const QString& path);

// The checks of a text contact file before it is read.
enum class TextCheck { Ok, Unreadable, NotAnsi, Empty };
TextCheck checkTextFile(const QString& path, QString* reason = nullptr);

// The longest token kept; a longer run of bytes without a separator is dropped.
inline constexpr int kMaxTokenBytes = 1024;

// Splits single-byte contact text into tokens: a comma, CR or LF ends a token,
// spaces vanish wherever they stand, empty tokens are skipped. Bytes are read
// in blocks; `token` gets each token in file order, numbered from 1, decoded
// from the ANSI code page. A dropped over-long token comes with `tooLong` set
// and its first kMaxTokenBytes bytes. Returning false from `token` stops the
// reading. Returns false when the device failed to read.
bool ReadTextTokens(QIODevice& device, const std::function<bool(int number, const QString& token, bool tooLong)>& token);

// The row step: every candidate passes the number rules against the list as it
// grows during the import; accepted numbers collect until taken.
class RowStep
{
public:
    RowStep() = default;
    RowStep(ImportSwitches switches, NumberIndex listNumbers, NumberIndex exclusions);

    ImportVerdict offer(const QString& raw);
    int added() const { return m_added; }
    // The numbers accepted since the last call, in order.
    QStringList takeAccepted();
    bool hasAccepted() const { return !m_pending.isEmpty(); }
    int acceptedWaiting() const { return int(m_pending.size()); }
    // The list's numbers as they stand after the accepted ones went in.
    NumberIndex takeListIndex() { return std::move(m_list); }

private:
    ImportSwitches m_switches;
    NumberIndex m_list;
    NumberIndex m_exclusions;
    QStringList m_pending;
    int m_added = 0;
};

// The candidates of the checked columns of the selected sheet, column by
// column, each from top to bottom. Cells without text are passed over (they
// could add nothing); cells that cannot be converted come as empty text. `columns` holds one
// entry per column of the range, 1 for a checked one. Throws what the reader
// throws. `cell` may return false to stop.
void ReadSheetColumns(const ExcelReader& reader, const QList<int>& columns,
                      const std::function<bool(int row, int col, const QString& text)>& cell);

// Cells of the read columns holding a formula the file keeps without its
// result (written by a program that leaves computing to the spreadsheet): the
// import reads them as empty. `first` names the first one read ("Sheet1!B7").
struct SkippedFormulas
{
    int count = 0;
    QString first;
};
enum class ReadingOrder
{
    ColumnByColumn,
    RowByRow
};
// `columns` as for ReadSheetColumns; rows of the range past `lastRow` are not read.
SkippedFormulas FindSkippedFormulas(const ExcelReader& reader, const QList<int>& columns, ReadingOrder order,
                                    int lastRow);
// What the window says after such an import; empty when none was skipped.
QString SkippedFormulasNotice(const SkippedFormulas& skipped);

inline const QString kNoRowsMessage = QStringLiteral(
    "Either file is corrupted or selected file contains invalid characters.\n\nOR\n\nRecipient number is skipped "
    "because of using 'Skip Duplicate Numbers' or 'Exclusion List' option.");

} // namespace ContactImport
