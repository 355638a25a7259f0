// The handset file of the device service and the reading of message packets.

#include "tools/desktopmgr/HandsetConfig.h"
#include "tools/desktopmgr/Outbox.h"

#include <QtTest>

class TestHandsetConfig : public QObject
{
    Q_OBJECT

private slots:
    void pins_data();
    void pins();
    void handsetsAndPropertiesKeepFileOrder();
    void invalidFilesNameTheLine_data();
    void invalidFilesNameTheLine();
    void changesRewriteOnlyTheirValue();
    void messagePacketsSplitAtTheLastSeparator_data();
    void messagePacketsSplitAtTheLastSeparator();
};

void TestHandsetConfig::pins_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("pin");
    QTest::addColumn<QString>("shown");

    QTest::newRow("decimal") << "43981" << true << 43981u << QStringLiteral("ABCD");
    QTest::newRow("hex") << "0xabcd" << true << 0xABCDu << QStringLiteral("ABCD");
    QTest::newRow("hex upper prefix") << " 0XFFFFFFFF " << true << 0xFFFFFFFFu << QStringLiteral("FFFFFFFF");
    QTest::newRow("largest decimal") << "4294967295" << true << 0xFFFFFFFFu << QStringLiteral("FFFFFFFF");
    QTest::newRow("leading zeros") << "0x00F0" << true << 0xF0u << QStringLiteral("F0");
    QTest::newRow("33 bits") << "4294967296" << false << 0u << QStringLiteral("");
    QTest::newRow("nine hex digits") << "0x100000000" << false << 0u << QStringLiteral("");
    QTest::newRow("zero") << "0" << false << 0u << QStringLiteral("");
    QTest::newRow("bare hex") << "ABCD" << false << 0u << QStringLiteral("");
    QTest::newRow("negative") << "-5" << false << 0u << QStringLiteral("");
    QTest::newRow("prefix only") << "0x" << false << 0u << QStringLiteral("");
}

void TestHandsetConfig::pins()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(quint32, pin);
    QFETCH(QString, shown);
    quint32 parsed = 0;
    QCOMPARE(parsePin(text, &parsed), ok);
    QCOMPARE(parsed, pin);
    if (ok)
        QCOMPARE(pinText(parsed), shown);
}

void TestHandsetConfig::handsetsAndPropertiesKeepFileOrder()
{
    HandsetConfig config;
    QString error;
    QVERIFY2(config.parse("[zulu]\r\nPIN=9\r\n"
                          "[alpha]\npin=0x10\nATTACHED=no\nProperty.bbpin=\"7\"\nProperty.Zone=-3\nProperty.Name=x y\n"
                          "ModemCom=4\nModemMode=Silent\n",
                          &error),
             qPrintable(error));
    QCOMPARE(config.handsets().size(), 2);
    QCOMPARE(config.handsets().at(0).section, QStringLiteral("zulu"));
    QVERIFY(config.handsets().at(0).attached);
    QVERIFY(!config.handsets().at(0).moduleInstalled);
    const HandsetSpec& alpha = config.handsets().at(1);
    QCOMPARE(alpha.pin, 16u);
    QVERIFY(!alpha.attached);
    QCOMPARE(alpha.modemCom, 4);
    QCOMPARE(alpha.modemMode, QStringLiteral("silent"));
    QCOMPARE(alpha.extraProperties.size(), 3);
    QCOMPARE(alpha.extraProperties.at(0).name, QStringLiteral("bbpin"));
    QCOMPARE(alpha.extraProperties.at(0).value, Variant::fromString(QStringLiteral("7")));
    QCOMPARE(alpha.extraProperties.at(1).value, Variant::fromInt32(-3));
    QCOMPARE(alpha.extraProperties.at(2).value, Variant::fromString(QStringLiteral("x y")));
}

