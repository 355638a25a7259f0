#include "GuiTestSupport.h"
#include "SendTestSupport.h"
#include "gateway/StubGateway.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/core/RecipientListModel.h"
#include "device/gateway/GatewaySettings.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/CGatewayDialog.h"
#include "platform/Shell.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>

// "Send Sms" with an SMS gateway chosen in the connection wizard: no device
// service runs, and a stand-in for Kannel's send interface answers.
class TestGatewayCommand : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;
    StubGateway::Reply m_reply;
    std::unique_ptr<StubGateway> m_stub;

    void chooseGatewayInWizard()
    {
        whenModal<CConnectionwizard>([](CConnectionwizard* steps) {
            steps->findChild<QPushButton*>(QStringLiteral("gateway"))->click();
        });
        whenModal<CGatewayDialog>([this](CGatewayDialog* dialog) {
            GatewaySettings s;
            s.url = m_stub->url();
            s.user = QStringLiteral("veva");
            s.password = QStringLiteral("gateway-pass");
            s.sender = QStringLiteral("Veva");
            s.inFlight = 3;
            dialog->setSettings(s);
            byId<QPushButton>(dialog, 1)->click();
        });
        m_controller->connectionWizard();
    }

    void sendAndWait() { pressSendAndWait(m_dlg.get(), m_controller, 60000, false); }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        resetSharedState();
        g_nAdviceGiven = 1;
        setProcessListProvider([] { return QStringList{QStringLiteral("bash")}; });
        m_reply = {};
        // The wizard's check asks without a recipient; Kannel says so.
        m_stub = std::make_unique<StubGateway>([this](const QUrlQuery& q) {
            if (!q.hasQueryItem(QStringLiteral("to")))
                return StubGateway::Reply{400, "Missing receiver number, rejected"};
            return m_reply;
        });
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
        m_messages->clear();
    }

    void cleanup()
    {
        m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_messages.reset();
        m_stub.reset();
        m_folders.reset();
        setProcessListProvider({});
        GatewaySelection::clear();
        ModemSelection::clear();
    }

    void wizardChoosesTheGatewayAndItSends()
    {
        chooseGatewayInWizard();
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("SMS gateway at 127.0.0.1:%1").arg(m_stub->port()));
        QVERIFY(m_dlg->deliveryReportsBox()->isVisibleTo(m_dlg.get()));
        QVERIFY(m_messages->shown.isEmpty());

        m_dlg->recipients()->appendRecipients({{QStringLiteral("00447700900001"), QStringLiteral("first")},
                                               {QStringLiteral("00447700900002"), QStringLiteral("Γειά σου")},
                                               {QStringLiteral("00447700900003"), QStringLiteral("third")}});
        sendAndWait();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Message sent successfully.")});
        QCOMPARE(int(g_nHandsetWarningShown), 0);
        for (int r = 0; r < 3; ++r)
            QCOMPARE(m_dlg->recipients()->status(r), RowStatus::Sent);
        QCOMPARE(m_stub->requests().size(), 1 + 3);
        QVERIFY(g_bDeviceSelected);
    }

    void gatewayThatFailsLeavesRowsUncertain()
    {
        chooseGatewayInWizard();
        m_reply = {503, "Sending failed."};
        m_dlg->recipients()->appendRecipients({{QStringLiteral("00447700900001"), QStringLiteral("first")}});
        sendAndWait();
        QCOMPARE(m_dlg->recipients()->status(0), RowStatus::Uncertain);
        const QString all = m_messages->texts().join(QLatin1Char('\n'));
        QVERIFY2(all.contains(QLatin1String("may have taken")), qPrintable(all));
        QVERIFY(!all.contains(QLatin1String("gateway-pass")));
        // The gateway stays chosen: it may answer again.
        QVERIFY(g_bDeviceSelected);
        QVERIFY(GatewaySelection::current());
    }
};

QTEST_MAIN(TestGatewayCommand)
#include "test_gatewaycommand.moc"
