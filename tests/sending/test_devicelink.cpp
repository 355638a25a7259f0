#include "FakeHosts.h"

#include "device/link/ModuleInstaller.h"
#include "device/link/USBClient.h"
#include "deviceservice/ServiceFixture.h"
#include "platform/Shell.h"
#include "store/DataFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

const QByteArray kTwoHandsets = "[first]\nPIN=43981\nDescription=Desk phone\nAttached=true\nModuleInstalled=true\n"
                                "Property.bbpin=17\n\n"
                                "[second]\nPIN=0x1234\nDescription=Spare\nAttached=true\nModuleInstalled=true\n";

// Keeps a copy of the batch file before the desktop shell runs it.
class RecordingShell : public DesktopShell
{
public:
    QByteArray batch;
    int runs = 0;
    int runBatchHidden(const QString& file, int timeoutMs) override
    {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            batch = f.readAll();
        ++runs;
        return DesktopShell::runBatchHidden(file, timeoutMs);
    }
};

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_service;
    FakeHost m_host;
    FakeClock m_clock;
    StopGate m_gate;

    QList<QJsonObject> outbox(const QString& pin)
    {
        QList<QJsonObject> out;
        QFile f(m_service->root() + QStringLiteral("/runtime/outbox-") + pin + QStringLiteral(".jsonl"));
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty())
                out.append(QJsonDocument::fromJson(line).object());
        return out;
    }

    void startWith(const QByteArray& config)
    {
        m_service->writeConfig(config);
        QVERIFY(m_service->start());
    }

    void sendAll()
    {
        g_nSendRequest = 3;
        RunSendWorkerDeviceStep(m_host, m_host, m_gate, m_clock);
    }

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceFixture>();
        QDir().mkpath(m_service->root() + QStringLiteral("/app"));
        resetSharedState();
        g_strDesktopManager.set(QStringLiteral("asd"));
        m_host = FakeHost();
        m_host.progressOpen = true;
        m_clock = FakeClock();
    }
    void cleanup()
    {
        Shell::setInstance(nullptr);
        m_service.reset();
    }

    void probeReadsTheFirstHandsetsPin()
    {
        startWith(kTwoHandsets);
        g_bPinProbeOnly = true;
        USBClientHolder client(m_host);
        QCOMPARE(client->RunDeviceLink(), 0);
        QVERIFY(client->foundHandset());
        QCOMPARE(g_strDevicePin.get(), QStringLiteral("ABCD")); // not the "bbpin" property, not the second handset
        QVERIFY(g_bDeviceSeen);
        QVERIFY(m_host.calls.contains(QStringLiteral("hideStatusLine")));
        QVERIFY(!g_bChannelOpen);

        // A different handset than before: the selected device's name is forgotten.
        g_strDevicePin.set(QStringLiteral("OLD"));
        g_strDeviceName.set(QStringLiteral("Old phone"));
        USBClientHolder again(m_host);
        again->RunDeviceLink();
        QCOMPARE(g_strDevicePin.get(), QStringLiteral("ABCD"));
        QCOMPARE(g_strDeviceName.get(), QString());

        // The periodic probe starts from an empty PIN and reads it again.
        g_strDevicePin.set(QStringLiteral("STALE"));
        ProbeHandsetPin(m_host);
        QCOMPARE(g_strDevicePin.get(), QStringLiteral("ABCD"));
        QCOMPARE(m_service->control({QStringLiteral("detach"), QStringLiteral("43981")}).exitCode, 0);
        QCOMPARE(m_service->control({QStringLiteral("detach"), QStringLiteral("0x1234")}).exitCode, 0);
        ProbeHandsetPin(m_host);
        QVERIFY(g_strDevicePin.isEmpty());
    }

    void noServiceMeansNoPinAndNoNoise()
    {
        g_bPinProbeOnly = true;
        USBClientHolder client(m_host);
        QCOMPARE(client->RunDeviceLink(), 0);
        QVERIFY(!client->foundHandset());
        QVERIFY(g_strDevicePin.isEmpty());
        QVERIFY(!m_host.calls.contains(QStringLiteral("handsetLost")));
        ProbeHandsetPin(m_host);
        QVERIFY(g_strDevicePin.isEmpty());
    }

    void sendsEveryRowToTheHandsetOutbox()
    {
        startWith(kTwoHandsets);
        m_host.rows = {{QStringLiteral("0044111"), QStringLiteral("Cost \u00a75, paid \u00a73")},
                       {QStringLiteral("222"), QStringLiteral("second")}};
        sendAll();
        const auto sms = outbox(QStringLiteral("ABCD"));
        QCOMPARE(sms.size(), 2);
        QCOMPARE(sms.at(0).value(QStringLiteral("number")).toString(), QStringLiteral("0044111"));
        QCOMPARE(sms.at(0).value(QStringLiteral("text")).toString(), QStringLiteral("Cost \u00a75, paid \u00a73"));
        QCOMPARE(sms.at(1).value(QStringLiteral("text")).toString(), QStringLiteral("second"));
        QVERIFY(outbox(QStringLiteral("1234")).isEmpty());
        QVERIFY(m_host.calls.contains(QStringLiteral("Message sent successfully.")));

        // A second run in the same program run sends no start packet, and still arrives.
        const qint64 starts = m_service->stat(QStringLiteral("runs.started"));
        sendAll();
        QCOMPARE(m_service->stat(QStringLiteral("runs.started")), starts);
        QCOMPARE(outbox(QStringLiteral("ABCD")).size(), 4);
    }

    void emptyListWithFailingOpenDoesNotInstall()
    {
        startWith("[h]\nPIN=0x10\nAttached=true\nModuleInstalled=false\n");
        RecordingShell shell;
        Shell::setInstance(&shell);
        USBClientHolder client(m_host);
        QCOMPARE(client->RunDeviceLink(), 0);
        QCOMPARE(shell.runs, 0);
        QVERIFY(!m_host.calls.contains(QStringLiteral("securityNotice")));
        QVERIFY(!QFile::exists(ModuleInstaller::batchFilePath()));
    }

    void installsTheModuleAndGoesOn()
    {
        startWith("[h]\nPIN=0x10\nAttached=true\nModuleInstalled=false\n");
        // A program folder with a blank in its name, holding the loader and the module.
        const QString folder = m_service->root() + QStringLiteral("/Program Files/Veva");
        QVERIFY(QDir().mkpath(folder));
        qputenv("VEVA_SMS_APP_DIR", folder.toLocal8Bit());
        for (const QString& name : {QStringLiteral("JavaLoader.exe"), QStringLiteral("UlmexVevaSMS.cod")})
            QVERIFY(QFile::link(ServiceFixture::binary(name), folder + QLatin1Char('/') + name));
        RecordingShell shell;
        Shell::setInstance(&shell);

        m_host.rows = {{QStringLiteral("555"), QStringLiteral("after install")}};
        g_nHandsetWarningShown = 1; // the send command has just shown the notice
        sendAll();
        QCOMPARE(shell.batch, ("\"" + folder + "/JavaLoader.exe\" -usb load \"" + folder + "/UlmexVevaSMS.cod\"").toLocal8Bit());
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Connection.bat")));
        QVERIFY(!m_host.calls.contains(QStringLiteral("securityNotice")));
        QCOMPARE(int(g_nHandsetWarningShown), 2);
        QCOMPARE(outbox(QStringLiteral("10")).size(), 1);
        QVERIFY(m_host.calls.indexOf(QStringLiteral("showDeviceInit")) < m_host.calls.indexOf(QStringLiteral("hideDeviceInit")));

        // The next installation shows the notice: it was not shown by the send command this time.
        QCOMPARE(m_service->control({QStringLiteral("detach"), QStringLiteral("0x10")}).exitCode, 0);
        QCOMPARE(m_service->control({QStringLiteral("attach"), QStringLiteral("0x10")}).exitCode, 0);
        QCOMPARE(m_service->control({QStringLiteral("fail-next-open"), QStringLiteral("0x10")}).exitCode, 0);
        g_bStartPacketSent = false;
        sendAll();
        QVERIFY(m_host.calls.contains(QStringLiteral("securityNotice")));
    }

    void handsetUnpluggedMidRun()
    {
        startWith("[h]\nPIN=0x77\nAttached=true\nModuleInstalled=true\n");
        for (int i = 0; i < 4; ++i)
            m_host.rows.append({QString::number(900 + i), QStringLiteral("m%1").arg(i)});
        m_host.opts.saveSentItems = true;
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        m_clock.onSleep = [this](int n) {
            if (n == 2) // after the second message
                QCOMPARE(m_service->control({QStringLiteral("detach"), QStringLiteral("0x77")}).exitCode, 0);
        };
        g_strDevicePin.set(QStringLiteral("77"));
        sendAll();
        QCOMPARE(outbox(QStringLiteral("77")).size(), 2);
        QCOMPARE(DataFiles::LoadSentItems().size(), 2);
        QVERIFY(m_host.calls.contains(QStringLiteral("closeProgress")));
        QVERIFY(m_host.calls.contains(QStringLiteral("handsetLost")));
        QVERIFY(!m_host.calls.contains(QStringLiteral("Message sent successfully.")));
        QVERIFY(!g_bDeviceSelected);
    }

    void deviceErrorBeforeTheRunIsRetriedOnce()
    {
        startWith("[h]\nPIN=0x77\nAttached=true\nModuleInstalled=true\n");
        m_host.rows = {{QStringLiteral("1"), QStringLiteral("x")}};
        g_strDevicePin.set(QStringLiteral("77"));
        // The first try fails at its first reply; the repetition reads the PIN
        // (hiding the status line) and then fails too.
        QCOMPARE(m_service->control({QStringLiteral("garbage-next")}).exitCode, 0);
        int armed = 0;
        m_host.onHideStatusLine = [&] {
            if (armed++ == 0)
                QCOMPARE(m_service->control({QStringLiteral("garbage-next")}).exitCode, 0);
        };
        int lost = 0;
        m_host.onHandsetLost = [&] { ++lost; };
        sendAll();
        QCOMPARE(m_service->stat(QStringLiteral("call.create")), 2); // the try and one repetition
        QCOMPARE(armed, 1);
        QCOMPARE(lost, 1);
        QVERIFY(m_host.calls.contains(QStringLiteral("closeProgress")));
        QVERIFY(outbox(QStringLiteral("77")).isEmpty());
        QCOMPARE(int(g_nSendRequest), 0);
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
