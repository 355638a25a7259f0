#include "device/modem/PduCodec.h"

#include <QtTest>

namespace {

QByteArray hex(const QList<QByteArray>& tpdus)
{
    QByteArray out;
    for (const QByteArray& t : tpdus)
        out += (out.isEmpty() ? "" : " ") + t.toHex().toUpper();
    return out;
}

// The first 153 characters of the three-part message published below.
const QString kLorem = QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipisicing elit, sed do eiusmod tempor "
                                      "incididunt ut labore et dolore magna aliqua.Ut enim ad minim veniam, quis");

} // namespace

class TestPduCodec : public QObject
{
    Q_OBJECT

private slots:
    void publishedSubmits_data();
    void publishedSubmits();
    void packing_data();
    void packing();
    void addresses_data();
    void addresses();
    void splitting_data();
    void splitting();
    void concatenatedParts();
    void refusals_data();
    void refusals();
    void counterTip_data();
    void counterTip();
    void statusReportRequest();
    void statusReports_data();
    void statusReports();
};

// Whole SMS-SUBMIT TPDUs (the "00" service centre octet left off) and where each was published.
void TestPduCodec::publishedSubmits_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("validity"); // -1: no TP-VP
    QTest::addColumn<QByteArray>("tpdu");

    // dreamfabric.com "SMS and the PDU format", SMS-SUBMIT example: "hellohello" to +46708251358.
    QTest::newRow("international, 7-bit") << QStringLiteral("+46708251358") << QStringLiteral("hellohello") << 0xAA
                                          << QByteArray("11000B916407281553F80000AA0AE8329BFD4697D9EC37");
    // Nordic Semiconductor nRF91 AT command reference, AT+CMGS example (the PDU's own text is lower case).
    QTest::newRow("twelve digits, 32 septets")
        << QStringLiteral("+358401234567") << QStringLiteral("Testing a sms messaging over lte") << 0x0B
        << QByteArray("11000C9153481032547600000B20D4F29C9E769F4161D0BC3D07B5CBF379F89C769F416F7B590E62D3CB");
    // "SMS PDU mode, data format and length calculation" (9cbs.com): "hello" to the national number 1234567,
    // its address as in the page's second example (07 81 21 43 65 F7; the first one swaps two digits).
    QTest::newRow("national number") << QStringLiteral("1234567") << QStringLiteral("hello") << 0xAA
                                     << QByteArray("11000781214365F70000AA05E8329BFD06");
    // The same number written with the "00" international prefix, as the recipient list stores '+'.
    QTest::newRow("00 read as international") << QStringLiteral("0046708251358") << QStringLiteral("hellohello") << 0xAA
                                              << QByteArray("11000B916407281553F80000AA0AE8329BFD4697D9EC37");
    // edaboard.com thread "send concatenated SMS in PDU mode": "TEST" (number masked there; ours is made up).
    QTest::newRow("no validity period") << QStringLiteral("+919876543210") << QStringLiteral("TEST") << -1
                                        << QByteArray("01000C91198967452301000004D4E2940A");
    // User data of the emoji example in Sinch's "EMOJI / Emoticons Characters" article (DCS UCS2, 32 octets),
    // behind the TP fields of TS 23.040 9.2.2.2: surrogate pairs are sent as they are.
    QTest::newRow("UCS-2 with emoji")
        << QStringLiteral("+449876543210")
        << QStringLiteral("\U0001F603\U0001F1EF\U0001F1F5\U0001F1EB\U0001F1F7\U0001F1EC\U0001F1E7\U0001F440") << -1
        << QByteArray("01000C91448967452301000820D83DDE03D83CDDEFD83CDDF5D83CDDEBD83CDDF7D83CDDECD83CDDE7D83DDC40");
    // Escapes of TS 23.038 6.2.1.1: '€' is 1B 65, '[' 1B 3C, ']' 1B 3E; "5" between them.
    QTest::newRow("7-bit with escapes") << QStringLiteral("+4412") << QStringLiteral("[5\u20AC]") << -1
                                        << QByteArray("0100049144210000071B5E6D53DEF800");
    // Greek beyond the default alphabet's capitals: the whole text goes in UCS-2 (TS 23.038 4, DCS 08).
    QTest::newRow("Greek in UCS-2") << QStringLiteral("+302101234567") << QStringLiteral("\u039A\u03B1\u03BB\u03B7")
                                    << -1 << QByteArray("01000C91031210325476000808039A03B103BB03B7");
}

