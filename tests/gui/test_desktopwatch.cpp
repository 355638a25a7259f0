#include "GuiTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "device/dialogs/CFirst.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/deviceservice/WireFormat.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

// Answers every request on the device service socket, as a running service does.
class AnsweringService
{
public:
    AnsweringService()
    {
        QLocalServer::removeServer(Paths::deviceServiceSocket());
        m_server.listen(Paths::deviceServiceSocket());
        QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] {
            while (QLocalSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    QCborMap reply;
                    reply.insert(QStringLiteral("id"), 1);
                    reply.insert(QStringLiteral("hr"), 0);
                    socket->write(WireFormat::encodeFrame(reply));
                });
            }
        });
    }
    bool isListening() const { return m_server.isListening(); }

private:
    QLocalServer m_server;
};

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
        AnsweringService service;
        QVERIFY(service.isListening());
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
        AnsweringService service;
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

    // A process of the service's name whose socket in our runtime folder stays
    // silent is not our service: ours is started, as when none runs.
    void nameWithoutAnAnsweringServiceStartsOurs()
    {
        writeRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Research In Motion\\BlackBerry\\Manager]\n"
                      "\"ImagePath\"=\"/opt/dm/DesktopMgr.exe\"\n");
        m_processes = {QStringLiteral("DesktopMgr.exe")};
        g_nAdviceGiven = 1;
        m_controller->desktopManagerStartupCheck();
        QCOMPARE(m_shell.started, QStringList{QStringLiteral("/opt/dm/DesktopMgr.exe")});
        QCOMPARE(g_strDesktopManager.get(), QStringLiteral("/opt/dm/DesktopMgr.exe"));
    }

    void otherUsersProcessesAreNotCounted()
    {
        if (::geteuid() != 0)
            QSKIP("only root can run a program as another user");
        setProcessListProvider({});
        QTemporaryDir dir; // reachable for the other user
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        auto program = [&](const QString& name) {
            const QString path = dir.filePath(name);
            QFile::copy(QStringLiteral("/bin/sleep"), path);
            QFile::setPermissions(path, QFile::permissions(QStringLiteral("/bin/sleep")));
            return path;
        };
        QProcess mine;
        mine.start(program(QStringLiteral("vvprobe-mine")), {QStringLiteral("30")});
        QProcess foreign;
        foreign.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=4242"), QStringLiteral("--regid=4242"), QStringLiteral("--clear-groups"),
                       program(QStringLiteral("vvprobe-other")), QStringLiteral("30")});
        QVERIFY(mine.waitForStarted() && foreign.waitForStarted());
        // Both have become the copies by now.
        QTRY_VERIFY(runningProcessNames().contains(QStringLiteral("vvprobe-mine")));
        const auto comm = [](qint64 pid) {
            QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
            return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
        };
        QTRY_COMPARE(comm(foreign.processId()), QByteArray("vvprobe-other"));
        QVERIFY(!runningProcessNames().contains(QStringLiteral("vvprobe-other")));
        mine.kill();
        foreign.kill();
        mine.waitForFinished();
        foreign.waitForFinished();
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
