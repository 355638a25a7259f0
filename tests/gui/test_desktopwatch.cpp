#include "GuiTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "device/CFirst.h"
#include "platform/Shell.h"

#include <QFile>

// The device service watch: the start-up check, the status line and its click.
class TestDesktopWatch : public QObject
{
    Q_OBJECT

    class RecordingShell : public DesktopShell
    {
    public:
        QStringList started;
        bool startHidden(const QString& program, const QString& folder) override
        {
            started << program;
            return DesktopShell::startHidden(program, folder);
        }
    };

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;
    RecordingShell m_shell;
    QStringList m_processes;

    void writeRegistry(const QByteArray& text)
    {
        QFile f(m_folders->config() + QStringLiteral("/registry.reg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        resetSharedState();
        g_nAdviceGiven = 0;
        g_bAdviceShown = false;
        g_bAdviceDialogOpen = false;
        m_processes = {QStringLiteral("bash")};
        setProcessListProvider([this] { return m_processes; });
        m_shell.started.clear();
        Shell::setInstance(&m_shell);
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        g_pMainDlg = m_dlg.get(); // as the window's initialisation publishes it
        m_controller = new DeviceController(m_dlg.get());
    }
    void cleanup()
    {
        m_controller->waitForWorkers(10000);
        m_dlg.reset();
        m_messages.reset();
        Shell::setInstance(nullptr);
        setProcessListProvider({});
        m_folders.reset();
    }

    void runningWithAPinShowsNothing()
    {
        m_processes = {QStringLiteral("init"), QStringLiteral("MyDesktopMgr.exe.bak")}; // a substring is enough
        g_strDevicePin.set(QStringLiteral("ABCD"));
        m_controller->desktopManagerStartupCheck();
        QCOMPARE(g_strDesktopManager.get(), QStringLiteral("asd"));
        QVERIFY(!m_dlg->isStatusLineVisible());
        QVERIFY(m_shell.started.isEmpty());
        QVERIFY(m_dlg->isEnabled());
    }

    void runningWithoutAHandsetAdvisesOncePerClick()
    {
        m_processes = {QStringLiteral("Rim.Desktop.exe")};
        int advice = 0;
        auto cancelNext = [&] {
            whenModal<CFirst>([&](CFirst* d) {
                ++advice;
                d->reject();
            });
        };
        cancelNext();
        m_controller->desktopManagerStartupCheck();
        QCOMPARE(advice, 1);
        QVERIFY(m_dlg->isStatusLineVisible());
        QVERIFY(m_dlg->isEnabled());
        m_controller->desktopManagerStartupCheck(); // the advice was given
        QCOMPARE(advice, 1);
        cancelNext();
        m_controller->statusLineClicked(); // a click resets it
        QCOMPARE(advice, 2);
    }

    void newerServiceIsStartedFromTheIconPath()
    {
        writeRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BlackBerry_Desktop]\n"
                      "\"DisplayIcon\"=\"/opt/Desktop/blackberry.ico\"\n");
        g_nAdviceGiven = 1; // advice already given: only the start is tried
        m_controller->desktopManagerStartupCheck();
        QCOMPARE(m_shell.started, QStringList{QStringLiteral("/opt/Desktop/Rim.Desktop.exe")});
        QCOMPARE(g_strDesktopManager.get(), QStringLiteral("/opt/Desktop/Rim.Desktop.exe"));
    }

    void nothingInstalledAdvisesAndCancelRestores()
    {
        g_strDevicePin.set(QStringLiteral("OLD"));
        whenModal<CFirst>([](CFirst* d) { d->reject(); });
        m_controller->desktopManagerStartupCheck();
        QCOMPARE(m_shell.started, QStringList{QString()}); // an empty path fails quietly
        QVERIFY(m_messages->shown.isEmpty());
        QVERIFY(m_dlg->isStatusLineVisible());
        QVERIFY(m_dlg->isEnabled());
        QVERIFY(g_strDevicePin.isEmpty());
    }
};

QTEST_MAIN(TestDesktopWatch)
#include "test_desktopwatch.moc"
