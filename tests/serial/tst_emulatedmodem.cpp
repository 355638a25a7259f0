#include "SerialTestSupport.h"

#include <QtTest>

class TestEmulatedModem : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void survivesClientsComingAndGoing();
    void overlongLineIsDroppedWhole();
};

void TestEmulatedModem::answers_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("lower case") << QByteArray("at+gmi\r") << QByteArray("at+gmi\r\r\nResearch In Motion\r\n\r\nOK\r\n");
    QTest::newRow("+CGMM") << QByteArray("AT+CGMM\r") << QByteArray("AT+CGMM\r\r\n+CGMM: \"MODEL=9700\"\r\n\r\nOK\r\n");
    QTest::newRow("unknown") << QByteArray("AT+CSQ\r") << QByteArray("AT+CSQ\r\r\nERROR\r\n");
    QTest::newRow("SIM ready") << QByteArray("AT+CPIN?\r") << QByteArray("AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
    QTest::newRow("no sending in text mode")
        << QByteArray("AT+CMGS=20\r") << QByteArray("AT+CMGS=20\r\r\n+CMS ERROR: 303\r\n");
    QTest::newRow("prompt in PDU mode") << QByteArray("ATE0\rAT+CMGF=0\rAT+CMGS=20\r")
                                        << QByteArray("ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> ");
    QTest::newRow("escape drops the PDU") << QByteArray("ATE0\rAT+CMGF=0\rAT+CMGS=20\r0011\x1B")
                                          << QByteArray("ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\nOK\r\n");
    QTest::newRow("echo off, then AT") << QByteArray("ATE0\rAT\r") << QByteArray("ATE0\r\r\nOK\r\n\r\nOK\r\n");
    QTest::newRow("line feed after CR") << QByteArray("AT\r\nAT\r") << QByteArray("AT\r\r\nOK\r\nAT\r\r\nOK\r\n");
}

void TestEmulatedModem::answers()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    EmulatedModem modem;
    QVERIFY(modem.start());
    SerialDevice device;
    QCOMPARE(device.openPath(modem.devicePath()), 0u);
    QCOMPARE(device.write(command, 1000), 0u);
    QByteArray got;
    QByteArray more;
    while (got.size() < reply.size() &&
           device.waitForCharacter(2000, nullptr) == SerialDevice::WaitResult::CharacterArrived) {
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
        QCOMPARE(device.openPath(modem.devicePath()), 0u);
        QCOMPARE(exchange(device, "AT\r", "OK\r\n"), QByteArray("AT\r\r\nOK\r\n"));
    }
    QCOMPARE(modem.commandCount(), 3);
}

void TestEmulatedModem::overlongLineIsDroppedWhole()
{
    EmulatedModem modem;
    QVERIFY(modem.start());
    SerialDevice device;
    QCOMPARE(device.openPath(modem.devicePath()), 0u);
    QCOMPARE(device.write(QByteArray(2000, 'A') + '\r', 1000), 0u);
    QCOMPARE(exchange(device, "AT\r", "OK\r\n"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(modem.receivedCommands(), QList<QByteArray>({"AT"}));
}

QTEST_GUILESS_MAIN(TestEmulatedModem)
#include "tst_emulatedmodem.moc"
