#include "SerialTestSupport.h"

#include "device/serial/SMSSerialPort.h"

#include <QDir>
#include <QtTest>

#include <thread>

using Mode = EmulatedModem::Config::Mode;

namespace {

// Cases that end in a time-out use the short one; the others never wait it out.
constexpr int ShortTimeoutMs = 300;
constexpr int AnswerTimeoutMs = 2000;

// The code of the CSMSException the call throws (0 when none), its message in *message.
template <typename Call> quint32 thrownCode(Call call, QString* message = nullptr)
{
    try {
        call();
    } catch (const CSMSException& e) {
        if (message)
            *message = e.errorMessage();
        return e.code();
    }
    return 0;
}

} // namespace

class TestSMSSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void replyInPiecesIsCollectedWhole();
    void replyOneByteAtATime();
    void nulBytesBecomeSpaces();
    void floodingModemStaysBounded();
    void probe_data();
    void probe();
    void queryModel_data();
    void queryModel();
    void manufacturerAndModel_data();
    void manufacturerAndModel();
    void failedQueries_data();
    void failedQueries();
    void systemErrors();
    void portVanishingMidWaitThrows();

private:
    void startModem3(const EmulatedModem::Config& config = {})
    {
        m_modem = startModem(3, config);
        QVERIFY(m_modem);
    }

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

void TestSMSSerialPort::replyInPiecesIsCollectedWhole()
{
    EmulatedModem::Config config;
    config.chunkDelayMs = 150; // 12 pieces: the whole reply takes longer than one time-out
    config.chunkSize = 3;
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, 1000);
    port.Write("AT+GMI\r", 7);
    QVERIFY(port.WaitFor("OK"));
    QVERIFY(port.responseBytes().startsWith("AT+GMI\r\r\nResearch In Motion\r\n\r\nOK"));
}

// Real USB modems hand over "O" and "K" in separate reads.
void TestSMSSerialPort::replyOneByteAtATime()
{
    EmulatedModem::Config config;
    config.echo = false;
    config.chunkDelayMs = 40;
    config.chunkSize = 1;
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, AnswerTimeoutMs);
    port.Write("AT\r", 3);
    QVERIFY(port.WaitFor("OK"));
    QCOMPARE(port.responseBytes(), QByteArray("\r\nOK"));
}

void TestSMSSerialPort::nulBytesBecomeSpaces()
{
    EmulatedModem::Config config;
    config.manufacturer = QByteArray("Research\0In\0\0Motion", 19);
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, AnswerTimeoutMs);
    QCOMPARE(port.QueryManufacturerAndModel().manufacturer, QStringLiteral("Research In  Motion"));
    QVERIFY(!port.responseBytes().contains('\0'));
}

void TestSMSSerialPort::floodingModemStaysBounded()
{
    EmulatedModem::Config config;
    config.mode = Mode::Flood;
    startModem3(config);
    CSMSSerialPort port;
    QCOMPARE(thrownCode([&] { port.Probe(3, ShortTimeoutMs); }), CSMSException::ProtocolError);
    QVERIFY(port.responseBytes().size() > 0);
    QVERIFY(port.responseBytes().size() <= CSMSSerialPort::ResponseCap);
}

void TestSMSSerialPort::probe_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("response");

    QTest::newRow("echo, then OK on its own line") << int(Mode::Normal) << true << true << QByteArray("AT\r\r\nOK\r\n");
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
    EmulatedModem::Config config;
    config.mode = Mode(mode);
    config.echo = echo;
    startModem3(config);
    CSMSSerialPort port;
    QCOMPARE(port.Probe(3, answers ? AnswerTimeoutMs : ShortTimeoutMs), answers);
    QCOMPARE(port.responseBytes(), response);
    QVERIFY(port.IsOpen()); // the model query follows on the same open port
}

void TestSMSSerialPort::queryModel_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("gmmAnswer");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("askedCgmm");

    QTest::newRow("quoted MODEL=") << QByteArray("+CGMM: \"MODEL=9700\"") << QByteArray() << "9700" << false;
    QTest::newRow("Undefined, then +CGMM")
        << QByteArray("+CGMM: \"MODEL=9700\"") << QByteArray("Undefined") << "9700" << true;
    QTest::newRow("Undefined twice") << QByteArray("Undefined") << QByteArray() << "Undefined" << true;
    QTest::newRow("brackets, question mark") << QByteArray("<8310?>") << QByteArray() << "8310" << false;
    QTest::newRow("OK inside a name goes too") << QByteArray("+GMM: NOKIA") << QByteArray() << "NIA" << false;
    QTest::newRow("text before MODEL=") << QByteArray("Vendor MODEL=Bold") << QByteArray() << "Bold" << false;
}

