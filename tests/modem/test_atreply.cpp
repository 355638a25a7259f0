#include "device/modem/AtReply.h"

#include <QRandomGenerator>
#include <QtTest>

using Status = AtReply::Status;

// Recorded answers: each must read the same whole, one byte at a time and in
// random pieces, and every unfinished prefix must read as unfinished.
class TestAtReply : public QObject
{
    Q_OBJECT

private slots:
    void transcripts_data();
    void transcripts();
    void prefixesAreUnfinished();
};

void TestAtReply::transcripts_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("promptExpected");
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("value"); // of the "+CMGS:" or "+CPIN:" line

    QTest::newRow("ok with echo") << QByteArray("AT\r\r\nOK\r\n") << false << Status::Ok << -1 << QByteArray();
    QTest::newRow("pin ready") << QByteArray("\r\n+CPIN: READY\r\n\r\nOK\r\n") << false << Status::Ok << -1
                               << QByteArray("READY");
    QTest::newRow("pin asked") << QByteArray("AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n") << false << Status::Ok << -1
                               << QByteArray("SIM PIN");
    QTest::newRow("prompt") << QByteArray("\r\n> ") << true << Status::Prompt << -1 << QByteArray();
    QTest::newRow("bare prompt") << QByteArray(">") << true << Status::Prompt << -1 << QByteArray();
    QTest::newRow("refused before the prompt")
        << QByteArray("\r\n+CMS ERROR: 311\r\n") << true << Status::CmsError << 311 << QByteArray();
    QTest::newRow("sent") << QByteArray("\r\n+CMGS: 17\r\n\r\nOK\r\n") << false << Status::Ok << -1 << QByteArray("17");
    QTest::newRow("network error") << QByteArray("\r\n+CMS ERROR: 42\r\n") << false << Status::CmsError << 42
                                   << QByteArray();
    QTest::newRow("verbose error") << QByteArray("\r\n+CME ERROR: SIM busy\r\n") << false << Status::CmeError << -1
                                   << QByteArray();
    QTest::newRow("plain error") << QByteArray("\r\nERROR\r\n") << false << Status::Error << -1 << QByteArray();
    QTest::newRow("unsolicited code first") << QByteArray("\r\n+CMTI: \"SM\",3\r\n\r\n+CMGS: 4\r\n\r\nOK\r\n") << false
                                            << Status::Ok << -1 << QByteArray("4");
    QTest::newRow("CR only") << QByteArray("\r+CMGS: 200\r\rOK\r") << false << Status::Ok << -1 << QByteArray("200");
    QTest::newRow("echoed PDU then result")
        << QByteArray("0001000B81\x1A\r\n+CMGS: 5\r\n\r\nOK\r\n") << false << Status::Ok << -1 << QByteArray("5");
    QTest::newRow("prompt not expected") << QByteArray("\r\n> ") << false << Status::Incomplete << -1 << QByteArray();
    QTest::newRow("OK inside a line") << QByteArray("\r\nBOOKED\r\n") << false << Status::Incomplete << -1
                                      << QByteArray();
}

void TestAtReply::transcripts()
{
    QFETCH(QByteArray, received);
    QFETCH(bool, promptExpected);
    QFETCH(Status, status);
    QFETCH(int, code);
    QFETCH(QByteArray, value);

    auto check = [&](const AtReply& r) {
        QCOMPARE(r.status, status);
        QCOMPARE(r.code, code);
        QCOMPARE(r.value("+CMGS:") + r.value("+CPIN:"), value);
    };
    check(parseAtReply(received, promptExpected));

    // Fed as a serial line delivers it: the first reading that is no longer unfinished is the answer.
    auto feed = [&](const QList<int>& pieces) {
        QByteArray so;
        qsizetype at = 0;
        for (const int n : pieces) {
            so += received.mid(at, n);
            at += n;
            const AtReply r = parseAtReply(so, promptExpected);
            if (r.status != Status::Incomplete || at >= received.size())
                return r;
        }
        return parseAtReply(so, promptExpected);
    };
    QList<int> ones(received.size(), 1);
    check(feed(ones));
    for (int round = 0; round < 20; ++round) {
        QList<int> pieces;
        for (qsizetype left = received.size(); left > 0;) {
            const int n = QRandomGenerator::global()->bounded(1, 6);
            pieces.append(n);
            left -= n;
        }
        check(feed(pieces));
    }
}

void TestAtReply::prefixesAreUnfinished()
{
    const QByteArray answer = "AT+CMGS=20\r\r\n+CMS ERROR: 332\r\n";
    for (qsizetype n = 0; n < answer.size() - 1; ++n)
        QVERIFY2(!parseAtReply(answer.left(n)).isFinal(), answer.left(n).constData());
    QCOMPARE(parseAtReply(answer.left(answer.size() - 1)).code, 332);
}

QTEST_APPLESS_MAIN(TestAtReply)
#include "test_atreply.moc"