void TestPduCodec::publishedSubmits()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(int, validity);
    QFETCH(QByteArray, tpdu);
    Pdu::SubmitOptions options;
    if (validity >= 0)
        options.validity = quint8(validity);
    const Pdu::Encoded encoded = Pdu::encodeSubmit(number, text, options);
    QCOMPARE(encoded.error, Pdu::Error::None);
    QCOMPARE(hex(encoded.tpdus), tpdu);
    QCOMPARE(Pdu::commandHex(encoded.tpdus.first()), "00" + tpdu);
}

void TestPduCodec::packing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fill");
    QTest::addColumn<QByteArray>("packed");
    // Wikipedia "Concatenated SMS", PDU mode: "Hello world" without and with the fill bit after a 6-octet header.
    QTest::newRow("no fill") << QStringLiteral("Hello world") << 0 << QByteArray("C8329BFD06DDDF723619");
    QTest::newRow("one fill bit") << QStringLiteral("Hello world") << 1 << QByteArray("906536FB0DBABFE56C32");
    // Eight septets fill seven octets exactly; a ninth starts an eighth octet.
    QTest::newRow("eight septets") << QStringLiteral("AAAAAAAA") << 0 << QByteArray("C16030180C0683");
    QTest::newRow("nine septets") << QStringLiteral("AAAAAAAAA") << 0 << QByteArray("C16030180C068341");
    QTest::newRow("nothing") << QString() << 0 << QByteArray();
}

void TestPduCodec::packing()
{
    QFETCH(QString, text);
    QFETCH(int, fill);
    QFETCH(QByteArray, packed);
    const auto septets = Pdu::toGsm7(text);
    QVERIFY(septets);
    QCOMPARE(Pdu::packSeptets(*septets, fill).toHex().toUpper(), packed);
}

void TestPduCodec::addresses_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<Pdu::Error>("error");
    // Neoway N11 AT manual, +CMGS in PDU mode: the national number 13421839693.
    QTest::newRow("national, odd length")
        << QStringLiteral("13421839693") << QByteArray("0B813124819396F3") << Pdu::Error::None;
    QTest::newRow("list form 00") << QStringLiteral("0044-7700 900123") << QByteArray("0C91447700091032")
                                  << Pdu::Error::None;
    QTest::newRow("plus") << QStringLiteral("+447700900123") << QByteArray("0C91447700091032") << Pdu::Error::None;
    QTest::newRow("twenty digits") << QStringLiteral("12345678901234567890") << QByteArray("148121436587092143658709")
                                   << Pdu::Error::None;
    QTest::newRow("twenty-one digits") << QStringLiteral("123456789012345678901") << QByteArray()
                                       << Pdu::Error::NumberTooLong;
    QTest::newRow("only a plus") << QStringLiteral("+") << QByteArray() << Pdu::Error::NumberInvalid;
    QTest::newRow("letters") << QStringLiteral("0800CALLME") << QByteArray() << Pdu::Error::NumberInvalid;
    QTest::newRow("plus inside") << QStringLiteral("44+12") << QByteArray() << Pdu::Error::NumberInvalid;
}

void TestPduCodec::addresses()
{
    QFETCH(QString, number);
    QFETCH(QByteArray, address);
    QFETCH(Pdu::Error, error);
    Pdu::Error got = Pdu::Error::None;
    const auto encoded = Pdu::encodeAddress(number, &got);
    QCOMPARE(got, error);
    QCOMPARE(encoded.value_or(QByteArray()).toHex().toUpper(), address);
}