void TestHandsetConfig::invalidFilesNameTheLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("value before section") << QByteArray("PIN=1\n") << "line 1: value outside";
    QTest::newRow("unclosed section") << QByteArray("[a\nPIN=1\n") << "line 1: section header";
    QTest::newRow("no equals") << QByteArray("[a]\nPIN 1\n") << "line 2: expected key=value";
    QTest::newRow("bad pin") << QByteArray("[a]\n\nPIN=0x\n") << "line 3: PIN";
    QTest::newRow("bad bool") << QByteArray("[a]\nPIN=1\nAttached=maybe\n") << "line 3: Attached";
    QTest::newRow("pin missing") << QByteArray("[a]\nDescription=x\n") << "[a] has no PIN";
    QTest::newRow("same section twice") << QByteArray("[a]\nPIN=1\n[A]\nPIN=2\n") << "line 3: section [A]";
    QTest::newRow("shared COM port") << QByteArray("[a]\nPIN=1\nModemCom=3\n[b]\nPIN=2\nModemCom=3\n") << "share COM3";
    QTest::newRow("property hides the PIN") << QByteArray("[a]\nPIN=1\nProperty.BBPIN=2\n") << "line 3: property BBPIN";
    QTest::newRow("COM out of range") << QByteArray("[a]\nPIN=1\nModemCom=256\n") << "line 3: ModemCom";
}

void TestHandsetConfig::invalidFilesNameTheLine()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    HandsetConfig config;
    QVERIFY(config.parse("[keep]\nPIN=1\n", nullptr));
    QString error;
    QVERIFY(!config.parse(text, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(config.handsets().size(), 1); // the old content stays
}

void TestHandsetConfig::changesRewriteOnlyTheirValue()
{
    HandsetConfig config;
    QString error;
    const QByteArray original = "; handsets\n[a]\nPIN=1\n  attached = yes\n\n; spare\n[b]\nPIN=2\n# last\n";
    QVERIFY(config.parse(original, &error));
    config.setAttached(0, false);
    config.setModuleInstalled(1, true);
    config.setModuleInstalled(1, false);
    QCOMPARE(
        config.text(),
        QByteArray("; handsets\n[a]\nPIN=1\nattached=false\n\n; spare\n[b]\nPIN=2\nModuleInstalled=false\n# last\n"));
    HandsetConfig again;
    QVERIFY(again.parse(config.text(), &error));
    QVERIFY(!again.handsets().at(0).attached);
    QVERIFY(!again.handsets().at(1).moduleInstalled);
}

void TestHandsetConfig::messagePacketsSplitAtTheLastSeparator_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("number");

    QTest::newRow("plain") << QByteArray("Hi\xA7+123") << true << "Hi"
                           << "+123";
    QTest::newRow("separator in text") << QByteArray("a\xA7 b\xA7"
                                                     "0044-1")
                                       << true << "a\u00a7 b"
                                       << "0044-1";
    QTest::newRow("empty text") << QByteArray("\xA7"
                                              "5")
                                << true << ""
                                << "5";
    QTest::newRow("line breaks kept") << QByteArray("x\r\ny\xA7"
                                                    "7")
                                      << true << "x\r\ny"
                                      << "7";
    QTest::newRow("no separator") << QByteArray("Hi 123") << false << ""
                                  << "";
    QTest::newRow("no number") << QByteArray("Hi\xA7") << false << ""
                               << "";
    QTest::newRow("plus alone") << QByteArray("Hi\xA7+") << false << ""
                                << "";
    QTest::newRow("plus inside") << QByteArray("Hi\xA7"
                                               "1+2")
                                 << false << ""
                                 << "";
    QTest::newRow("letters") << QByteArray("Hi\xA7"
                                           "12a")
                             << false << ""
                             << "";
    QTest::newRow("blank after") << QByteArray("Hi\xA7"
                                               "12 ")
                                 << false << ""
                                 << "";
}

void TestHandsetConfig::messagePacketsSplitAtTheLastSeparator()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    QFETCH(QString, number);
    OutboxRecord record;
    QCOMPARE(splitMessagePacket(packet, &record), ok);
    QCOMPARE(record.text, text);
    QCOMPARE(record.number, number);
}

QTEST_GUILESS_MAIN(TestHandsetConfig)
#include "tst_handsetconfig.moc"
