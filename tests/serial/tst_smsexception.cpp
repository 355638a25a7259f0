#include "device/serial/SMSException.h"

#include <QtTest>

class TestSMSException : public QObject
{
    Q_OBJECT

private slots:
    void errorMessage_data();
    void errorMessage();
    void messageIsCappedAndMirroredByWhat();
};

void TestSMSException::errorMessage_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("file not found") << quint32(0x80070002) << QString() << "The system cannot find the file specified.";
    QTest::newRow("access denied") << quint32(0x80070005) << QString() << "Access is denied.";
    QTest::newRow("system message beats the text") << quint32(0x80070005) << "ignored"
                                                   << "Access is denied.";
    QTest::newRow("success is never shown") << quint32(0x80070000) << QString() << QString();
    QTest::newRow("unknown system code shows the text") << quint32(0x80077777) << "modem text"
                                                        << "modem text";
    QTest::newRow("text saying success is dropped")
        << quint32(0x80077777) << "Error: The operation completed successfully." << QString();
    QTest::newRow("protocol error") << quint32(0x80040204) << "AT\r\r\nERROR\r\n"
                                    << "Failed to receive a response from the modem.";
    QTest::newRow("facility 4 uses the resource even for system numbers")
        << quint32(0x80040005) << QString() << QString();
    QTest::newRow("facility 4, other resource") << quint32(0x80040205) << "x"
                                                << "Modem does not support SMS messaging.";
    QTest::newRow("first resource") << quint32(0x80040201) << QString() << "SMSC Number too large to semi-octet encode";
    QTest::newRow("last resource") << quint32(0x8004020A) << QString() << "No message provided to PDU encode";
    QTest::newRow("past the last resource") << quint32(0x8004020B) << "x" << QString();
    QTest::newRow("facility 7 without the failure bit") << quint32(0x00070005) << QString() << "Access is denied.";
    QTest::newRow("high bits beyond the facility are ignored")
        << quint32(0xE0040204) << QString() << "Failed to receive a response from the modem.";
}

void TestSMSException::errorMessage()
{
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const CSMSException e(code, text);
    QCOMPARE(e.errorMessage(), expected);
    QCOMPARE(e.text(), text);
}

void TestSMSException::messageIsCappedAndMirroredByWhat()
{
    const CSMSException longText(0x80079999, QString(10000, QLatin1Char('x')));
    QCOMPARE(longText.errorMessage().size(), CSMSException::MaxMessageLength);

    const CSMSException missing = CSMSException::systemError(2);
    QCOMPARE(missing.code(), quint32(0x80070002));
    QCOMPARE(QString::fromUtf8(missing.what()), missing.errorMessage());
    try {
        throw CSMSException::protocolError(QStringLiteral("partial"));
    } catch (const std::exception& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Failed to receive a response from the modem."));
    }
}

QTEST_GUILESS_MAIN(TestSMSException)
#include "tst_smsexception.moc"
