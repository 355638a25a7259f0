#include "ImportCommands.h"

#include "CDynamic_Excel_Msg.h"
#include "CExcel_Info_Dlg.h"
#include "CLoad_File_Msg.h"
#include "WidgetExcelUi.h"
#include "app/core/CommandHost.h"
#include "app/controls/GuiThread.h"
#include "app/controls/Ui.h"
#include "app/core/RecipientListModel.h"
#include "import/ContactImport.h"
#include "import/ExcelReader.h"
#include "import/WorkbookTables.h"
#include "app/controls/WaitDialogs.h"

#include <QWidget>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

using namespace ContactImport;

namespace {

const QString kImporting = QStringLiteral("Importing contacts from file, Please wait ...");
// Rows go to the list at most this often, or when this many are waiting.
constexpr int kBlockMs = 40;
constexpr int kBlockRows = 4096;

} // namespace

const QString ImportCommands::kContactsFilter = QStringLiteral(
    "Text & Excel Files(*.txt;*.xls;*.xlsx) (*.txt *.xls *.xlsx *.csv *.ods *.TXT *.XLS *.XLSX *.CSV *.ODS)");

// What one import carries between the GUI thread and its worker.
struct ImportCommands::Run
{
    Run(ImportSwitches switches, NumberIndex list, NumberIndex exclusions)
        : rows(switches, std::move(list), std::move(exclusions))
    {
    }
    RowStep rows;
    int position = 0; // where the next block goes
    QElapsedTimer sincePost;
};

ImportCommands::ImportCommands(CommandHost* host)
    : QObject(host->commandWindow()), m_host(host), m_window(host->commandWindow())
{
    m_importTimer = new QTimer(this);
    m_importTimer->setObjectName(QStringLiteral("123456"));
    m_importTimer->setInterval(500);
    connect(m_importTimer, &QTimer::timeout, this, &ImportCommands::onImportTimer);
    host->provideCommand(CommandHost::Command::LoadContacts, this, [this] { OnLoadContactsFromFile(); });
    host->provideCommand(CommandHost::Command::DynamicMessages, this, [this] { OnDynamicMessages(); });
}

ImportCommands::~ImportCommands()
{
    // The worker may be waiting for the GUI thread: keep serving it until it ends.
    if (m_worker) {
        while (!m_worker->wait(10))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        delete m_worker;
    }
    delete m_wait;
}

void ImportCommands::OnLoadContactsFromFile()
{
    if (!m_window || m_worker)
        return;
    CommandHost* main = m_host;
    main->UpdateTotalNumbers();
    main->focusNumber();
    m_message = main->takeComposedMessage();

    // A Yes empties the list only when the first new row goes in, so a cancelled
    // or refused import leaves the list as it was.
    const CLoad_File_Msg::Answer answer = CLoad_File_Msg::ask(m_window, main->recipients()->count());
    if (answer == CLoad_File_Msg::Cancelled)
        return;
    m_clearPending = answer == CLoad_File_Msg::ClearList;
    if (m_clearPending) {
        main->setAddEnabled(true);
        main->setUpdateEnabled(false);
    }
    main->setRowsBeforeImport(m_clearPending ? 0 : main->recipients()->count());
    ResetWorkbookTables();

    auto run = std::make_shared<Run>(ImportSwitches{main->skipDuplicates(), main->useExclusionRules()},
                                     m_clearPending ? NumberIndex() : main->recipients()->numbers(),
                                     main->exclusionIndex());
    if (!m_wait)
        m_wait = new CAddSentItem(m_window);
    m_wait->setText(kImporting);
    m_wait->hide();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_worker = QThread::create([this, run] { LoadContactsWorker(*run); });
    connect(m_worker, &QThread::finished, this, [this] {
        m_worker->deleteLater();
        m_worker = nullptr;
        emit importFinished();
    });
    m_worker->start();
}