void TestPduCodec::splitting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Pdu::Coding>("coding");
    QTest::addColumn<QList<int>>("sizes"); // septets, or UCS-2 octets, per part

    const QString a160(160, u'a');
    QTest::newRow("160 septets fit one") << a160 << Pdu::Coding::Gsm7 << QList<int>{160};
    QTest::newRow("161 need two") << a160 + u'a' << Pdu::Coding::Gsm7 << QList<int>{153, 8};
    QTest::newRow("escapes count twice") << QString(80, u'{') << Pdu::Coding::Gsm7 << QList<int>{160};
    QTest::newRow("escape kept whole at the cut") << QString(152, u'a') + QStringLiteral("\u20ACb") + QString(10, u'c')
                                                  << Pdu::Coding::Gsm7 << QList<int>{152, 13};
    QTest::newRow("three parts") << QString(459, u'x') << Pdu::Coding::Gsm7 << QList<int>{153, 153, 153};
    QTest::newRow("Greek capitals of the default alphabet")
        << QString(70, u'\u03A9') << Pdu::Coding::Gsm7 << QList<int>{70};
    QTest::newRow("70 UCS-2 units") << QString(70, u'\u03C9') << Pdu::Coding::Ucs2 << QList<int>{140};
    QTest::newRow("71 UCS-2 units") << QString(71, u'\u03C9') << Pdu::Coding::Ucs2 << QList<int>{134, 8};
    QTest::newRow("surrogate pair kept whole")
        << QString(66, u'\u03C9') + QStringLiteral("\U0001F600") + QString(4, u'\u03C9') << Pdu::Coding::Ucs2
        << QList<int>{132, 12};
    QTest::newRow("one foreign letter makes it all UCS-2")
        << QString(100, u'a') + QStringLiteral("\u00E7") << Pdu::Coding::Ucs2 << QList<int>{134, 68};
}

void TestPduCodec::splitting()
{
    QFETCH(QString, text);
    QFETCH(Pdu::Coding, coding);
    QFETCH(QList<int>, sizes);
    const Pdu::Segments s = Pdu::split(text);
    QCOMPARE(s.coding, coding);
    QList<int> got;
    for (const QByteArray& part : s.parts)
        got.append(int(part.size()));
    QCOMPARE(got, sizes);
}

// shekharbiradar.wordpress.com "Send and Receive Concatenated SMS in PDU mode": part 1 of 3 with reference 0.
void TestPduCodec::concatenatedParts()
{
    const QByteArray publishedFirst =
        "41000C911999083196770000A0050003000301986F79B90D4AC3E7F53688FC66BFE5A0799A0E0AB7CB741668FC76CFCB637A995E97"
        "83C2E4343C3D4F8FD3EE33A8CC4ED359A079990C22BF41E5747DDE7E9341F4721BFE9683D2EE719A9C26D7DD74509D0E6287C56F79"
        "1954A683C86FF65B5E06B5C36777181466A7E3F5B0AB4A0795DDE936284C06B5D3EE741B642FBBD3E1360B14AFA7E7";
    const QString rest =
        QStringLiteral(" nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat.");
    const QString text = kLorem + QString(153, u'-') + rest;
    const Pdu::Encoded e = Pdu::encodeSubmit(QStringLiteral("+919980136977"), text, {});
    QCOMPARE(e.tpdus.size(), 3);
    QCOMPARE(e.tpdus.at(0).toHex().toUpper(), publishedFirst);
    // Parts 2 and 3: same reference, their own numbers, UDL = 7 header septets + text.
    QCOMPARE(e.tpdus.at(1).mid(12, 7).toHex().toUpper(), QByteArray("A0050003000302"));
    QCOMPARE(e.tpdus.at(2).mid(12, 7).toHex().toUpper(), QByteArray("55050003000303"));
    QCOMPARE(e.tpdus.at(2).size(), 13 + ((7 + rest.size()) * 7 + 7) / 8);
}

void TestPduCodec::refusals_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Pdu::Error>("error");
    QTest::newRow("empty text") << QStringLiteral("123") << QString() << Pdu::Error::NoMessage;
    QTest::newRow("bad number") << QStringLiteral("abc") << QStringLiteral("x") << Pdu::Error::NumberInvalid;
    QTest::newRow("255 parts still go") << QStringLiteral("123") << QString(255 * 153, u'a') << Pdu::Error::None;
    QTest::newRow("256 parts do not") << QStringLiteral("123") << QString(255 * 153 + 1, u'a')
                                      << Pdu::Error::TooManyParts;
}

void TestPduCodec::refusals()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(Pdu::Error, error);
    const Pdu::Encoded e = Pdu::encodeSubmit(number, text);
    QCOMPARE(e.error, error);
    QCOMPARE(e.tpdus.isEmpty(), error != Pdu::Error::None);
}

