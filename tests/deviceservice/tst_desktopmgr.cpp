// DesktopMgr.exe as a process: start-up rules, the control verbs and their
// exit codes, state saved to the handset file, and the handsets' modem ports.

#include "ServiceFixture.h"
#include "device/modem/GsmModem.h"
#include "platform/PortMap.h"
#include "platform/deviceservice/WireFormat.h"

#include <QCborArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtTest>

#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QByteArray kConfig = R"(# kept as written
[desk]
PIN=0xABCD
Description=Desk phone
Attached = yes
ModemCom=9
ModemDescription=Ulmex USB Modem
ModemManufacturer=Ulmex
ModemModel=Veva 9700

[drawer]
PIN=305419896
Attached=false
)";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<QLocalSocket> connectedClient(const QString& path)
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(path);
    socket->waitForConnected(2000);
    return socket;
}

QByteArray request(int id, const QString& key, const QString& name, const QCborArray& args = {})
{
    QCborMap map;
    map.insert(QStringLiteral("id"), id);
    map.insert(key, name);
    map.insert(QStringLiteral("h"), 1);
    map.insert(QStringLiteral("a"), args);
    return WireFormat::encodeFrame(map);
}

// Reads until `count` frames have come, or a wait of 10 s brings nothing.
int readFrames(QLocalSocket& socket, int count)
{
    WireFormat::FrameReader reader(WireFormat::kMaxControlFrameBytes);
    int got = 0;
    while (got < count) {
        QCborMap frame;
        const auto status = reader.readFrom(&socket, &frame);
        if (status == WireFormat::FrameReader::Status::Frame)
            ++got;
        else if (status != WireFormat::FrameReader::Status::NeedMore || !socket.waitForReadyRead(10000))
            break;
    }
    return got;
}

qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

class TestDesktopMgr : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void secondInstanceIsRefusedAndStaleSocketReplaced();
    void controlReportsFailuresWithExitCodeAndMessage_data();
    void controlReportsFailuresWithExitCodeAndMessage();
    void stateChangesAreSavedKeepingTheRestOfTheFile();
    void invalidConfigStopsTheStart();
    void modemPortIsPublishedWhileRunning();
    void modemSendsIntoTheHandsetOutboxAndObeysControls();
    void quitEndsTheServiceCleanly();
    void madeUpOpsShareOneCounter();
    void floodOfClientsLeavesItReachable_data();
    void floodOfClientsLeavesItReachable();
    void unreadRepliesStayBounded();
    void partialFrameThenSilenceIsDropped();

private:
    std::unique_ptr<ServiceFixture> m_fixture;
};

void TestDesktopMgr::init()
{
    m_fixture = std::make_unique<ServiceFixture>();
    m_fixture->writeConfig(kConfig);
}

void TestDesktopMgr::cleanup()
{
    m_fixture.reset();
}

void TestDesktopMgr::secondInstanceIsRefusedAndStaleSocketReplaced()
{
    QVERIFY(m_fixture->start());
    const ServiceFixture::Run second = ServiceFixture::runTool(QStringLiteral("DesktopMgr.exe"), {});
    QCOMPARE(second.exitCode, 1);
    QVERIFY(second.err.contains(QStringLiteral("already answers")));
    QVERIFY(m_fixture->isRunning());

    m_fixture->kill();
    QVERIFY(QFile::exists(m_fixture->socketPath()));
    QVERIFY(m_fixture->start());
    QCOMPARE(m_fixture->control({QStringLiteral("list")}).exitCode, 0);
}

void TestDesktopMgr::controlReportsFailuresWithExitCodeAndMessage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown pin") << QStringList{"detach", "99"} << 1 << "no handset has the PIN 99";
    QTest::newRow("not a pin") << QStringList{"attach", "abcd"} << 1 << "is not a PIN";
    QTest::newRow("unknown verb") << QStringList{"reboot"} << 1 << "unknown verb";
    QTest::newRow("missing argument") << QStringList{"fail-write-after", "0xABCD"} << 1 << "usage:";
    QTest::newRow("negative count") << QStringList{"fail-write-after", "0xABCD", "-1"} << 1 << "not a packet count";
    QTest::newRow("stall of nothing") << QStringList{"stall-next", "0"} << 1 << "usage:";
    QTest::newRow("module on detached") << QStringList{"install-module", "305419896"} << 1 << "not attached";
    QTest::newRow("no verb") << QStringList{} << 2 << "usage:";
    QTest::newRow("modem not there") << QStringList{"modem-cms-error", "COM3", "42"} << 1
                                     << "no emulated modem on COM3";
    QTest::newRow("modem error out of range") << QStringList{"modem-cms-error", "9", "512"} << 1 << "usage:";
    QTest::newRow("modem pin neither on nor off") << QStringList{"modem-sim-pin", "9", "maybe"} << 1 << "usage:";
}

