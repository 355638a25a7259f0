#pragma once

#include "ExportTypes.h"

#include "app/core/RecipientListModel.h"
#include "store/DataFiles.h"

#include <QList>

#include <chrono>

// The part of an export that runs on its worker thread: write the chosen
// file and say how it went. The choice of the file, the questions and the
// result dialogs belong to the commands (ExportCommands.h).

// What an export asks of the window that started it, from the export thread.
class ExportHost
{
public:
    virtual ~ExportHost() = default;
    // The "Excel Error" box with the thread's last error.
    virtual void showExcelError(const QString& text) = 0;
};

struct ExportOutcome
{
    enum class Status
    {
        Exported,
        NoRecord,   // no sent item in the range: nothing was written
        FileError,  // "Error in file."
        ExcelError, // already reported through ExportHost::showExcelError
    } status = Status::Exported;
    QString detail; // why it failed, for the log
};

// The sent items in the range, in list order (unreadable dates left out).
QList<DataFiles::SentItem> sentItemsInRange(const QList<DataFiles::SentItem>& rows, const ExportDateRange& range);

ExportOutcome exportSentItemsTo(const QString& path, ExportFormat format, const QList<DataFiles::SentItem>& rows,
                                const ExportDateRange& range, ExportHost& host);
// Only the spreadsheet formats; captions are the list's first two column captions.
ExportOutcome exportRecipientsTo(const QString& path, ExportFormat format, const QList<RecipientListModel::Row>& rows,
                                 const QStringList& captions, ExportHost& host);

// The report exports keep the wait window up at least this long (default one
// second); tests shorten it.
void setReportPause(std::chrono::milliseconds pause);