void TestPduCodec::counterTip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::newRow("empty") << QString() << QStringLiteral("GSM 7-bit, 1 SMS (160 characters left before a second)");
    QTest::newRow("escapes") << QStringLiteral("[x]")
                             << QStringLiteral("GSM 7-bit, 1 SMS (155 characters left before a second)");
    QTest::newRow("two parts") << QString(200, u'a')
                               << QStringLiteral("GSM 7-bit, 2 SMS (106 characters left before a third)");
    QTest::newRow("eight parts") << QString(153 * 7 + 1, u'a')
                                 << QStringLiteral("GSM 7-bit, 8 SMS (152 characters left before a ninth)");
    QTest::newRow("ten parts") << QString(153 * 10, u'a')
                               << QStringLiteral("GSM 7-bit, 10 SMS (0 characters left before an eleventh)");
    QTest::newRow("unicode") << QString(140, u'\u00E7') << QStringLiteral("Unicode (UCS-2), 3 SMS");
}

void TestPduCodec::counterTip()
{
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QCOMPARE(Pdu::counterTip(text), tip);
}

// TP-SRR (bit 5 of the first octet) in every part, and nothing else changed.
void TestPduCodec::statusReportRequest()
{
    const QString text(200, u'a');
    Pdu::SubmitOptions plain;
    plain.concatReference = 7;
    Pdu::SubmitOptions asking = plain;
    asking.statusReport = true;
    const Pdu::Encoded without = Pdu::encodeSubmit(QStringLiteral("+447700900001"), text, plain);
    const Pdu::Encoded with = Pdu::encodeSubmit(QStringLiteral("+447700900001"), text, asking);
    QCOMPARE(with.tpdus.size(), 2);
    for (int k = 0; k < 2; ++k) {
        QCOMPARE(quint8(with.tpdus.at(k).at(0)), quint8(without.tpdus.at(k).at(0) | 0x20));
        QCOMPARE(with.tpdus.at(k).mid(1), without.tpdus.at(k).mid(1));
    }
}

// SMS-STATUS-REPORTs as +CDS gives them: service centre address, first octet,
// TP-MR, TP-RA, TP-SCTS, TP-DT, TP-ST.
void TestPduCodec::statusReports_data()
{
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("reference");
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<QDateTime>("discharge");
    QTest::addColumn<int>("status");

    const QByteArray smsc = "07911326040000F0";
    QTest::newRow("delivered, international, zone +01:00")
        << smsc + "062A0C91447700090010" + "62219031500340" + "62219031505440" + "00" << true << 42
        << QStringLiteral("+447700900001") << QDateTime(QDate(2026, 12, 9), QTime(13, 5, 45), Qt::OffsetFromUTC, 3600)
        << 0;
    QTest::newRow("expired, national, zone -05:00")
        << smsc + "06FF0A817007900010" + "5210101200000A" + "5210102200000A" + "46" << true << 255
        << QStringLiteral("0770090001") << QDateTime(QDate(2025, 1, 1), QTime(22, 0, 0), Qt::OffsetFromUTC, -5 * 3600)
        << 0x46;
    QTest::newRow("no service centre address, odd digit count")
        << QByteArray("00") + "06050B919471615243F1" + "62219031500300" + "62219031500300" + "21" << true << 5
        << QStringLiteral("+49171625341") << QDateTime(QDate(2026, 12, 9), QTime(13, 5, 30), Qt::OffsetFromUTC, 0)
        << 0x21;
    QTest::newRow("an SMS-SUBMIT") << QByteArray("0011000B916407281553F80000AA0AE8329BFD4697D9EC37") << false << 0
                                   << QString() << QDateTime() << 0;
    QTest::newRow("cut short") << smsc + "062A0C91447700090010" + "622190315003" << false << 0 << QString()
                               << QDateTime() << 0;
    QTest::newRow("month 13") << smsc + "062A0C91447700090010" + "62319031500340" + "62219031505440" + "00" << false
                              << 0 << QString() << QDateTime() << 0;
    QTest::newRow("not hexadecimal") << QByteArray("07911326040000F0062A0C9144770009001Z") << false << 0 << QString()
                                     << QDateTime() << 0;
}

void TestPduCodec::statusReports()
{
    QFETCH(QByteArray, pdu);
    QFETCH(bool, valid);
    const std::optional<Pdu::StatusReport> report = Pdu::decodeStatusReport(pdu);
    QCOMPARE(report.has_value(), valid);
    if (!valid)
        return;
    QTEST(report->reference, "reference");
    QTEST(report->recipient, "recipient");
    QFETCH(QDateTime, discharge);
    QCOMPARE(report->dischargeTime, discharge);
    QCOMPARE(report->dischargeTime.offsetFromUtc(), discharge.offsetFromUtc());
    QTEST(report->status, "status");
}

QTEST_APPLESS_MAIN(TestPduCodec)
#include "test_pducodec.moc"