void ImportCommands::post(Run& run, bool force)
{
    if (!run.rows.hasAccepted() ||
        (!force && run.sincePost.elapsed() < kBlockMs && run.rows.acceptedWaiting() < kBlockRows))
        return;
    QList<RecipientListModel::Row> block;
    for (const QString& number : run.rows.takeAccepted())
        block.append({number, m_message});
    const int position = run.position;
    run.position += int(block.size());
    QMetaObject::invokeMethod(this, [this, position, block] { insertRows(position, block); }, Qt::QueuedConnection);
    run.sincePost.restart();
}

void ImportCommands::finish(Run& run, bool reportNoRows, const QString& notice)
{
    post(run, true);
    if (run.position > 0) {
        QMetaObject::invokeMethod(
            this, [this, index = run.rows.takeListIndex()]() mutable { adoptIndex(std::move(index)); },
            Qt::QueuedConnection);
    }
    const int added = run.rows.added();
    QMetaObject::invokeMethod(
        this, [this, reportNoRows, added, notice] { endImport(reportNoRows, added, notice); }, Qt::QueuedConnection);
}

void ImportCommands::LoadContactsWorker(Run& run)
{
    const QString path = Ui::getOpenFileName(m_window, QString(), QString(), kContactsFilter);
    if (path.isEmpty())
        return finish(run, false);
    onGuiThread([this] {
        if (m_window)
            m_host->bringToFront();
    });
    switch (classify(path)) {
    case FileKind::Missing:
        finish(run, false);
        Ui::messageBox(m_window, QStringLiteral("File does not exist on selected location."), QStringLiteral("Warning"),
                       Ui::Buttons::Ok, Ui::Icon::Warning);
        return;
    case FileKind::NotSupported:
        finish(run, false);
        Ui::notice(m_window, QStringLiteral("Please select a valid file."));
        return;
    case FileKind::Text:
        ReadTextContacts(run, path);
        return;
    case FileKind::Spreadsheet:
        ReadExcelContacts(run, path);
        return;
    }
}

void ImportCommands::ReadTextContacts(Run& run, const QString& path)
{
    QString reason;
    QFile file(path);
    const TextCheck check = checkTextFile(path, &reason);
    if (check == TextCheck::Ok && !file.open(QIODevice::ReadOnly))
        reason = file.errorString();
    if (check != TextCheck::Ok || !file.isOpen()) {
        finish(run, false);
        if (check == TextCheck::NotAnsi)
            Ui::notice(m_window, QStringLiteral("Please select the ANSI encoded text file."));
        else if (check == TextCheck::Empty)
            Ui::notice(m_window, QStringLiteral("File is empty."));
        else
            Ui::messageBox(m_window, QStringLiteral("The selected file cannot be read.\n%1").arg(reason),
                           QStringLiteral("Warning"), Ui::Buttons::Ok, Ui::Icon::Warning);
        return;
    }
    onGuiThread([this] { beginReading(); });
    run.sincePost.start();
    ReadTextTokens(file, [&](int, const QString& token, bool tooLong) {
        if (!tooLong)
            run.rows.offer(token);
        post(run, false);
        return true;
    });
    finish(run, true);
}

