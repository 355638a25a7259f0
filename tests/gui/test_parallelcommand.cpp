#include "GuiTestSupport.h"
#include "SendTestSupport.h"
#include "sending/FakeHosts.h"
#include "sending/FakeLanes.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/controls/CMyListCtrl.h"
#include "app/core/RecipientListModel.h"
#include "device/modem/GsmModem.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnection.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/PortScan.h"
#include "platform/PortMap.h"
#include "platform/Shell.h"
#include "sending/SendJournal.h"
#include "sending/dialogs/CModeless.h"
#include "tools/common/EmulatedModem.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

// Two GSM modems chosen in the connection wizard share one list.
class TestParallelCommand : public QObject
{
    Q_OBJECT

    static constexpr int kPorts[] = {64, 65};
    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::vector<std::unique_ptr<EmulatedModem>> m_modems;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;
    LaneClock m_clock;

    // Queries each port in the wizard and ticks its modem.
    void chooseBothModems()
    {
        whenModal<CConnectionwizard>([](CConnectionwizard* steps) { byId<QPushButton>(steps, 1)->click(); });
        whenModal<CConnection>([](CConnection* wizard) {
            QTRY_VERIFY_WITH_TIMEOUT(!wizard->isScanning(), 20000);
            auto* list = byId<CMyListCtrl>(wizard, 1047);
            auto* viaModem = wizard->findChild<QCheckBox*>(QStringLiteral("SendThroughModem"));
            for (int port : kPorts) {
                int row = -1;
                for (int r = 0; r < list->model()->rowCount(); ++r)
                    if (list->model()->index(r, 0).data().toString() == QStringLiteral("COM%1").arg(port))
                        row = r;
                QVERIFY(row >= 0);
                list->selectOnly(row);
                QTRY_VERIFY_WITH_TIMEOUT(!wizard->isQuerying() && viaModem->isEnabled(), 10000);
                viaModem->setChecked(true);
            }
            auto* modems = wizard->findChild<QListWidget*>(QStringLiteral("SendThroughModems"));
            QCOMPARE(modems->accessibleName(), QStringLiteral("Send SMS through these GSM modems"));
            QCOMPARE(modems->count(), 2);
            byId<QPushButton>(wizard, 1)->click();
        });
        byId<QPushButton>(m_dlg.get(), 1035)->click();
    }

    void sendAndWait() { pressSendAndWait(m_dlg.get(), m_controller, 60000); }

    void addRows(int count)
    {
        QList<RecipientListModel::Row> rows;
        for (int i = 0; i < count; ++i)
            rows.append({QStringLiteral("004477009%1").arg(10000 + i), QStringLiteral("hello %1").arg(i)});
        m_dlg->recipients()->appendRecipients(rows);
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        resetSharedState();
        g_nAdviceGiven = 1;
        setProcessListProvider([] { return QStringList{QStringLiteral("bash")}; });
        for (int port : kPorts) {
            m_modems.push_back(std::make_unique<EmulatedModem>());
            QString error;
            QVERIFY2(m_modems.back()->start(&error), qPrintable(error));
            QVERIFY(PortMap::publish({port, m_modems.back()->devicePath(), QString()}, &error));
        }
        ModemTiming timing;
        timing.commandTimeoutMs = 2000;
        ModemTiming::setCurrent(timing);
        ScanTiming::setCurrent({10, 500, 2000});

        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_controller->setSendClock(&m_clock);
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
        m_messages->clear();
    }

    void cleanup()
    {
        m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_messages.reset();
        for (int port : kPorts)
            PortMap::withdraw(port);
        m_modems.clear();
        m_folders.reset();
        setProcessListProvider({});
        ModemSelection::clear();
    }

    // Both modems chosen: the box shows ticked, both are remembered, and the
    // list goes out through both with each row's status naming its modem.
    void twoModemsShareTheList()
    {
        chooseBothModems();
        QCOMPARE(ModemSelection::all().size(), 2);
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("GSM modems on COM64 and COM65"));
        QCOMPARE(ModemSelection::rememberedAll().size(), 2);
        QCOMPARE(ModemSelection::remembered()->modem.port, kPorts[0]);
        QCheckBox* parallel = m_dlg->parallelBox();
        QVERIFY(parallel->isVisible());
        QVERIFY(parallel->isEnabled());
        QVERIFY(parallel->isChecked());

