#include "SerialTestSupport.h"

#include "device/serial/SMSSerialPort.h"

#include <QDir>
#include <QtTest>

#include <thread>

using Mode = EmulatedModem::Config::Mode;

namespace {

constexpr int ShortTimeoutMs = 300;

EmulatedModem::Config withMode(Mode mode)
{
    EmulatedModem::Config config;
    config.mode = mode;
    return config;
}

} // namespace

class TestSMSSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void newPortWaitsFifteenSeconds();
    void echoThenOkOnItsOwnLine();
    void replyInPiecesIsCollectedWhole();
    void nulBytesBecomeSpaces();
    void floodingModemStaysBounded();

    void probe_data();
    void probe();
    void queryModel_data();
    void queryModel();
    void manufacturerAndModel();
    void silentModemGivesProtocolError();
    void errorAnswerGivesProtocolError();

    void missingPortThrowsSystemError();
    void secondOpenOfAPortFails();
    void portVanishingMidWaitThrows();
    void cancelEndsTheWait();
    void enumerationListsPublishedPorts();

private:
    QTemporaryDir m_runtime;
    std::unique_ptr<EmulatedModem> m_modem;
};

void TestSMSSerialPort::initTestCase()
{
    useTemporaryRuntimeFolder(m_runtime);
}

void TestSMSSerialPort::cleanup()
{
    m_modem.reset();
    QDir(m_runtime.path() + QStringLiteral("/ports")).removeRecursively();
}

void TestSMSSerialPort::newPortWaitsFifteenSeconds()
{
    CSMSSerialPort port;
    QCOMPARE(port.responseTimeout(), 15000);
    QVERIFY(!port.IsOpen());
}

void TestSMSSerialPort::echoThenOkOnItsOwnLine()
{
    m_modem = startModem(3);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    QCOMPARE(port.responseTimeout(), ShortTimeoutMs);
    port.Write("AT\r", 3);
    QVERIFY(port.WaitFor("OK"));
    QCOMPARE(port.responseBytes(), QByteArray("AT\r\r\nOK\r\n"));
}

void TestSMSSerialPort::replyInPiecesIsCollectedWhole()
{
    EmulatedModem::Config config;
    config.chunkDelayMs = 100; // the whole reply takes longer than one time-out
    config.chunkSize = 4;
    m_modem = startModem(3, config);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    port.Write("AT+GMI\r", 7);
    QVERIFY(port.WaitFor("OK"));
    QCOMPARE(port.responseBytes(), QByteArray("AT+GMI\r\r\nResearch In Motion\r\n\r\nOK\r\n"));
}

void TestSMSSerialPort::nulBytesBecomeSpaces()
{
    EmulatedModem::Config config;
    config.manufacturer = QByteArray("Research\0In\0\0Motion", 19);
    m_modem = startModem(3, config);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    port.Write("AT+GMI\r", 7);
    QVERIFY(port.WaitFor("OK"));
    QVERIFY(!port.responseBytes().contains('\0'));
    QVERIFY(port.responseText().contains(QStringLiteral("Research In  Motion")));

    port.Open(3, ShortTimeoutMs);
    QCOMPARE(port.QueryManufacturerAndModel().manufacturer, QStringLiteral("Research In  Motion"));
}

void TestSMSSerialPort::floodingModemStaysBounded()
{
    m_modem = startModem(3, withMode(Mode::Flood));
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    port.Write("AT\r", 3);
    try {
        port.WaitFor("OK");
        QFAIL("a modem that never stops sending must end the wait with an error");
    } catch (const CSMSException& e) {
        QCOMPARE(e.code(), CSMSException::ProtocolError);
    }
    QVERIFY(port.responseBytes().size() <= CSMSSerialPort::ResponseCap);
    QVERIFY(port.responseBytes().size() > 0);
    // The probe swallows nothing itself: the scan treats the throw as "no answer".
    QVERIFY_THROWS_EXCEPTION(CSMSException, port.Probe(3, ShortTimeoutMs));
}

