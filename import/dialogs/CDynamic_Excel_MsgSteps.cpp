// The wizard's worker-thread steps: the column headings, and the rows read into the list.
#include "CDynamic_Excel_Msg.h"

#include "CLoad_Xl_SMS_Modeless.h"
#include "WidgetExcelUi.h"
#include "app/core/CommandHost.h"
#include "app/controls/GuiThread.h"
#include "app/controls/WaitDialogs.h"
#include "import/DynamicMessages.h"
#include "import/ExcelReader.h"
#include "import/WorkbookTables.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QThread>

using namespace DynamicMessages;

namespace {

// Progress updates go to the window at most this often; the last row always does.
constexpr int kProgressMs = 20;
// Rows go to the list at most this often, or when this many are waiting.
constexpr int kBlockMs = 40;
constexpr int kBlockRows = 4096;

} // namespace

// The rows a read has accepted and not yet handed to the list.
struct CDynamic_Excel_Msg::Rows
{
    QList<RecipientListModel::Row> pending;
    int position = 0;
    QElapsedTimer sincePost;
};

void CDynamic_Excel_Msg::runStep(std::function<int()> step, std::function<void(int)> done)
{
    QPointer<CDynamic_Excel_Msg> self(this);
    m_thread = QThread::create([self, step = std::move(step), done = std::move(done)] {
        const int result = step();
        QMetaObject::invokeMethod(
            qApp,
            [self, done, result] {
                if (!self)
                    return;
                if (self->m_thread) {
                    self->m_thread->wait();
                    delete self->m_thread;
                    self->m_thread = nullptr;
                }
                if (self->m_main)
                    self->m_commandHost->setWindowEnabled(true);
                self->setEnabled(true);
                QApplication::restoreOverrideCursor();
                done(result);
                emit self->stepFinished();
            },
            Qt::QueuedConnection);
    });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_thread->start();
}

int CDynamic_Excel_Msg::ReadColumnHeaders()
{
    g_nSelectedSheet = 1;
    onGuiThread([this] {
        if (!m_pWaitWnd)
            m_pWaitWnd = new CPlease_Wail_Modeless(this);
        m_pWaitWnd->m_strText = QStringLiteral("It may take a while, Please wait...");
        m_pWaitWnd->showCentred();
        setEnabled(false);
    });
    auto endWait = [this] {
        onGuiThread([this] {
            if (m_pWaitWnd)
                m_pWaitWnd->hide();
            setEnabled(true);
        });
    };
    WidgetExcelUi ui(this);
    ExcelReader reader(ui);
    try {
        if (!reader.StartExcel() || !reader.OpenWorkbook(m_strFilePath) || !reader.SelectWorksheet(1)) {
            reader.EndExcel();
            endWait();
            return 0;
        }
        const ExcelReader::Grid grid = reader.LoadUsedGrid();
        if (grid != ExcelReader::Grid::Cells) {
            if (grid == ExcelReader::Grid::Empty)
                ui.notice(QStringLiteral("Excel sheet is empty."));
            reader.EndExcel();
            endWait();
            return 0;
        }
        struct Entry
        {
            QString caption;
            int column;
        };
        QList<Entry> entries;
        int untitled = 0;
        for (int col = 1; col <= qMin(reader.cols(), kMaxPlaceholderColumn); ++col) {
            const std::optional<QString> text = reader.ReadCellText(1, col);
            if (!text) {
                // A heading that cannot be read lists nothing; the wizard may be used meanwhile.
                endWait();
                continue;
            }
            entries.append({!text->isEmpty() ? *text : QStringLiteral("Untitled Column %1").arg(++untitled), col});
        }
        reader.EndExcel();
        onGuiThread([this, entries] {
            m_columns->setRowCount(0);
            for (const Entry& e : entries) {
                const int row = m_columns->rowCount();
                m_columns->insertRow(row);
                m_columns->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
                m_columns->setItem(row, 1, new QTableWidgetItem(e.caption));
                m_columns->setItem(row, 2, new QTableWidgetItem(Placeholder(e.column)));
            }
            m_columns->setAccessibleName(QStringLiteral("Columns: %1").arg(m_columns->rowCount()));
        });
        endWait();
        return 1;
    } catch (const ExcelAutomationError&) {
        ui.excelError(kReadingDiscarded);
        endWait();
        reader.EndExcel();
        return 0;
    }
}

int CDynamic_Excel_Msg::ImportNumbersAndMessages()
{
    return readRows(false);
}

int CDynamic_Excel_Msg::ComposeDynamicMessages()
{
    return readRows(true);
}