void TestSMSSerialPort::queryModel()
{
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, gmmAnswer);
    QFETCH(QString, expected);
    QFETCH(bool, askedCgmm);
    EmulatedModem::Config config;
    config.model = model;
    config.gmmAnswer = gmmAnswer;
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, AnswerTimeoutMs);
    QCOMPARE(port.QueryModel(), expected);
    QCOMPARE(m_modem->receivedCommands().contains("AT+CGMM"), askedCgmm);
}

void TestSMSSerialPort::manufacturerAndModel_data()
{
    QTest::addColumn<QByteArray>("gmiAnswer");
    QTest::addColumn<QByteArray>("cgmiAnswer");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("askedCgmi");
    QTest::newRow("+GMI answers") << QByteArray() << QByteArray("Research In Motion") << "Research In Motion" << false;
    QTest::newRow("Undefined, then +CGMI")
        << QByteArray("Undefined") << QByteArray("+CGMI: \"Ulmex\"") << "Ulmex" << true;
    QTest::newRow("Undefined twice") << QByteArray("Undefined") << QByteArray("Undefined") << "Undefined" << true;
}

void TestSMSSerialPort::manufacturerAndModel()
{
    QFETCH(QByteArray, gmiAnswer);
    QFETCH(QByteArray, cgmiAnswer);
    QFETCH(QString, expected);
    QFETCH(bool, askedCgmi);
    EmulatedModem::Config config;
    config.gmiAnswer = gmiAnswer;
    config.manufacturer = cgmiAnswer;
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, AnswerTimeoutMs);
    const CSMSSerialPort::DeviceIdentity identity = port.QueryManufacturerAndModel();
    QCOMPARE(identity.manufacturer, expected);
    QCOMPARE(identity.model, QStringLiteral("9700"));
    QCOMPARE(m_modem->receivedCommands().contains("AT+CGMI"), askedCgmi);
    QVERIFY(!port.IsOpen());
}

void TestSMSSerialPort::failedQueries_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("failing");
    QTest::addColumn<QString>("text");

    QTest::newRow("silent modem") << int(Mode::Silent) << QByteArray() << QString();
    QTest::newRow("ERROR to +GMM") << int(Mode::Normal) << QByteArray("AT+GMM") << "AT+GMM\r\r\nERROR\r\n";
}

void TestSMSSerialPort::failedQueries()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, failing);
    QFETCH(QString, text);
    EmulatedModem::Config config;
    config.mode = Mode(mode);
    config.errorCommands = {failing};
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, ShortTimeoutMs);
    try {
        port.QueryManufacturerAndModel();
        QFAIL("the query must fail");
    } catch (const CSMSException& e) {
        QCOMPARE(e.code(), quint32(0x80040204));
        QCOMPARE(e.text(), text);
        QCOMPARE(e.errorMessage(), QStringLiteral("Failed to receive a response from the modem."));
    }
    QVERIFY(!port.IsOpen());
}

void TestSMSSerialPort::systemErrors()
{
    CSMSSerialPort port;
    QString message;
    QCOMPARE(thrownCode([&] { port.Open(251, ShortTimeoutMs); }, &message), quint32(0x80070002));
    QVERIFY(!message.isEmpty());
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.responseTimeout(), CSMSSerialPort::DefaultTimeoutMs);

    startModem3();
    CSMSSerialPort selection;
    port.Open(3, AnswerTimeoutMs);
    QCOMPARE(thrownCode([&] { selection.Open(3, AnswerTimeoutMs); }, &message), quint32(0x80070020));
    QVERIFY(!message.isEmpty());
    // The first holder keeps talking to the modem, and gives the port up on Close.
    port.Write("AT\r", 3);
    QVERIFY(port.WaitFor("OK"));
    port.Close();
    QCOMPARE(thrownCode([&] { selection.Open(3, AnswerTimeoutMs); }), 0u);
}

void TestSMSSerialPort::portVanishingMidWaitThrows()
{
    EmulatedModem::Config config;
    config.mode = Mode::Silent;
    startModem3(config);
    CSMSSerialPort port;
    port.Open(3, 20000);
    port.Write("AT\r", 3);
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_modem->stop();
    });
    const quint32 code = thrownCode([&] { port.WaitFor("OK"); });
    unplug.join();
    QCOMPARE(code, quint32(0x8007045D)); // ERROR_IO_DEVICE
    QVERIFY(thrownCode([&] { port.Write("AT\r", 3); }) != 0);
}

QTEST_GUILESS_MAIN(TestSMSSerialPort)
#include "tst_smsserialport.moc"
