#include "ExportCommands.h"

#include "CExport_Option.h"
#include "COpen_Export_Log.h"
#include "export/ExportJob.h"

#include "app/controls/GuiThread.h"
#include "app/controls/Ui.h"
#include "app/core/RecipientListModel.h"
#include "import/dialogs/ShowExcelError.h"
#include "platform/FileAccess.h"
#include "platform/Shell.h"
#include "app/controls/WaitDialogs.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <functional>
#include <optional>

namespace {

const QString kCapacityQuestion =
    QStringLiteral("Number of rows in table is greater than the capacity of MS Excel worksheet so remaining rows "
                   "convert in new worksheet of same MS Excel File.\n\nAre you sure you want to continue?");

// The file types as the save dialog lists them, "Description|pattern|...||".
const QString kTextFilter = QStringLiteral("Text Files(*.txt)|*.txt||");
const QString kHtmlFilter = QStringLiteral("Html Files(*.html)|*.html||");
const QString kXlsFilter = QStringLiteral("Excel(97-2003) Files(*.xls)|*.xls||");
const QString kXlsxFilter = QStringLiteral("Excel Files(*.xlsx)|*.xlsx||");
const QString kRecipientFilter = QStringLiteral("Excel(97-2003) Files(*.xls)|*.xls|Excel Files(*.xlsx)|*.xlsx||");

// "A(*.a)|*.a|B(*.b)|*.b||" as Qt's "A(*.a);;B(*.b)".
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList types;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        types.append(parts[i].contains(parts[i + 1]) ? parts[i]
                                                     : parts[i] + QStringLiteral(" (") + parts[i + 1] + u')');
    return types.join(QStringLiteral(";;"));
}

QString filterFor(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Text:
        return kTextFilter;
    case ExportFormat::Html:
        return kHtmlFilter;
    case ExportFormat::Xls:
        return kXlsFilter;
    case ExportFormat::Xlsx:
        return kXlsxFilter;
    }
    return {};
}

// The name the export writes: the format's extension appended when missing.
// The dialog asked about replacing the name as chosen; a name that grew an
// extension is asked about here. Nothing when the user stops, or when the
// file exists and is held by another program.
std::optional<QString> finalName(QWidget* owner, const QString& chosen, ExportFormat format)
{
    const QString path = withFormatExtension(chosen, format);
    if (path != chosen && QFileInfo::exists(path) &&
        Ui::messageBox(owner,
                       QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName()),
                       QStringLiteral("Confirm Save As"), Ui::Buttons::YesNo, Ui::Icon::Warning) != Ui::IdYes)
        return std::nullopt;
    if (!isFileFreeForWriting(path)) {
        Ui::notice(owner, QStringLiteral("Error in file accessing."));
        return std::nullopt;
    }
    return path;
}

// The save dialog opens where the last export went, for this program run.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

QString chooseFile(QWidget* owner, const QString& filter, int* type = nullptr)
{
    const QString name = Ui::getSaveFileName(owner, QStringLiteral("Save As"), lastFolder(), qtFilter(filter), type);
    if (!name.isEmpty())
        lastFolder() = QFileInfo(name).absolutePath();
    return name;
}

class WindowExportHost : public ExportHost
{
public:
    explicit WindowExportHost(QWidget* owner) : m_owner(owner) {}
    void showExcelError(const QString& text) override
    {
        // The owner is looked at on its own thread; a window gone meanwhile owns no box.
        QWidget* owner = onGuiThread([this] { return m_owner.data(); });
        ShowExcelError(owner, text);
    }

private:
    QPointer<QWidget> m_owner;
};