int CDynamic_Excel_Msg::readRows(bool dynamic)
{
    onGuiThread([this] {
        if (!m_pWaitWnd)
            m_pWaitWnd = new CPlease_Wail_Modeless(this);
        m_pWaitWnd->m_strText = QStringLiteral("It may take a while, Please wait...");
        m_pWaitWnd->showCentred();
        setEnabled(false);
        m_pProgressWnd->setEnabled(false);
    });
    auto fail = [this] {
        onGuiThread([this] {
            setEnabled(true);
            if (m_pWaitWnd)
                m_pWaitWnd->hide();
            m_pProgressWnd->hide();
        });
        return 0;
    };
    WidgetExcelUi mainUi(m_main);
    WidgetExcelUi wizardUi(this);
    ExcelReader reader(mainUi);
    Rows rows;
    ContactImport::RowStep step = onGuiThread([this] { return m_host.newRowStep(); });
    auto post = [&](bool force) {
        if (rows.pending.isEmpty() ||
            (!force && rows.sincePost.elapsed() < kBlockMs && rows.pending.size() < kBlockRows))
            return;
        const QList<RecipientListModel::Row> block = std::exchange(rows.pending, {});
        const int position = rows.position;
        rows.position += int(block.size());
        QMetaObject::invokeMethod(
            this, [this, position, block] { m_host.insertRows(position, block); }, Qt::QueuedConnection);
        rows.sincePost.restart();
    };
    // Every end of the read: the last rows, then the list's new number index.
    auto handOver = [&] {
        post(true);
        if (rows.position > 0 && m_host.adoptIndex) {
            QMetaObject::invokeMethod(
                this, [this, index = step.takeListIndex()]() mutable { m_host.adoptIndex(std::move(index)); },
                Qt::QueuedConnection);
        }
    };
    try {
        if (!reader.StartExcel() || !reader.OpenWorkbook(m_strFilePath) || !reader.SelectWorksheet(1)) {
            reader.EndExcel();
            return fail();
        }
        g_nSelectedSheet = 1;
        const ExcelReader::Grid grid = reader.LoadUsedGrid();
        if (grid != ExcelReader::Grid::Cells) {
            if (grid == ExcelReader::Grid::Empty)
                wizardUi.notice(QStringLiteral("Excel sheet is empty."));
            reader.EndExcel();
            return fail();
        }
        const int total = qMin(reader.rows(), kMaxRows);
        const int cols = reader.cols();
        onGuiThread([this, total] {
            if (m_pWaitWnd)
                m_pWaitWnd->hide();
            m_pProgressWnd->start(total);
            m_pProgressWnd->show();
            m_pProgressWnd->raise();
            // Only the reading window stays in sight; the window behind waits disabled.
            hide();
            if (m_main)
                m_commandHost->setWindowEnabled(false);
        });
        QElapsedTimer sinceProgress;
        sinceProgress.start();
        rows.sincePost.start();
        const QString messageTemplate = m_strTemplate;
        for (int t = 1; t <= total; ++t) {
            std::optional<QString> raw = reader.ReadCellText(t, 1);
            QString message;
            if (dynamic) {
                if (!raw)
                    throw ExcelAutomationError{QStringLiteral("A cell's value cannot be read as text.")};
                const std::optional<QString> composed =
                    Compose(messageTemplate, *raw, cols, [&](int k) { return reader.ReadCellText(t, k); });
                if (!composed)
                    throw ExcelAutomationError{QStringLiteral("A cell's value cannot be read as text.")};
                message = *composed;
            } else {
                // Cells beyond the used range are empty; values that cannot be converted read as empty.
                message = cols >= 2 ? reader.ReadCellText(t, 2).value_or(QString()) : QString();
            }
            const QString rawText = raw.value_or(QString());
            const ImportVerdict verdict = step.offer(rawText);
            const bool added = verdict.outcome == ImportOutcome::Added;
            const QString stored = CutMessage(message);
            if (added)
                rows.pending.append({verdict.number, stored});
            if (t == total || sinceProgress.elapsed() >= kProgressMs) {
                const QString shownNumber = added ? verdict.number : rawText;
                QMetaObject::invokeMethod(
                    this,
                    [this, t, total, shownNumber, message] {
                        if (m_pProgressWnd)
                            m_pProgressWnd->showRow(t, total, shownNumber, message);
                    },
                    Qt::QueuedConnection);
                sinceProgress.restart();
            }
            post(false);
        }
        handOver();
        // The columns this mode reads: the number and the message, or every column a placeholder can name.
        const QList<int> used(qMin(cols, dynamic ? kMaxPlaceholderColumn : 2), 1);
        const QString skipped = ContactImport::SkippedFormulasNotice(
            ContactImport::FindSkippedFormulas(reader, used, ContactImport::ReadingOrder::RowByRow, total));
        reader.EndExcel();
        if (step.added() == 0) {
            onGuiThread([this] {
                m_pProgressWnd->hide();
                if (m_main)
                    m_commandHost->UpdateTotalNumbers();
                show();
            });
            wizardUi.notice(ContactImport::kNoRowsMessage);
            if (!skipped.isEmpty())
                wizardUi.notice(skipped);
            return 0;
        }
        onGuiThread([this] {
            if (m_main)
                m_commandHost->UpdateTotalNumbers();
            m_pProgressWnd->hide();
        });
        if (!skipped.isEmpty())
            wizardUi.notice(skipped);
        return 1;
    } catch (const ExcelAutomationError& e) {
        // The rows read so far stay in the list.
        handOver();
        onGuiThread([this] {
            m_pProgressWnd->hide();
            if (m_main)
                m_commandHost->UpdateTotalNumbers();
        });
        wizardUi.excelError(kReadingDiscarded);
        reader.EndExcel();
        if (e.description == WrongPasswordDescription()) {
            fail();
            return 0;
        }
        return 1;
    }
}
