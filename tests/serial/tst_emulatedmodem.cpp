#include "SerialTestSupport.h"

#include <QFileInfo>
#include <QtTest>

class TestEmulatedModem : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void survivesClientsComingAndGoing();
    void echoSwitchesOffAndOn();
    void overlongLineIsDroppedWhole();
    void stopRemovesThePort();

private:
    static bool openModem(SerialDevice& device, const EmulatedModem& modem)
    {
        return device.openPath(modem.devicePath()) == 0;
    }
};

void TestEmulatedModem::answers_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("AT") << QByteArray("AT\r") << QByteArray("AT\r\r\nOK\r\n");
    QTest::newRow("lower case") << QByteArray("at+gmi\r") << QByteArray("at+gmi\r\r\nResearch In Motion\r\n\r\nOK\r\n");
    QTest::newRow("+CGMI") << QByteArray("AT+CGMI\r") << QByteArray("AT+CGMI\r\r\nResearch In Motion\r\n\r\nOK\r\n");
    QTest::newRow("+GMM") << QByteArray("AT+GMM\r") << QByteArray("AT+GMM\r\r\n+CGMM: \"MODEL=9700\"\r\n\r\nOK\r\n");
    QTest::newRow("+CGMM") << QByteArray("AT+CGMM\r") << QByteArray("AT+CGMM\r\r\n+CGMM: \"MODEL=9700\"\r\n\r\nOK\r\n");
    QTest::newRow("unknown") << QByteArray("AT+CMGF=1\r") << QByteArray("AT+CMGF=1\r\r\nERROR\r\n");
    QTest::newRow("line feed after CR") << QByteArray("AT\r\n") << QByteArray("AT\r\r\nOK\r\n");
    QTest::newRow("two commands in one write")
        << QByteArray("AT\rAT+GMI\r") << QByteArray("AT\r\r\nOK\r\nAT+GMI\r\r\nResearch In Motion\r\n\r\nOK\r\n");
}

void TestEmulatedModem::answers()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    EmulatedModem modem;
    QVERIFY(modem.start());
    SerialDevice device;
    QVERIFY(openModem(device, modem));
    QCOMPARE(device.write(command, 1000), 0u);
    QByteArray got;
    while (got.size() < reply.size() &&
           device.waitForCharacter(1000, nullptr) == SerialDevice::WaitResult::CharacterArrived) {
        QByteArray more;
        QCOMPARE(device.read(more), 0u);
        got += more;
    }
    QCOMPARE(got, reply);
}

void TestEmulatedModem::survivesClientsComingAndGoing()
{
    EmulatedModem modem;
    QVERIFY(modem.start());
    for (int round = 0; round < 3; ++round) {
        SerialDevice device;
        QVERIFY(openModem(device, modem));
        QCOMPARE(exchange(device, "AT\r", "OK\r\n"), QByteArray("AT\r\r\nOK\r\n"));
    }
    QCOMPARE(modem.commandCount(), 3);
    QVERIFY(modem.isRunning());
}

void TestEmulatedModem::echoSwitchesOffAndOn()
{
    EmulatedModem modem;
    QVERIFY(modem.start());
    SerialDevice device;
    QVERIFY(openModem(device, modem));
    QCOMPARE(exchange(device, "ATE0\r", "OK\r\n"), QByteArray("ATE0\r\r\nOK\r\n"));
    QCOMPARE(exchange(device, "AT\r", "OK\r\n"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(exchange(device, "ATE1\r", "OK\r\n"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(exchange(device, "AT\r", "OK\r\n"), QByteArray("AT\r\r\nOK\r\n"));
    QVERIFY(modem.config().echo);
    QCOMPARE(modem.receivedCommands(), QList<QByteArray>({"ATE0", "AT", "ATE1", "AT"}));
}

void TestEmulatedModem::overlongLineIsDroppedWhole()
{
    EmulatedModem modem;
    QVERIFY(modem.start());
    SerialDevice device;
    QVERIFY(openModem(device, modem));
    QCOMPARE(device.write(QByteArray(2000, 'A') + '\r', 1000), 0u);
    QCOMPARE(exchange(device, "AT\r", "OK\r\n"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(modem.commandCount(), 1);
}

void TestEmulatedModem::stopRemovesThePort()
{
    EmulatedModem modem;
    QVERIFY(modem.start());
    const QString path = modem.devicePath();
    QVERIFY(QFileInfo::exists(path));
    modem.stop();
    QVERIFY(!modem.isRunning());
    SerialDevice device;
    QVERIFY(device.openPath(path) != 0);
    QVERIFY(modem.start()); // a stopped modem can start again, on a new terminal
    QVERIFY(openModem(device, modem));
}

QTEST_GUILESS_MAIN(TestEmulatedModem)
#include "tst_emulatedmodem.moc"