        addRows(12);
        QStringList laneLines;
        whenProgressShows(laneLines);
        sendAndWait();

        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Message sent successfully.")});
        QCOMPARE(m_modems.at(0)->outbox().size() + m_modems.at(1)->outbox().size(), 12);
        QVERIFY(m_modems.at(0)->outbox().size() > 0 && m_modems.at(1)->outbox().size() > 0);
        const RecipientListModel* rows = m_dlg->recipients();
        for (int r = 0; r < rows->count(); ++r) {
            const QString text = rows->statusText(r);
            QVERIFY2(text == QStringLiteral("Sent (COM64)") || text == QStringLiteral("Sent (COM65)"),
                     qPrintable(text));
        }
        QCOMPARE(laneLines.size(), 2);
        QVERIFY2(laneLines.at(0).startsWith(QStringLiteral("COM64: ")), qPrintable(laneLines.at(0)));

        // Unticked, the first modem sends alone, as through one device.
        parallel->setChecked(false);
        m_dlg->recipients()->clear();
        addRows(3);
        const qsizetype before = m_modems.at(1)->outbox().size();
        sendAndWait();
        QCOMPARE(m_modems.at(1)->outbox().size(), before);
        QCOMPARE(m_dlg->recipients()->statusText(0), QStringLiteral("Sent"));
    }

    // A modem that cannot be readied is left out and named at the end; the other sends everything.
    void aModemThatDoesNotAnswerIsLeftOut()
    {
        chooseBothModems();
        EmulatedModem::Config silent;
        silent.mode = EmulatedModem::Config::Mode::Silent;
        m_modems.at(1)->setConfig(silent);
        addRows(4);
        sendAndWait();

        QCOMPARE(m_modems.at(0)->outbox().size(), 4);
        // One message: the list went out, and which modem was left out.
        QCOMPARE(m_messages->shown.size(), 1);
        QVERIFY2(m_messages->last().startsWith(QStringLiteral("Message sent successfully.")),
                 qPrintable(m_messages->last()));
        QVERIFY2(m_messages->last().contains(QStringLiteral("left out of the run:\nCOM65: ")),
                 qPrintable(m_messages->last()));
        QCOMPARE(ModemSelection::all().size(), 1);
        QCOMPARE(ModemSelection::current()->port, kPorts[0]);
        QVERIFY(!m_dlg->parallelBox()->isVisible());
    }

    // With delivery reports asked for, each modem's reports reach their rows,
    // during the run and after it (the slower ones), and the send journal.
    void reportsComeBackThroughEachModem()
    {
        chooseBothModems();
        m_modems.at(0)->setReportPlan({EmulatedModem::Report{0, 0}});
        m_modems.at(1)->setReportPlan({EmulatedModem::Report{0x20, 0}, EmulatedModem::Report{0, 400}});
        m_dlg->deliveryReportsBox()->setChecked(true);
        addRows(6);
        sendAndWait();

        const RecipientListModel* rows = m_dlg->recipients();
        auto allDelivered = [rows] {
            for (int r = 0; r < rows->count(); ++r)
                if (rows->status(r) != RowStatus::Delivered)
                    return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allDelivered(), 10000);
        for (int r = 0; r < rows->count(); ++r) {
            const QString text = rows->statusText(r);
            QVERIFY2(text == QStringLiteral("Delivered (COM64)") || text == QStringLiteral("Delivered (COM65)"),
                     qPrintable(text));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->isListeningForReports(), 10000);
        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        const qsizetype viaSecond = m_modems.at(1)->outbox().size();
        QCOMPARE(journal->reports.size(), 6 + viaSecond); // the second modem reports twice a message
    }

private:
    // Reads the progress window's lane lines once the run has set them up.
    void whenProgressShows(QStringList& lines)
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer, &lines] {
            CModeless* progress = m_controller->progressDialog();
            if (!progress || progress->laneCount() == 0)
                return;
            for (int i = 0; i < progress->laneCount(); ++i) {
                // Each line is named by what it says, for a screen reader.
                auto* line = progress->findChild<QLabel*>(QStringLiteral("Lane%1").arg(i));
                QAccessibleInterface* spoken = line ? QAccessible::queryAccessibleInterface(line) : nullptr;
                if (spoken && spoken->text(QAccessible::Name) == line->text())
                    lines << progress->laneText(i);
            }
            timer->deleteLater();
        });
        timer->start(5);
    }
};

QTEST_MAIN(TestParallelCommand)
#include "test_parallelcommand.moc"
