#include "GuiTestSupport.h"
#include "SendTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "deviceservice/ServiceFixture.h"
#include "platform/Shell.h"
#include "sending/dialogs/CModeless.h"
#include "sending/dialogs/CSend_Msg_Info.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

// "Send Sms" from the main window: the checks in their order, then real runs
// against the device service at real speed.
class TestSendCommand : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;
    bool m_serviceRunning = true;

    RecipientListModel* rows() { return m_dlg->recipients(); }
    QCheckBox* check(int id) { return byId<QCheckBox>(m_dlg.get(), id); }
    void send() { byId<QPushButton>(m_dlg.get(), 1000)->click(); }
    void addRows(const QList<RecipientListModel::Row>& r) { rows()->appendRecipients(r); }

    QList<QJsonObject> outbox(const QString& pin)
    {
        QList<QJsonObject> out;
        QFile f(m_service->root() + QStringLiteral("/runtime/outbox-") + pin + QStringLiteral(".jsonl"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    out.append(QJsonDocument::fromJson(line).object());
        return out;
    }

    // Starts the service with one handset and selects it as the wizard would.
    void connectHandset(bool moduleInstalled = true)
    {
        m_service->writeConfig(QByteArray("[h]\nPIN=0x5A5A\nAttached=true\nModuleInstalled=") +
                               (moduleInstalled ? "true" : "false") + "\n");
        QVERIFY(m_service->start());
        g_bDeviceSelected = true;
        g_strDeviceName.set(QStringLiteral("Emulated handset"));
    }

    // Presses "Send Sms" and waits for the run to end.
    void sendAndWait(int timeoutMs = 30000) { pressSendAndWait(m_dlg.get(), m_controller, timeoutMs); }

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceFixture>();
        QDir().mkpath(m_service->root() + QStringLiteral("/app"));
        QDir().mkpath(m_service->root() + QStringLiteral("/config"));
        resetSharedState();
        g_nAdviceGiven = 1; // no advice dialog at the first paint
        m_serviceRunning = true;
        setProcessListProvider([this] {
            return m_serviceRunning ? QStringList{QStringLiteral("DesktopMgr.exe")} : QStringList{QStringLiteral("bash")};
        });
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
        g_nHandsetWarningShown = 1; // the handset notice has its own test
    }

    void cleanup()
    {
        m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_messages.reset();
        m_service.reset();
        setProcessListProvider({});
    }

    void installedButNotRunningOnlyAdvises()
    {
        m_serviceRunning = false;
        QFile reg(m_service->root() + QStringLiteral("/config/registry.reg"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Research In Motion\\BlackBerry\\Manager]\n\"ImagePath\"=\"/nowhere/DesktopMgr.exe\"\n");
        reg.close();
        addRows({{QStringLiteral("1"), QStringLiteral("x")}});
        send();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral(
                                          "Please run BlackBerry\u2122 Desktop Manager\u2122 to use Ulmex Veva SMS Software successfully.")});
        QVERIFY(!m_controller->isSending());
    }

    void checksInTheirOrder()
    {
        connectHandset();
        g_bDeviceSelected = false; // the handset is there, but the wizard has not selected it
        send();
        QCOMPARE(m_messages->last(), QStringLiteral("No Mobile Phone Device is selected. Please use Mobile Phone "
                                                    "Connection Wizard for finding device or establishing connection."));
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("No Mobile Phone Device is selected."));

        g_bDeviceSelected = true;
        byId<CSpecialEdit>(m_dlg.get(), 1001)->setText(QStringLiteral("123"));
        addRows({{QStringLiteral("9"), QString()}});
        send();
        QCOMPARE(m_messages->last(), QStringLiteral("Please insert entered number to the list."));

        byId<CSpecialEdit>(m_dlg.get(), 1001)->clear();
        rows()->clear();
        send();
        QCOMPARE(m_messages->last(), QStringLiteral("Please enter a valid phone number."));

        addRows({{QStringLiteral("9"), QString()}});
        check(1027)->setChecked(true);
        byId<QComboBox>(m_dlg.get(), 1029)->setCurrentIndex(-1);
        send();
        QCOMPARE(m_messages->last(), QStringLiteral("No values have been selected in 'Delayed Delivery Options'."));
        check(1027)->setChecked(false);

        send();
        QCOMPARE(m_messages->last(), QStringLiteral("You have composed no text message yet for any of the contacts in "
                                                    "the entire list. Please provide message to all the contacts in the list."));
        QCOMPARE(m_messages->shown.size(), 5);
        QVERIFY(!m_controller->isSending());
        QCOMPARE(int(g_nSendRequest), 0);
    }

    void composerChangedQuestion()
    {
        g_bDeviceSelected = true;
        addRows({{QStringLiteral("1"), QString()}, {QStringLiteral("2"), QString()}});
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("Hello"));
        m_dlg->m_strAppliedMessage = QStringLiteral("older text");

        // "Continue Anyway" leaves the rows blank: the check after it speaks (with its doubled word).
        whenModal<CSend_Msg_Info>([](CSend_Msg_Info* d) { d->done(CSend_Msg_Info::ContinueAnyway); });
        send();
        QCOMPARE(m_messages->last(), QStringLiteral("You have composed no text text message yet for any of the "
                                                    "contacts in the entire list. Please provide message to all the contacts in the list."));
        // The text counts as applied now: no second question.
        m_messages->clear();
        send();
        QCOMPARE(m_messages->shown.size(), 1);

        // "Yes" with "only in blank list items" fills the blank rows and goes on.
        rows()->setMessage(0, QStringLiteral("kept"));
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("For the blank row"));
        whenModal<CSend_Msg_Info>([](CSend_Msg_Info* d) {
            d->setChoice(1);
            d->done(CSend_Msg_Info::Yes);
        });
        QSignalSpy finished(m_controller, &DeviceController::sendFinished);
        send();
        QCOMPARE(rows()->message(0), QStringLiteral("kept"));
        QCOMPARE(rows()->message(1), QStringLiteral("For the blank row"));
        QVERIFY2(m_controller->isSending(), "Yes goes on to the run");
        QVERIFY(finished.wait(20000)); // no device service here: the run ends by itself
        QTRY_VERIFY(m_dlg->isEnabled());

        // Cancel stops at once, but records the text as applied too.
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("Hello again"));
        int asked = 0;
        whenModal<CSend_Msg_Info>([&](CSend_Msg_Info* d) {
            ++asked;
            d->done(CSend_Msg_Info::Cancelled);
        });
        m_messages->clear();
        send();
        QTRY_COMPARE(asked, 1);
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(m_dlg->m_strAppliedMessage, QStringLiteral("Hello again"));
    }

    void threeRowsEndToEnd()
    {
        connectHandset();
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::exclusionListPath(QStringLiteral("Staff")), {QStringLiteral("333")}));
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::inUseListPath(), {QStringLiteral("Staff")}));
        addRows({{QStringLiteral("111"), QStringLiteral("Dear parent,\r\nschool opens at 9")},
                 {QStringLiteral("111"), QStringLiteral("Dear parent,\r\nschool opens at 9")},
                 {QStringLiteral("333"), QStringLiteral("Dear parent,\r\nschool opens at 9")}});
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("Dear parent,\r\nschool opens at 9"));
        m_dlg->m_strAppliedMessage = byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->text();
        check(1014)->setChecked(true);
        check(1169)->setChecked(true);
        check(1013)->setChecked(true);
        check(1106)->setChecked(true);

        QStringList statusLines;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            if (CModeless* p = m_controller->progressDialog(); p && (statusLines.isEmpty() || statusLines.last() != p->statusLine()))
                statusLines << p->statusLine();
        });
        watcher.start(20);
        sendAndWait();
        watcher.stop();

        const auto sms = outbox(QStringLiteral("5A5A"));
        QCOMPARE(sms.size(), 1);
        QCOMPARE(sms.first().value(QStringLiteral("number")).toString(), QStringLiteral("111"));
        QCOMPARE(sms.first().value(QStringLiteral("text")).toString(), QStringLiteral("Dear parent,\r\nschool opens at 9"));
        QVERIFY2(statusLines.contains(QStringLiteral("Currently sending to : 111 is Skipped.")), qPrintable(statusLines.join('|')));
        QVERIFY2(statusLines.contains(QStringLiteral("Currently sending to : 333 is Excluded.")), qPrintable(statusLines.join('|')));
        QCOMPARE(m_messages->last(), QStringLiteral("Message sent successfully."));

        const QString date = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
        QFile sent(DataFiles::sentItemsPath());
        QVERIFY(sent.open(QIODevice::ReadOnly));
        QCOMPARE(sent.readAll(), CStdioFileEx::encodeUtf16(QStringLiteral("\a111\vDear parent,\r|AP*|DX/school opens at 9\a") +
                                                               date + QStringLiteral("\r\n"), true));
        QFile templates(DataFiles::templatesPath());
        QVERIFY(templates.open(QIODevice::ReadOnly));
        QCOMPARE(templates.readAll(),
                 CStdioFileEx::encodeUtf16(QStringLiteral("Dear parent,\r|AP*|DX/school opens at 9\r\n"), true));
    }

    void handsetNoticeOnlyBeforeTheFirstSend()
    {
        connectHandset();
        g_nHandsetWarningShown = 0;
        addRows({{QStringLiteral("1"), QStringLiteral("a")}});
        int notices = 0;
        auto expectNotice = [&] {
            whenModal<CLong_SMS_Dlg>([&](CLong_SMS_Dlg* d) {
                ++notices;
                QCOMPARE(d->shownText(), DeviceController::handsetNotice());
                d->close(); // any way of closing goes on
            });
        };
        expectNotice();
        sendAndWait();
        QCOMPARE(notices, 1);
        sendAndWait();
        QCOMPARE(notices, 1);
        QCOMPARE(outbox(QStringLiteral("5A5A")).size(), 2);
    }

    void moduleIsInstalledOnTheWay()
    {
        connectHandset(false);
        const QString folder = m_service->root() + QStringLiteral("/app");
        for (const QString& name : {QStringLiteral("JavaLoader.exe"), QStringLiteral("UlmexVevaSMS.cod")})
            QVERIFY(QFile::link(ServiceFixture::binary(name), folder + QLatin1Char('/') + name));
        addRows({{QStringLiteral("700"), QStringLiteral("first")}, {QStringLiteral("701"), QStringLiteral("second")}});
        sendAndWait(60000);
        QCOMPARE(outbox(QStringLiteral("5A5A")).size(), 2);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Connection.bat")));
        QCOMPARE(m_messages->last(), QStringLiteral("Message sent successfully."));
    }

    void handsetUnpluggedAfterTheSecondMessage()
    {
        connectHandset();
        g_strDevicePin.set(QStringLiteral("5A5A"));
        QCOMPARE(m_service->control({QStringLiteral("fail-write-after"), QStringLiteral("0x5A5A"), QStringLiteral("3")}).exitCode, 0);
        check(1013)->setChecked(true);
        addRows({{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")},
                 {QStringLiteral("3"), QStringLiteral("c")}});
        int advice = 0;
        whenModal<CFirst>([&](CFirst* d) {
            ++advice;
            d->reject();
        });
        QSignalSpy finished(m_controller, &DeviceController::sendFinished);
        send();
        QVERIFY(finished.wait(30000));
        QCOMPARE(advice, 1);
        QCOMPARE(outbox(QStringLiteral("5A5A")).size(), 2);
        QCOMPARE(DataFiles::LoadSentItems().size(), 2);
        QCOMPARE(m_controller->progressDialog(), nullptr);
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("No Mobile Phone Device is selected."));
        QVERIFY(!m_messages->texts().contains(QStringLiteral("Message sent successfully.")));
        QTRY_VERIFY(m_dlg->isEnabled());
    }

    void stopAnsweredNoGoesOnAndYesStops()
    {
        connectHandset();
        addRows({{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}});
        QSignalSpy finished(m_controller, &DeviceController::sendFinished);
        send();
        QTRY_VERIFY(m_controller->progressDialog() && m_controller->progressDialog()->isVisible());
        m_messages->answer(Ui::IdNo);
        emit m_controller->progressDialog()->stopRequested();
        QVERIFY(finished.wait(30000));
        QCOMPARE(outbox(QStringLiteral("5A5A")).size(), 2);
        QCOMPARE(m_messages->last(), QStringLiteral("Message sent successfully."));

        // Stop during a delivery pause ends the run within a second or so.
        check(1027)->setChecked(true);
        byId<QComboBox>(m_dlg.get(), 1028)->setCurrentIndex(0); // "1"
        byId<QComboBox>(m_dlg.get(), 1029)->setCurrentIndex(1); // "10 Seconds"
        m_messages->clear();
        send();
        QTRY_VERIFY_WITH_TIMEOUT(g_bPausing, 20000);
        QTRY_VERIFY(m_controller->progressDialog()->pauseText().startsWith(QStringLiteral("Pausing the process for ")));
        m_messages->answer(Ui::IdYes);
        QElapsedTimer clock;
        clock.start();
        emit m_controller->progressDialog()->stopRequested();
        QVERIFY(finished.wait(5000));
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(outbox(QStringLiteral("5A5A")).size(), 3);
        QVERIFY(!m_messages->texts().contains(QStringLiteral("Message sent successfully.")));
    }
};

QTEST_MAIN(TestSendCommand)
#include "test_sendcommand.moc"