// Runs the writing on a worker thread of highest priority with the owner
// disabled behind the wait window, and returns when it is done; events keep
// flowing meanwhile, so questions from the worker can be answered. Nothing
// when the owner went away meanwhile (nothing is left to report to).
template <class WaitWindow>
std::optional<ExportOutcome> runBehindWaitWindow(QWidget* owner, const std::function<ExportOutcome(ExportHost&)>& work)
{
    static bool running = false;
    if (running)
        return std::nullopt;
    running = true;
    QPointer<QWidget> guard(owner);
    auto* wait = new WaitWindow(owner);
    wait->setAttribute(Qt::WA_DeleteOnClose);
    owner->setEnabled(false);
    wait->setEnabled(true); // a window of its own: not greyed with its owner
    wait->showCentred();

    ExportOutcome outcome;
    WindowExportHost host(owner);
    QEventLoop loop;
    QThread* thread = QThread::create([&] { outcome = work(host); });
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start(QThread::HighestPriority);
    loop.exec();
    thread->wait();
    delete thread;

    running = false;
    if (!guard)
        return std::nullopt;
    wait->close();
    owner->setEnabled(true);
    return outcome;
}

void reportOutcome(QWidget* owner, const ExportOutcome& outcome, const QString& success, const QString& path)
{
    switch (outcome.status) {
    case ExportOutcome::Status::Exported: {
        COpen_Export_Log done(owner, success);
        if (done.exec() == QDialog::Accepted && done.openRequested() && !Shell::instance().openFile(path))
            Ui::notice(owner, QStringLiteral("No program could be started to open the file.\n\nIt is saved as:\n%1")
                                  .arg(QDir::toNativeSeparators(path)));
        break;
    }
    case ExportOutcome::Status::NoRecord:
        Ui::notice(owner, QStringLiteral("There is no record for selected duration."));
        break;
    case ExportOutcome::Status::FileError:
        Ui::notice(owner, QStringLiteral("Error in file."));
        break;
    case ExportOutcome::Status::ExcelError:
        break;
    }
}

} // namespace

void ExportSentItems(QWidget* owner, const QList<DataFiles::SentItem>& rows)
{
    if (rows.isEmpty()) {
        Ui::notice(owner, QStringLiteral("Sent items list is empty."));
        return;
    }
    CExport_Option options(owner, rows);
    if (options.exec() != QDialog::Accepted)
        return;
    const ExportFormat format = options.format();
    const ExportDateRange range = options.range();

    const QString chosen = chooseFile(owner, filterFor(format));
    if (chosen.isEmpty())
        return;
    const auto path = finalName(owner, chosen, format);
    if (!path)
        return;
    if (format == ExportFormat::Xls && rows.size() > 65535 && !Ui::confirm(owner, kCapacityQuestion))
        return;

    const auto outcome = runBehindWaitWindow<CAddSentItem>(
        owner, [&](ExportHost& host) { return exportSentItemsTo(*path, format, rows, range, host); });
    if (outcome)
        reportOutcome(owner, *outcome, QStringLiteral("Sent Items has been exported successfully."), *path);
}

void ExportRecipientList(QWidget* owner, const RecipientListModel& recipients)
{
    if (recipients.count() == 0) {
        Ui::notice(owner, QStringLiteral("Phone numbers-Messages list is empty."));
        return;
    }
    int type = 0;
    const QString chosen = chooseFile(owner, kRecipientFilter, &type);
    if (chosen.isEmpty())
        return;
    const ExportFormat format = type == 1 ? ExportFormat::Xlsx : ExportFormat::Xls;
    const auto path = finalName(owner, chosen, format);
    if (!path)
        return;
    const QList<RecipientListModel::Row> rows = recipients.rows();
    if (format == ExportFormat::Xls && rows.size() > 65535 && !Ui::confirm(owner, kCapacityQuestion))
        return;
    const QStringList captions = {recipients.headerData(0, Qt::Horizontal).toString(),
                                  recipients.headerData(1, Qt::Horizontal).toString()};

    const auto outcome = runBehindWaitWindow<CPlease_Wail_Modeless>(
        owner, [&](ExportHost& host) { return exportRecipientsTo(*path, format, rows, captions, host); });
    if (outcome)
        reportOutcome(owner, *outcome, QStringLiteral("Recipient Number List has been exported successfully."), *path);
}