void ImportCommands::ReadExcelContacts(Run& run, const QString& path)
{
    WidgetExcelUi ui(m_window);
    ExcelReader reader(ui);
    try {
        if (!reader.StartExcel() || !reader.OpenWorkbook(path))
            return finish(run, false);
        reader.ListSheetNames();
        const int choice = onGuiThread([&] {
            if (!m_window)
                return int(QDialog::Rejected);
            QApplication::restoreOverrideCursor();
            CExcel_Info_Dlg dialog(m_window, path);
            const int result = dialog.exec();
            QApplication::setOverrideCursor(Qt::WaitCursor);
            return result;
        });
        if (choice != QDialog::Accepted) {
            reader.EndExcel();
            return finish(run, false);
        }
        onGuiThread([this] { beginReading(); });
        // No range was reported by the reader; an empty sheet was refused by the sheet dialog.
        if (!reader.SelectWorksheet(g_nSelectedSheet) || reader.LoadUsedGrid() != ExcelReader::Grid::Cells) {
            reader.EndExcel();
            return finish(run, false);
        }
        run.sincePost.start();
        ReadSheetColumns(reader, g_arrColumnSelected, [&](int, int, const QString& text) {
            run.rows.offer(text);
            post(run, false);
            return true;
        });
        const SkippedFormulas skipped =
            FindSkippedFormulas(reader, g_arrColumnSelected, ReadingOrder::ColumnByColumn, reader.rows());
        reader.EndExcel();
        finish(run, true, SkippedFormulasNotice(skipped));
    } catch (const ExcelAutomationError&) {
        // Rows added before the failure stay.
        finish(run, false);
        ui.excelError(kReadingDiscarded);
        reader.EndExcel();
    }
}

void ImportCommands::beginReading()
{
    if (!m_window)
        return;
    m_importTimer->start();
    m_host->setWindowEnabled(false);
    m_wait->setText(kImporting);
    m_wait->showCentred();
}

void ImportCommands::insertRows(int position, const QList<RecipientListModel::Row>& rows)
{
    if (!m_window)
        return;
    RecipientListModel* model = m_host->recipients();
    if (m_clearPending) {
        m_clearPending = false;
        model->clear();
    }
    model->insertRecipientsUnindexed(position, rows);
}

void ImportCommands::adoptIndex(NumberIndex index)
{
    if (m_window)
        m_host->recipients()->adoptIndex(std::move(index));
}

void ImportCommands::OnDynamicMessages()
{
    if (!m_window || m_worker)
        return;
    CommandHost* main = m_host;
    const CLoad_File_Msg::Answer answer = CLoad_File_Msg::ask(m_window, main->recipients()->count());
    if (answer == CLoad_File_Msg::Cancelled)
        return;
    // As for Load Contacts: a Yes empties the list only when the first row goes in.
    m_clearPending = answer == CLoad_File_Msg::ClearList;
    main->setRowsBeforeImport(m_clearPending ? 0 : main->recipients()->count());

    CDynamic_Excel_Msg::Host host;
    host.newRowStep = [this] {
        return RowStep(ImportSwitches{m_host->skipDuplicates(), m_host->useExclusionRules()},
                       m_clearPending ? NumberIndex() : m_host->recipients()->numbers(),
                       m_host->exclusionIndex());
    };
    host.insertRows = [this](int position, const QList<RecipientListModel::Row>& rows) { insertRows(position, rows); };
    host.adoptIndex = [this](NumberIndex index) { adoptIndex(std::move(index)); };
    host.importTimer = [this](bool running) {
        if (running)
            m_importTimer->start();
        else
            m_importTimer->stop();
    };
    {
        CDynamic_Excel_Msg wizard(main, host);
        wizard.run();
    }
    m_clearPending = false;
    if (m_window)
        m_host->UpdateTotalNumbers();
}

void ImportCommands::endImport(bool showNoRowsWhenNothingAdded, int added, const QString& notice)
{
    m_clearPending = false;
    m_importTimer->stop();
    QApplication::restoreOverrideCursor();
    if (m_window) {
        m_host->UpdateTotalNumbers();
        m_host->setWindowEnabled(true);
    }
    if (m_wait)
        m_wait->hide();
    if (showNoRowsWhenNothingAdded && added == 0 && m_window)
        Ui::notice(m_window, kNoRowsMessage);
    if (!notice.isEmpty() && m_window)
        Ui::notice(m_window, notice);
}

void ImportCommands::onImportTimer()
{
    if (m_wait && m_wait->isVisible())
        m_wait->setText(kImporting);
    if (m_window)
        m_host->UpdateTotalNumbers();
}
