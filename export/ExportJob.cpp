#include "ExportJob.h"

#include "ExportFile.h"
#include "ReportWriters.h"
#include "SpreadsheetWriters.h"

#include <QFile>
#include <QLoggingCategory>
#include <QThread>

#include <atomic>

Q_LOGGING_CATEGORY(lcExport, "veva.export")

namespace {

std::atomic<std::chrono::milliseconds::rep> g_pauseMs{1000};

using Status = ExportOutcome::Status;

ExportOutcome fileError(const QString& path, const QString& why)
{
    qCWarning(lcExport, "export to %s failed: %s", qPrintable(path), qPrintable(why));
    return {Status::FileError, why};
}

ExportOutcome writeReport(const QString& path, ExportFormat format, const QList<DataFiles::SentItem>& rows,
                          const ExportDateRange& range)
{
    QString why;
    const auto target = ExportFile::create(path, &why);
    if (!target)
        return fileError(path, why);
    QThread::msleep(static_cast<unsigned long>(g_pauseMs.load()));

    const QList<DataFiles::SentItem> inRange = sentItemsInRange(rows, range);
    QFile file(target->tempPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fileError(path, file.errorString());
    bool written =
        format == ExportFormat::Html ? writeHtmlReport(file, inRange, range) : writeTextReport(file, inRange, range);
    written = file.flush() && written;
    file.close();
    if (!written || file.error() != QFileDevice::NoError)
        return fileError(path, file.errorString());
    if (inRange.isEmpty())
        return {Status::NoRecord, {}};
    if (const QString failed = target->commit(); !failed.isEmpty())
        return fileError(path, failed);
    return {};
}

ExportOutcome writeSpreadsheet(const QString& path, ExportFormat format, const SpreadsheetTable& table,
                               ExportHost& host)
{
    QString why;
    const auto target = ExportFile::create(path, &why);
    if (!target)
        return fileError(path, why);
    const SpreadsheetResult result = format == ExportFormat::Xls ? writeXlsFile(target->tempPath(), table)
                                                                 : writeXlsxFile(target->tempPath(), table);
    switch (result.status) {
    case SpreadsheetResult::Status::Written:
        break;
    case SpreadsheetResult::Status::ProgramMissing:
        host.showExcelError(QStringLiteral("Microsoft Excel must be installed to use this feature."));
        return {Status::ExcelError, {}};
    case SpreadsheetResult::Status::ProgramNotRegistered:
        host.showExcelError(QStringLiteral("Excel not registered properly."));
        return {Status::ExcelError, {}};
    case SpreadsheetResult::Status::Failed:
        return fileError(path, result.detail);
    }
    if (const QString failed = target->commit(); !failed.isEmpty())
        return fileError(path, failed);
    return {};
}

} // namespace

QList<DataFiles::SentItem> sentItemsInRange(const QList<DataFiles::SentItem>& rows, const ExportDateRange& range)
{
    QList<DataFiles::SentItem> out;
    for (const DataFiles::SentItem& row : rows) {
        const auto date = readLogDate(row.date);
        if (date && range.contains(*date))
            out.append(row);
    }
    return out;
}

ExportOutcome exportSentItemsTo(const QString& path, ExportFormat format, const QList<DataFiles::SentItem>& rows,
                                const ExportDateRange& range, ExportHost& host)
{
    if (format == ExportFormat::Text || format == ExportFormat::Html)
        return writeReport(path, format, rows, range);
    SpreadsheetTable table;
    table.captions = {QStringLiteral("Number"), QStringLiteral("Message"), QStringLiteral("Date")};
    for (const DataFiles::SentItem& row : sentItemsInRange(rows, range))
        table.rows.append({row.number, row.message, row.date});
    if (table.rows.isEmpty())
        return {Status::NoRecord, {}};
    return writeSpreadsheet(path, format, table, host);
}

ExportOutcome exportRecipientsTo(const QString& path, ExportFormat format, const QList<RecipientListModel::Row>& rows,
                                 const QStringList& captions, ExportHost& host)
{
    Q_ASSERT(format == ExportFormat::Xls || format == ExportFormat::Xlsx);
    SpreadsheetTable table;
    table.captions = captions.mid(0, 2);
    table.rows.reserve(rows.size());
    for (const RecipientListModel::Row& row : rows)
        table.rows.append({row.number, row.message});
    return writeSpreadsheet(path, format, table, host);
}

void setReportPause(std::chrono::milliseconds pause)
{
    g_pauseMs = pause.count();
}