void TestDesktopMgr::controlReportsFailuresWithExitCodeAndMessage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    // Without a service every verb fails with its own message.
    const ServiceFixture::Run offline = m_fixture->control({QStringLiteral("list")});
    QCOMPARE(offline.exitCode, 1);
    QVERIFY(offline.err.contains(QStringLiteral("not running")));

    QVERIFY(m_fixture->start());
    const ServiceFixture::Run run = m_fixture->control(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.err.startsWith(QStringLiteral("DesktopMgr.exe: ")));
}

void TestDesktopMgr::stateChangesAreSavedKeepingTheRestOfTheFile()
{
    QVERIFY(m_fixture->start());
    QCOMPARE(m_fixture->control({QStringLiteral("attach"), QStringLiteral("0x12345678")}).exitCode, 0);
    QCOMPARE(m_fixture->control({QStringLiteral("install-module"), QStringLiteral("first")}).out,
             QStringLiteral("module installed on ABCD\n"));
    QCOMPARE(m_fixture->control({QStringLiteral("detach"), QStringLiteral("43981")}).exitCode, 0);

    QByteArray expected = kConfig;
    expected.replace("Attached = yes", "Attached=false");
    expected.replace("ModemModel=Veva 9700\n", "ModemModel=Veva 9700\nModuleInstalled=true\n");
    expected.replace("PIN=305419896\nAttached=false", "PIN=305419896\nAttached=true");
    QCOMPARE(readFile(m_fixture->configFile()), expected);

    // The saved state is what the next start sees.
    m_fixture->kill();
    QVERIFY(m_fixture->start());
    QCOMPARE(m_fixture->control({QStringLiteral("list")}).out,
             QStringLiteral("ABCD\t43981\tdetached\tmodule\tDesk phone\n"
                            "12345678\t305419896\tattached\tno-module\t\n"));
}

void TestDesktopMgr::invalidConfigStopsTheStart()
{
    m_fixture->writeConfig("[a]\nPIN=1\n[b]\nPIN=0x1\n");
    const ServiceFixture::Run duplicate = ServiceFixture::runTool(QStringLiteral("DesktopMgr.exe"), {});
    QCOMPARE(duplicate.exitCode, 1);
    QVERIFY(duplicate.err.contains(QStringLiteral("share the PIN 1")));

    const QString other = m_fixture->root() + QStringLiteral("/other.ini");
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[x]\nPIN=7\nColour=red\n");
    file.close();
    const ServiceFixture::Run typo =
        ServiceFixture::runTool(QStringLiteral("DesktopMgr.exe"), {QStringLiteral("--config"), other});
    QCOMPARE(typo.exitCode, 1);
    QVERIFY(typo.err.contains(QStringLiteral("line 3: unknown key \"Colour\"")));
}

