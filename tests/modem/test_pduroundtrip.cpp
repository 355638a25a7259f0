#include "device/modem/PduCodec.h"
#include "tools/common/SmsSubmitDecoder.h"

#include <QRandomGenerator>
#include <QtTest>

// The program's encoder against the emulated modem's own decoder: random texts
// in every alphabet go out and come back whole, part by part.
class TestPduRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void randomTexts_data();
    void randomTexts();
    void damagedPdusAreRefused_data();
    void damagedPdusAreRefused();
};

namespace {

QString randomText(QRandomGenerator& random, const QString& pool, bool withEmoji, int length)
{
    QString text;
    while (text.size() < length) {
        if (withEmoji && random.bounded(8) == 0)
            text += QString::fromUcs4(U"\U0001F600\U0001F44D\U0001F1EC\U0001F1F7" + random.bounded(4), 1);
        else
            text += pool.at(random.bounded(int(pool.size())));
    }
    return text;
}

} // namespace

void TestPduRoundTrip::randomTexts_data()
{
    QTest::addColumn<QString>("pool");
    QTest::addColumn<bool>("withEmoji");
    const QString gsm = QStringLiteral("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?¡ABCXYZÄÖÑÜ§"
                                       "¿abcxyzäöñüà");
    const QString escapes = QStringLiteral("€[]{}\\~^|\f");
    QTest::newRow("default alphabet") << gsm << false;
    QTest::newRow("with the extension table") << gsm + escapes + escapes << false;
    QTest::newRow("Greek and Cyrillic") << gsm + QStringLiteral("αβγδεζηθ ЖЗИЙ") << false;
    QTest::newRow("emoji") << QStringLiteral("ab €") << true;
    QTest::newRow("CJK") << QStringLiteral("漢字仮名交じり文") << true;
}

void TestPduRoundTrip::randomTexts()
{
    QFETCH(QString, pool);
    QFETCH(bool, withEmoji);
    QRandomGenerator random(20240501);
    for (int round = 0; round < 150; ++round) {
        const int length = round < 50 ? random.bounded(1, 161) : random.bounded(1, 1200);
        const QString text = randomText(random, pool, withEmoji, length);
        const bool international = random.bounded(2);
        // A national number never starts with "00": that is the international prefix.
        QString digits = QChar(u'1' + random.bounded(9));
        for (int i = random.bounded(0, 15); i > 0; --i)
            digits += QChar(u'0' + random.bounded(10));
        Pdu::SubmitOptions options;
        options.concatReference = quint8(random.bounded(256));
        const Pdu::Encoded encoded =
            Pdu::encodeSubmit((international ? QStringLiteral("00") : QString()) + digits, text, options);
        QCOMPARE(encoded.error, Pdu::Error::None);

        QString joined;
        const int count = int(encoded.tpdus.size());
        for (int k = 0; k < count; ++k) {
            QString error;
            const auto decoded = decodeSubmit(Pdu::commandHex(encoded.tpdus.at(k)), &error);
            QVERIFY2(decoded, qPrintable(error + QStringLiteral(" in ") + text));
            QCOMPARE(decoded->number, (international ? QStringLiteral("+") : QString()) + digits);
            QCOMPARE(decoded->part, k + 1);
            QCOMPARE(decoded->parts, count);
            QCOMPARE(decoded->reference, count > 1 ? int(options.concatReference) : -1);
            QCOMPARE(decoded->tpduLength, int(encoded.tpdus.at(k).size()));
            joined += decoded->text;
        }
        QCOMPARE(joined, text);
    }
}

// What the emulated modem answers with +CMS ERROR: 304 rather than sending.
void TestPduRoundTrip::damagedPdusAreRefused_data()
{
    QTest::addColumn<QByteArray>("pdu");
    const QByteArray good =
        Pdu::commandHex(Pdu::encodeSubmit(QStringLiteral("+4412"), QStringLiteral("hello")).tpdus.first());
    QTest::newRow("cut short") << good.left(good.size() - 2);
    QTest::newRow("trailing octet") << good + "00";
    QTest::newRow("odd digit count") << good + "0";
    QTest::newRow("not hex") << QByteArray(good).replace(4, 1, "G");
    QTest::newRow("deliver, not submit") << QByteArray(good).replace(2, 2, "00");
    QTest::newRow("address too long") << QByteArray("000100159100000000000000000000000000") + good.mid(20);
    QTest::newRow("header longer than the data") << QByteArray("004100049144210000020A00");
    QTest::newRow("empty") << QByteArray();
}

void TestPduRoundTrip::damagedPdusAreRefused()
{
    QFETCH(QByteArray, pdu);
    QString error;
    QVERIFY(!decodeSubmit(pdu, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_APPLESS_MAIN(TestPduRoundTrip)
#include "test_pduroundtrip.moc"
