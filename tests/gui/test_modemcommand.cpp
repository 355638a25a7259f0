#include "GuiTestSupport.h"
#include "SendTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "device/modem/GsmModem.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnection.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/PortScan.h"
#include "platform/PortMap.h"
#include "platform/Shell.h"
#include "tools/common/EmulatedModem.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

// "Send Sms" with a GSM modem chosen in the connection wizard: no device
// service runs or is installed, and the modem on its pseudo-terminal sends.
class TestModemCommand : public QObject
{
    Q_OBJECT

    static constexpr int kPort = 62;
    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<EmulatedModem> m_modem;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;

    CMy_Sel_All_Edit* composer() { return byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005); }

    // A new start of the program, with nothing chosen yet and no advice given.
    void restart()
    {
        m_dlg.reset();
        ModemSelection::clear();
        g_bDeviceSelected = false;
        g_nAdviceGiven = 0;
        m_messages->clear();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
    }

    // Picks the emulated modem in the wizard and ticks "Send SMS through this GSM modem".
    void chooseModemInWizard()
    {
        whenModal<CConnectionwizard>([](CConnectionwizard* steps) { byId<QPushButton>(steps, 1)->click(); });
        whenModal<CConnection>([](CConnection* wizard) {
            QTRY_VERIFY_WITH_TIMEOUT(!wizard->isScanning(), 20000);
            auto* list = byId<CMyListCtrl>(wizard, 1047);
            int row = -1;
            for (int r = 0; r < list->model()->rowCount(); ++r)
                if (list->model()->index(r, 0).data().toString() == QStringLiteral("COM%1").arg(kPort))
                    row = r;
            QVERIFY(row >= 0);
            list->selectOnly(row);
            auto* viaModem = wizard->findChild<QCheckBox*>(QStringLiteral("SendThroughModem"));
            QTRY_VERIFY_WITH_TIMEOUT(!wizard->isQuerying() && viaModem->isEnabled(), 10000);
            viaModem->setChecked(true);
            byId<QPushButton>(wizard, 1)->click();
        });
    }

    // The composer stays empty, as last applied: the rows carry the messages.
    void sendAndWait() { pressSendAndWait(m_dlg.get(), m_controller, 60000); }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        resetSharedState();
        g_nAdviceGiven = 1; // no advice dialog at the first paint
        setProcessListProvider([] { return QStringList{QStringLiteral("bash")}; });
        m_modem = std::make_unique<EmulatedModem>();
        QString error;
        QVERIFY2(m_modem->start(&error), qPrintable(error));
        QVERIFY(PortMap::publish({kPort, m_modem->devicePath(), QString()}, &error));
        ModemTiming timing;
        timing.commandTimeoutMs = 2000;
        ModemTiming::setCurrent(timing);
        ScanTiming::setCurrent({10, 500, 2000});

        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
        ModemSelection::select({kPort, QStringLiteral("Ulmex"), QStringLiteral("Veva")});
        g_bDeviceSelected = true;
        m_messages->clear();
    }

    void cleanup()
    {
        m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_messages.reset();
        PortMap::withdraw(kPort);
        m_modem.reset();
        m_folders.reset();
        setProcessListProvider({});
        ModemSelection::clear();
    }

    void sendsWithoutTheDeviceService()
    {
        const QString longText = QString(300, u'x') + QStringLiteral(" [end]");
        m_dlg->recipients()->appendRecipients(
            {{QStringLiteral("00447700900001"), longText},
             {QStringLiteral("00447700900002"), QStringLiteral("Γειά σου \U0001F44B")}});
        sendAndWait();

        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Message sent successfully.")});
        QCOMPARE(int(g_nHandsetWarningShown), 0); // the handset's notice is no business of a modem
        const QList<EmulatedModem::SentSms> outbox = m_modem->outbox();
        QCOMPARE(outbox.size(), 4);
        QCOMPARE(outbox.at(0).text + outbox.at(1).text + outbox.at(2).text, longText);
        QCOMPARE(outbox.at(3).text, QStringLiteral("Γειά σου \U0001F44B"));
        QCOMPARE(outbox.at(3).number, QStringLiteral("+447700900002"));
        QVERIFY(g_bDeviceSelected);
    }

    void aFailureSaysWhyAndForgetsTheModem()
    {
        m_modem->setSimPinRequired(true);
        m_dlg->setDeviceLine(ModemSelection::current()->deviceLine());
        m_dlg->recipients()->appendRecipients({{QStringLiteral("0044123"), QStringLiteral("hello")}});
        sendAndWait();

        QCOMPARE(m_messages->shown.size(), 1);
        QVERIFY(
            m_messages->last().startsWith(QStringLiteral("The GSM modem on COM62 asks for the PIN of its SIM card.")));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Message"));
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("No Mobile Phone Device is selected."));
        QVERIFY(!g_bDeviceSelected);
        QVERIFY(!ModemSelection::current());
        QCOMPARE(m_controller->progressDialog(), nullptr);
        QVERIFY(m_modem->outbox().isEmpty());
    }

    // No device service is installed or runs: one notice at the start, the
    // wizard from its button or from the command, the modem chosen and used.
    void withoutTheDeviceServiceTheWizardFindsTheModem_data()
    {
        QTest::addColumn<bool>("fromNotice");
        QTest::newRow("the notice's button") << true;
        QTest::newRow("the command") << false;
    }

    void withoutTheDeviceServiceTheWizardFindsTheModem()
    {
        QFETCH(bool, fromNotice);
        m_dlg.reset();
        if (fromNotice)
            chooseModemInWizard();
        m_messages->answer(fromNotice ? int(Ui::IdYes) : int(Ui::IdOk));
        restart();
        QCOMPARE(m_messages->texts(), QStringList{DeviceController::noDeviceServiceNotice()});
        QCOMPARE(m_messages->shown.first().buttons, Ui::Buttons::OkWizard);
        QVERIFY(!m_dlg->findChild<CFirst*>());
        if (!fromNotice) {
            QVERIFY(!g_bDeviceSelected);
            chooseModemInWizard();
            byId<QPushButton>(m_dlg.get(), 1035)->click();
        }
        QVERIFY(g_bDeviceSelected);
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("GSM modem on COM62 (Research In Motion 9700)"));
        QVERIFY(!m_dlg->isStatusLineVisible());
        QVERIFY(m_dlg->isEnabled());
        const auto kept = ModemSelection::remembered();
        QVERIFY(kept);
        QCOMPARE(kept->modem.port, kPort);
        QCOMPARE(kept->devicePath, m_modem->devicePath());

        m_messages->clear();
        auto* reports = m_dlg->deliveryReportsBox();
        QVERIFY(reports->isVisible());
        QCOMPARE(reports->accessibleName(), QStringLiteral("Request delivery reports"));
        reports->setChecked(true);
        m_modem->setReportPlanFor(QStringLiteral("+447700900013"), {{0x46, 0}});
        m_modem->setReportPlanFor(QStringLiteral("+447700900014"), {{0x00, 1500}}); // after the run
        m_dlg->recipients()->appendRecipients({{QStringLiteral("00447700900011"), QStringLiteral("one")},
                                               {QStringLiteral("00447700900012"), QString()},
                                               {QStringLiteral("00447700900013"), QString(300, u'x')},
                                               {QStringLiteral("00447700900014"), QStringLiteral("four")}});
        m_messages->answer(Ui::IdYes); // some rows have no message
        sendAndWait();
        QCOMPARE(m_modem->outbox().size(), 4);
        RecipientListModel* rows = m_dlg->recipients();
        QTRY_COMPARE(rows->statusText(0), QStringLiteral("Delivered"));
        QCOMPARE(rows->status(1), RowStatus::Blank);
        QTRY_COMPARE(rows->statusText(2), QStringLiteral("Not delivered (validity period expired)"));
        QVERIFY(m_controller->isListeningForReports());
        QTRY_COMPARE_WITH_TIMEOUT(rows->statusText(3), QStringLiteral("Delivered"), 10000);
        QTRY_VERIFY(!m_controller->isListeningForReports());
        // The run ended well, yet the list shows what the network said of each message.
        QVERIFY(m_dlg->recipientList()->isColumnShown(RecipientListModel::Status));

        // The same rows loaded again show what the network said.
        rows->clear();
        rows->appendRecipients({{QStringLiteral("00447700900014"), QStringLiteral("four")},
                                {QStringLiteral("00447700900013"), QString(300, u'x')}});
        QCOMPARE(rows->statusText(0), QStringLiteral("Delivered"));
        QCOMPARE(rows->statusText(1), QStringLiteral("Not delivered (validity period expired)"));
    }

    // A remembered modem is selected again at the next start, but only while its port answers and still
    // leads to the same device; otherwise the start goes on as with nothing remembered.
    void theRememberedModemIsOfferedAgain_data()
    {
        QTest::addColumn<QString>("devicePath");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("selected");
        QTest::newRow("answers") << QString() << false << true;
        QTest::newRow("silent") << QString() << true << false;
        QTest::newRow("another device") << QStringLiteral("/dev/ttyUSB250") << false << false;
    }

    void theRememberedModemIsOfferedAgain()
    {
        QFETCH(QString, devicePath);
        QFETCH(bool, silent);
        QFETCH(bool, selected);
        QVERIFY(ModemSelection::remember({kPort, QStringLiteral("Ulmex"), QStringLiteral("Veva")},
                                         devicePath.isEmpty() ? m_modem->devicePath() : devicePath));
        if (silent) {
            EmulatedModem::Config quiet;
            quiet.mode = EmulatedModem::Config::Mode::Silent;
            m_modem->setConfig(quiet);
        }
        restart();
        QCOMPARE(bool(g_bDeviceSelected), selected);
        if (selected) {
            QVERIFY(m_messages->shown.isEmpty());
            QCOMPARE(m_dlg->deviceLine(), QStringLiteral("GSM modem on COM62 (Ulmex Veva)"));
            QCOMPARE(ModemSelection::current().value_or(SelectedModem()).port, kPort);
            QVERIFY(!m_dlg->isStatusLineVisible());
            // While the modem is selected the device service is neither watched nor asked for.
            m_controller->statusLineClicked();
            QVERIFY(m_messages->shown.isEmpty());
            QVERIFY(!m_dlg->isStatusLineVisible());
        } else {
            QCOMPARE(m_messages->texts(), QStringList{DeviceController::noDeviceServiceNotice()});
            QCOMPARE(m_dlg->deviceLine(), QStringLiteral("No Mobile Phone Device is selected."));
            QVERIFY(!ModemSelection::current());
        }
    }

    void counterTooltipTellsHowItGoesOut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::newRow("7-bit") << QString(200, u'a')
                               << QStringLiteral("GSM 7-bit, 2 SMS (106 characters left before a third)");
        QTest::newRow("Greek") << QStringLiteral("Καλημέρα") << QStringLiteral("Unicode (UCS-2), 1 SMS");
    }

    void counterTooltipTellsHowItGoesOut()
    {
        QFETCH(QString, text);
        QFETCH(QString, tip);
        if (text.size() > 160) // the long-message warning comes first
            whenModal<CLong_SMS_Dlg>([](CLong_SMS_Dlg* d) { d->accept(); });
        composer()->setText(text);
        QCOMPARE(byId<QLabel>(m_dlg.get(), 1012)->toolTip(), tip);
    }
};

QTEST_MAIN(TestModemCommand)
#include "test_modemcommand.moc"