void TestDesktopMgr::modemPortIsPublishedWhileRunning()
{
    QVERIFY(m_fixture->start());
    const QList<PortEntry> ports = PortMap::entries();
    QCOMPARE(ports.size(), 1);
    QCOMPARE(ports.at(0).number, 9);
    QCOMPARE(ports.at(0).description, QStringLiteral("Ulmex USB Modem"));

    // The port answers as the handset's modem: manufacturer from the handset file.
    const int fd = ::open(QFile::encodeName(ports.at(0).devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios raw = {};
    if (::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    QCOMPARE(::write(fd, "AT+CGMI\r", 8), ssize_t(8));
    QByteArray answer;
    const QDeadlineTimer deadline(3000);
    while (!answer.contains("OK") && !deadline.hasExpired()) {
        pollfd wait = {fd, POLLIN, 0};
        if (::poll(&wait, 1, 50) > 0) {
            char chunk[256];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got > 0)
                answer.append(chunk, got);
        }
    }
    ::close(fd);
    QVERIFY2(answer.contains("Ulmex"), answer.constData());
}

void TestDesktopMgr::modemSendsIntoTheHandsetOutboxAndObeysControls()
{
    QVERIFY(m_fixture->start());
    ModemTiming timing;
    timing.commandTimeoutMs = 1000;
    timing.retryBackoffMs = 10;

    QCOMPARE(
        m_fixture->control({QStringLiteral("modem-cms-error"), QStringLiteral("COM9"), QStringLiteral("41")}).exitCode,
        0);
    {
        GsmModem modem(9, timing);
        modem.open();
        const GsmModem::Sent sent =
            modem.sendMessage(QStringLiteral("+4412"), QString(155, u'z') + QStringLiteral("€€€€€"));
        QCOMPARE(sent.parts, 2);
        QCOMPARE(sent.retries, 1);
    }
    QList<QJsonObject> lines;
    for (const QByteArray& line :
         readFile(m_fixture->root() + QStringLiteral("/runtime/outbox-ABCD.jsonl")).split('\n')) {
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    QCOMPARE(lines.size(), 2);
    for (int k = 0; k < 2; ++k) {
        QCOMPARE(lines.at(k).value(QStringLiteral("number")).toString(), QStringLiteral("+4412"));
        QCOMPARE(lines.at(k).value(QStringLiteral("via")).toString(), QStringLiteral("COM9"));
        QCOMPARE(lines.at(k).value(QStringLiteral("part")).toInt(), k + 1);
        QCOMPARE(lines.at(k).value(QStringLiteral("parts")).toInt(), 2);
    }
    QCOMPARE(lines.at(0).value(QStringLiteral("ref")), lines.at(1).value(QStringLiteral("ref")));
    QCOMPARE(lines.at(0).value(QStringLiteral("text")).toString() +
                 lines.at(1).value(QStringLiteral("text")).toString(),
             QString(155, u'z') + QStringLiteral("€€€€€"));

    const auto openFails = [&](ModemError::Kind expected) {
        try {
            GsmModem modem(9, timing);
            modem.open();
        } catch (const ModemError& e) {
            return e.kind() == expected;
        }
        return false;
    };
    QCOMPARE(m_fixture->control({QStringLiteral("modem-sim-pin"), QStringLiteral("9"), QStringLiteral("on")}).exitCode,
             0);
    QVERIFY(openFails(ModemError::Kind::SimLocked));
    QCOMPARE(m_fixture->control({QStringLiteral("modem-sim-pin"), QStringLiteral("9"), QStringLiteral("off")}).exitCode,
             0);
    QCOMPARE(m_fixture->control({QStringLiteral("modem-silent"), QStringLiteral("9"), QStringLiteral("on")}).exitCode,
             0);
    QVERIFY(openFails(ModemError::Kind::NotAnswering));
    QCOMPARE(m_fixture->control({QStringLiteral("modem-silent"), QStringLiteral("9"), QStringLiteral("off")}).exitCode,
             0);
    QVERIFY(!openFails(ModemError::Kind::NotAnswering));
}

void TestDesktopMgr::quitEndsTheServiceCleanly()
{
    QVERIFY(m_fixture->start());
    QCOMPARE(m_fixture->control({QStringLiteral("quit")}).exitCode, 0);
    QTRY_VERIFY(!m_fixture->isRunning());
    QVERIFY(!QFile::exists(m_fixture->socketPath()));
    QVERIFY(PortMap::entries().isEmpty());
}

void TestDesktopMgr::madeUpOpsShareOneCounter()
{
    QVERIFY(m_fixture->start());
    auto client = connectedClient(m_fixture->socketPath());
    for (int i = 0; i < 40; ++i)
        client->write(request(i, QStringLiteral("op"), QString::number(i) + QString(60000, QLatin1Char('x'))));
    QCOMPARE(readFrames(*client, 40), 40);
    client->write(request(40, QStringLiteral("op"), QStringLiteral("ping")));
    QCOMPARE(readFrames(*client, 1), 1);

    const ServiceFixture::Run stats = m_fixture->control({QStringLiteral("stats")});
    QCOMPARE(stats.exitCode, 0);
    QVERIFY(stats.out.contains(QStringLiteral("\ncall.unknown=40\n")));
    QVERIFY(stats.out.contains(QStringLiteral("\ncall.ping=1\n")));
    QVERIFY2(stats.out.size() < 4096, qPrintable(QString::number(stats.out.size())));
}

void TestDesktopMgr::floodOfClientsLeavesItReachable_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("counter"); // shows which defence held
    QTest::newRow("clients beyond the room are refused") << QStringList{} << QStringLiteral("connections.refused");
    // Allowed more clients than descriptors: accepting fails, the listener closes and comes back.
    QTest::newRow("listening again after accept fails")
        << QStringList{QStringLiteral("--max-clients"), QStringLiteral("1000")} << QStringLiteral("listen.restarts");
}

void TestDesktopMgr::floodOfClientsLeavesItReachable()
{
    QFETCH(QStringList, args);
    QFETCH(QString, counter);
    QVERIFY(m_fixture->start(args, 64));
    std::vector<std::unique_ptr<QLocalSocket>> flood;
    for (int i = 0; i < 100; ++i)
        flood.push_back(connectedClient(m_fixture->socketPath()));
    QTest::qWait(500); // the service takes or refuses them
    flood.clear();

    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->control({QStringLiteral("list")}).exitCode == 0, 10000);
    QVERIFY(QFile::exists(m_fixture->socketPath()));
    QVERIFY(m_fixture->stat(counter) > 0);
    auto client = connectedClient(m_fixture->socketPath());
    client->write(request(1, QStringLiteral("op"), QStringLiteral("ping")));
    QCOMPARE(readFrames(*client, 1), 1);
}

void TestDesktopMgr::unreadRepliesStayBounded()
{
    QVERIFY(m_fixture->start());
    QFile outbox(m_fixture->root() + QStringLiteral("/runtime/outbox-ABCD.jsonl"));
    QVERIFY(outbox.open(QIODevice::WriteOnly));
    const QByteArray line =
        R"({"time":"2024-05-01T09:30:00.125Z","number":"+4412345","text":")" + QByteArray(900, 'm') + "\"}\n";
    while (outbox.size() < 1024 * 1024)
        outbox.write(line);
    outbox.close();
    const qint64 before = residentKb(m_fixture->pid());
    QVERIFY(before > 0);

    // Asks for the outbox again and again and never reads an answer.
    auto greedy = connectedClient(m_fixture->socketPath());
    for (int i = 0; i < 300; ++i)
        greedy->write(request(i, QStringLiteral("ctl"), QStringLiteral("outbox"), {QStringLiteral("0xABCD")}));
    greedy->flush();
    qint64 last = -1;
    for (int quiet = 0, polls = 0; quiet < 3 && polls < 50; ++polls) {
        QTest::qWait(300);
        const qint64 now = residentKb(m_fixture->pid());
        quiet = now == last ? quiet + 1 : 0;
        last = now;
        QVERIFY2(now - before < 64 * 1024, qPrintable(QStringLiteral("%1 KiB more").arg(now - before)));
    }
    QVERIFY(m_fixture->stat(QStringLiteral("bytes.unsent")) <= 3 * 1024 * 1024);

    // Reading lets the service go on with the waiting requests.
    const qint64 served = m_fixture->stat(QStringLiteral("controls"));
    QCOMPARE(readFrames(*greedy, 10), 10);
    QTRY_VERIFY(m_fixture->stat(QStringLiteral("controls")) > served + 2);
}

void TestDesktopMgr::partialFrameThenSilenceIsDropped()
{
    QVERIFY(m_fixture->start({QStringLiteral("--frame-timeout"), QStringLiteral("300")}));
    auto idle = connectedClient(m_fixture->socketPath());
    auto stalled = connectedClient(m_fixture->socketPath());
    stalled->write(request(1, QStringLiteral("op"), QStringLiteral("ping")).left(7));
    stalled->flush();
    QTRY_COMPARE_WITH_TIMEOUT(stalled->state(), QLocalSocket::UnconnectedState, 10000);
    QCOMPARE(m_fixture->stat(QStringLiteral("clients.dropped")), 1);

    // A client that sends nothing at all is only waiting for its next call.
    QCOMPARE(idle->state(), QLocalSocket::ConnectedState);
    idle->write(request(1, QStringLiteral("op"), QStringLiteral("ping")));
    QCOMPARE(readFrames(*idle, 1), 1);
}

QTEST_GUILESS_MAIN(TestDesktopMgr)
#include "tst_desktopmgr.moc"