void TestSMSSerialPort::probe_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("response");

    QTest::newRow("echo and OK") << int(Mode::Normal) << true << true << QByteArray("AT\r\r\nOK\r\n");
    QTest::newRow("OK without echo") << int(Mode::Normal) << false << true << QByteArray("\r\nOK\r\n");
    QTest::newRow("echo of AT only") << int(Mode::EchoOnly) << true << true << QByteArray("AT");
    QTest::newRow("silent") << int(Mode::Silent) << true << false << QByteArray();
}

void TestSMSSerialPort::probe()
{
    QFETCH(int, mode);
    QFETCH(bool, echo);
    QFETCH(bool, answers);
    QFETCH(QByteArray, response);
    EmulatedModem::Config config = withMode(Mode(mode));
    config.echo = echo;
    m_modem = startModem(3, config);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    QCOMPARE(port.Probe(3, ShortTimeoutMs), answers);
    QCOMPARE(port.responseBytes(), response);
    QVERIFY(port.IsOpen());
    QCOMPARE(m_modem->receivedCommands(), QList<QByteArray>({"AT"}));
}

void TestSMSSerialPort::queryModel_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("gmmAnswer");
    QTest::addColumn<QList<QByteArray>>("failing");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<QByteArray>>("commands");

    const QList<QByteArray> none;
    const QList<QByteArray> plain = {"AT", "AT+GMM"};
    QTest::newRow("quoted MODEL=") << QByteArray("+CGMM: \"MODEL=9700\"") << QByteArray() << none << "9700" << plain;
    QTest::newRow("Undefined falls back to +CGMM") << QByteArray("+CGMM: \"MODEL=9700\"") << QByteArray("Undefined")
                                                   << none << "9700" << QList<QByteArray>({"AT", "AT+GMM", "AT+CGMM"});
    QTest::newRow("Undefined twice stays") << QByteArray("Undefined") << QByteArray() << none << "Undefined"
                                           << QList<QByteArray>({"AT", "AT+GMM", "AT+CGMM"});
    QTest::newRow("brackets and question marks")
        << QByteArray("<BlackBerry 8310?>") << QByteArray() << none << "BlackBerry 8310" << plain;
    QTest::newRow("prefix +GMM") << QByteArray("+GMM: 8800") << QByteArray() << none << "8800" << plain;
    QTest::newRow("OK inside the name is removed too")
        << QByteArray("NOKIA 6230") << QByteArray() << none << "NIA 6230" << plain;
    QTest::newRow("text after MODEL= only")
        << QByteArray("Vendor MODEL=Bold") << QByteArray() << none << "Bold" << plain;
    QTest::newRow("no answer to +GMM") << QByteArray("9700") << QByteArray() << QList<QByteArray>({"AT+GMM"})
                                       << QString() << plain;
}

void TestSMSSerialPort::queryModel()
{
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, gmmAnswer);
    QFETCH(QList<QByteArray>, failing);
    QFETCH(QString, expected);
    QFETCH(QList<QByteArray>, commands);
    EmulatedModem::Config config;
    config.model = model;
    config.gmmAnswer = gmmAnswer;
    config.errorCommands = failing;
    m_modem = startModem(3, config);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    QCOMPARE(port.QueryModel(), expected);
    QCOMPARE(m_modem->receivedCommands(), commands);
}

void TestSMSSerialPort::manufacturerAndModel()
{
    m_modem = startModem(3);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    const CSMSSerialPort::DeviceIdentity identity = port.QueryManufacturerAndModel();
    QCOMPARE(identity.manufacturer, QStringLiteral("Research In Motion"));
    QCOMPARE(identity.model, QStringLiteral("9700"));
    QVERIFY(!port.IsOpen());

    // An "Undefined" manufacturer is asked again with +CGMI.
    EmulatedModem::Config config;
    config.manufacturer = "Undefined";
    m_modem->setConfig(config);
    port.Open(3, ShortTimeoutMs);
    QCOMPARE(port.QueryManufacturerAndModel().manufacturer, QStringLiteral("Undefined"));
    QVERIFY(m_modem->receivedCommands().contains("AT+CGMI"));
}

