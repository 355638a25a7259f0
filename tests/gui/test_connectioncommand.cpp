#include "GuiTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/core/RecipientListModel.h"
#include "store/DataFiles.h"
#include "device/wizard/CConnection.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/PortScan.h"
#include "deviceservice/ServiceFixture.h"
#include "platform/Shell.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSignalSpy>
#include <QPushButton>

// "Mobile Phone Connection Wizard" from the main window, against the device
// service and the emulated handset's modem.
class TestConnectionCommand : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceFixture>();
        QDir().mkpath(m_service->root() + QStringLiteral("/app"));
        resetSharedState();
        g_nAdviceGiven = 1;
        m_messages = std::make_unique<MessageRecorder>();
        ScanTiming::setCurrent({10, 500, 2000});
    }
    void cleanup()
    {
        if (m_controller)
            m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_controller = nullptr;
        m_messages.reset();
        m_service.reset();
        setProcessListProvider({});
    }

    void selectsTheEmulatedHandset()
    {
        m_service->writeConfig("[h]\nPIN=0x2A3B4C5D\nDescription=Emulated\nAttached=true\nModuleInstalled=true\n"
                               "ModemCom=7\nModemManufacturer=Research In Motion\nModemModel=BlackBerry 9700\n");
        QVERIFY(m_service->start());
        setProcessListProvider([] { return QStringList{QStringLiteral("DesktopMgr.exe")}; });
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(m_controller->waitForWorkers(10000));

        QString details;
        whenModal<CConnectionwizard>([](CConnectionwizard* steps) { byId<QPushButton>(steps, 1)->click(); });
        whenModal<CConnection>([&](CConnection* wizard) {
            QTRY_VERIFY_WITH_TIMEOUT(!wizard->isScanning(), 20000);
            auto* list = byId<CMyListCtrl>(wizard, 1047);
            int row = -1;
            for (int r = 0; r < list->model()->rowCount(); ++r)
                if (list->model()->index(r, 0).data().toString() == QLatin1String("COM7"))
                    row = r;
            QVERIFY(row >= 0);
            details = list->model()->index(row, 1).data().toString();
            list->selectOnly(row);
            QTRY_VERIFY_WITH_TIMEOUT(!wizard->isQuerying() && !byId<QLineEdit>(wizard, 1038)->text().isEmpty(), 10000);
            QCOMPARE(byId<QLineEdit>(wizard, 1037)->text(), QStringLiteral("Research In Motion"));
            QCOMPARE(byId<QLineEdit>(wizard, 1039)->text(), QStringLiteral("2A3B4C5D"));
            byId<QPushButton>(wizard, 1)->click();
        });
        byId<QPushButton>(m_dlg.get(), 1035)->click();
        QCOMPARE(details, QStringLiteral("BlackBerry 9700 Modem at COM7"));
        QVERIFY(g_bDeviceSelected);
        QVERIFY(m_dlg->deviceLine().contains(QStringLiteral("BlackBerry 9700")));
        QVERIFY(!m_dlg->isStatusLineVisible());
        QVERIFY(m_messages->shown.isEmpty());

        // Then what a user does next: three numbers, a message, "Send Sms".
        for (const QString& name : {QStringLiteral("JavaLoader.exe"), QStringLiteral("UlmexVevaSMS.cod")})
            QVERIFY(QFile::link(ServiceFixture::binary(name), m_service->root() + QStringLiteral("/app/") + name));
        QCOMPARE(m_service->control({QStringLiteral("fail-next-open"), QStringLiteral("0x2A3B4C5D")}).exitCode, 0);
        byId<QCheckBox>(m_dlg.get(), 1013)->setChecked(true);
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("Parents evening on Thursday"));
        for (const QString& n : {QStringLiteral("+4471111"), QStringLiteral("004472222"), QStringLiteral("4473333")}) {
            byId<CSpecialEdit>(m_dlg.get(), 1001)->setText(n);
            byId<QPushButton>(m_dlg.get(), 1002)->click();
        }
        whenModal<CLong_SMS_Dlg>([](CLong_SMS_Dlg* d) { byId<QPushButton>(d, 1)->click(); }); // handset notice
        QSignalSpy finished(m_controller, &DeviceController::sendFinished);
        byId<QPushButton>(m_dlg.get(), 1000)->click();
        QVERIFY(finished.wait(60000));
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Message sent successfully.")});
        QFile outbox(m_service->root() + QStringLiteral("/runtime/outbox-2A3B4C5D.jsonl"));
        QVERIFY(outbox.open(QIODevice::ReadOnly));
        QCOMPARE(outbox.readAll().count('\n'), 3);
        QCOMPARE(DataFiles::LoadSentItems().size(), 3);
        QTRY_VERIFY(m_dlg->isEnabled());
    }

    // The same handset's port chosen as a GSM modem: a long and a Greek message go out through
    // AT commands into the handset's outbox; choosing the handset again sends as before.
    void sendsThroughTheEmulatedModemThenTheHandsetAgain()
    {
        m_service->writeConfig("[h]\nPIN=0x2A3B4C5D\nAttached=true\nModuleInstalled=true\n"
                               "ModemCom=7\nModemManufacturer=Research In Motion\nModemModel=BlackBerry 9700\n");
        QVERIFY(m_service->start());
        setProcessListProvider([] { return QStringList{QStringLiteral("DesktopMgr.exe")}; });
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(m_controller->waitForWorkers(10000));

        auto chooseCom7 = [this](bool asModem) {
            whenModal<CConnectionwizard>([](CConnectionwizard* steps) { byId<QPushButton>(steps, 1)->click(); });
            whenModal<CConnection>([asModem](CConnection* wizard) {
                QTRY_VERIFY_WITH_TIMEOUT(!wizard->isScanning(), 20000);
                auto* list = byId<CMyListCtrl>(wizard, 1047);
                for (int r = 0; r < list->model()->rowCount(); ++r)
                    if (list->model()->index(r, 0).data().toString() == QLatin1String("COM7"))
                        list->selectOnly(r);
                auto* viaModem = wizard->findChild<QCheckBox*>(QStringLiteral("SendThroughModem"));
                QTRY_VERIFY_WITH_TIMEOUT(!wizard->isQuerying() && viaModem->isEnabled(), 10000);
                viaModem->setChecked(asModem);
                byId<QPushButton>(wizard, 1)->click();
            });
            byId<QPushButton>(m_dlg.get(), 1035)->click();
        };
        auto sendAndWait = [this] {
            QSignalSpy finished(m_controller, &DeviceController::sendFinished);
            byId<QPushButton>(m_dlg.get(), 1000)->click();
            QVERIFY(finished.wait(60000));
            QTRY_VERIFY(m_dlg->isEnabled());
        };
        auto outbox = [this] {
            QList<QJsonObject> lines;
            QFile f(m_service->root() + QStringLiteral("/runtime/outbox-2A3B4C5D.jsonl"));
            if (f.open(QIODevice::ReadOnly))
                for (const QByteArray& line : f.readAll().split('\n'))
                    if (!line.isEmpty())
                        lines.append(QJsonDocument::fromJson(line).object());
            return lines;
        };

        chooseCom7(true);
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("GSM modem on COM7 (Research In Motion BlackBerry 9700)"));
        const QString longText = QStringLiteral("Dear parents, ") + QString(320, u'.') + QStringLiteral(" {see you}");
        const QString greek = QStringLiteral("Αγαπητοί γονείς, καλή χρονιά! \U0001F389");
        m_dlg->recipients()->appendRecipients(
            {{QStringLiteral("00306900000001"), longText}, {QStringLiteral("00306900000002"), greek}});
        sendAndWait();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Message sent successfully.")});
        QList<QJsonObject> sent = outbox();
        QCOMPARE(sent.size(), 4);
        QString joined;
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(sent.at(k).value(QStringLiteral("via")).toString(), QStringLiteral("COM7"));
            QCOMPARE(sent.at(k).value(QStringLiteral("part")).toInt(), k + 1);
            QCOMPARE(sent.at(k).value(QStringLiteral("parts")).toInt(), 3);
            joined += sent.at(k).value(QStringLiteral("text")).toString();
        }
        QCOMPARE(joined, longText);
        QCOMPARE(sent.at(3).value(QStringLiteral("text")).toString(), greek);
        QCOMPARE(sent.at(3).value(QStringLiteral("number")).toString(), QStringLiteral("+306900000002"));

        chooseCom7(false);
        QCOMPARE(m_dlg->deviceLine(), QStringLiteral("Research In Motion BlackBerry 9700 (COM7)"));
        m_dlg->recipients()->clear();
        m_dlg->recipients()->appendRecipients({{QStringLiteral("004471111"), QStringLiteral("Back on the handset")}});
        whenModal<CLong_SMS_Dlg>([](CLong_SMS_Dlg* d) { byId<QPushButton>(d, 1)->click(); }); // handset notice
        m_messages->clear();
        sendAndWait();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Message sent successfully.")});
        sent = outbox();
        QCOMPARE(sent.size(), 5);
        QVERIFY(!sent.last().contains(QStringLiteral("via")));
        QCOMPARE(sent.last().value(QStringLiteral("text")).toString(), QStringLiteral("Back on the handset"));
    }

    void installedServiceNotRunning()
    {
        QFile reg(m_service->root() + QStringLiteral("/config/registry.reg"));
        QVERIFY(QDir().mkpath(m_service->root() + QStringLiteral("/config")));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BlackBerry_Desktop]\n"
                  "\"DisplayIcon\"=\"/opt/dm/blackberry.ico\"\n");
        reg.close();
        setProcessListProvider([] { return QStringList{QStringLiteral("bash")}; });
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        byId<QPushButton>(m_dlg.get(), 1035)->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral(
                                          "Please run BlackBerry\u2122 Desktop Manager\u2122 to use Ulmex Veva SMS Software successfully.")});
    }
};

QTEST_MAIN(TestConnectionCommand)
#include "test_connectioncommand.moc"