void TestSMSSerialPort::silentModemGivesProtocolError()
{
    m_modem = startModem(3, withMode(Mode::Silent));
    QVERIFY(m_modem);
    CSMSSerialPort port;
    QVERIFY(!port.Probe(3, ShortTimeoutMs));
    port.Open(3, ShortTimeoutMs);
    try {
        port.QueryManufacturerAndModel();
        QFAIL("a silent modem must not give an identity");
    } catch (const CSMSException& e) {
        QCOMPARE(e.code(), quint32(0x80040204));
        QCOMPARE(e.errorMessage(), QStringLiteral("Failed to receive a response from the modem."));
    }
    QVERIFY(!port.IsOpen());
}

void TestSMSSerialPort::errorAnswerGivesProtocolError()
{
    EmulatedModem::Config config;
    config.errorCommands = {"AT+GMM"};
    m_modem = startModem(3, config);
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    try {
        port.QueryManufacturerAndModel();
        QFAIL("an ERROR answer must end the query with an error");
    } catch (const CSMSException& e) {
        QCOMPARE(e.code(), CSMSException::ProtocolError);
        QCOMPARE(e.text(), QStringLiteral("AT+GMM\r\r\nERROR\r\n"));
    }
}

void TestSMSSerialPort::missingPortThrowsSystemError()
{
    CSMSSerialPort port;
    try {
        port.Open(251, ShortTimeoutMs);
        QFAIL("a port that does not exist cannot open");
    } catch (const CSMSException& e) {
        QCOMPARE(e.code(), quint32(0x80070002));
        QVERIFY(!e.errorMessage().isEmpty());
        QVERIFY(!e.errorMessage().contains(QStringLiteral("completed successfully")));
    }
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.responseTimeout(), 15000);
}

void TestSMSSerialPort::secondOpenOfAPortFails()
{
    m_modem = startModem(3);
    QVERIFY(m_modem);
    CSMSSerialPort scan;
    CSMSSerialPort selection;
    scan.Open(3, ShortTimeoutMs);
    try {
        selection.Open(3, ShortTimeoutMs);
        QFAIL("the port is already open");
    } catch (const CSMSException& e) {
        QCOMPARE(e.code(), quint32(0x80070020));
        QVERIFY(!e.errorMessage().isEmpty());
    }
    // The first holder still talks to the modem.
    scan.Write("AT\r", 3);
    QVERIFY(scan.WaitFor("OK"));
}

void TestSMSSerialPort::portVanishingMidWaitThrows()
{
    m_modem = startModem(3, withMode(Mode::Silent));
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, 20000);
    port.Write("AT\r", 3);
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_modem->stop();
    });
    quint32 code = 0;
    try {
        port.WaitFor("OK");
    } catch (const CSMSException& e) {
        code = e.code();
    }
    unplug.join();
    QCOMPARE(code, quint32(0x8007045D));
    QVERIFY_THROWS_EXCEPTION(CSMSException, port.Write("AT\r", 3));
}

void TestSMSSerialPort::cancelEndsTheWait()
{
    m_modem = startModem(3, withMode(Mode::Silent));
    QVERIFY(m_modem);
    CSMSSerialPort port;
    port.Open(3, 20000);
    std::thread stopper([&port] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.cancelWait();
    });
    const bool found = port.WaitFor("OK");
    stopper.join();
    QVERIFY(!found);
    QVERIFY(port.responseBytes().isEmpty());
}

void TestSMSSerialPort::enumerationListsPublishedPorts()
{
    QVERIFY(PortMap::publish({240, QStringLiteral("/dev/pts/77"), QStringLiteral("Emulated handset")}));
    QVERIFY(PortMap::publish({241, QStringLiteral("/dev/pts/78"), QString()}));
    const CSMSSerialPort::PortList ports = CSMSSerialPort::EnumeratePorts();
    QCOMPARE(ports.numbers.size(), ports.descriptions.size());
    const qsizetype at = ports.numbers.indexOf(240);
    QVERIFY(at >= 0);
    QCOMPARE(ports.descriptions.at(at), QStringLiteral("Emulated handset"));
    QCOMPARE(ports.numbers.value(at + 1), 241);
    QCOMPARE(ports.descriptions.at(at + 1), QString());
}

QTEST_GUILESS_MAIN(TestSMSSerialPort)
#include "tst_smsserialport.moc"
