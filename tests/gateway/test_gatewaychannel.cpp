#include "StubGateway.h"

#include "device/gateway/GatewayChannel.h"
#include "device/gateway/GatewaySettings.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <thread>

namespace {

const QString kPassword = QStringLiteral("s3cr3t&pw+");

GatewaySettings settingsFor(const QString& url, int inFlight = 10)
{
    GatewaySettings s;
    s.url = url;
    s.user = QStringLiteral("tester");
    s.password = kPassword;
    s.inFlight = inFlight;
    return s;
}

struct Channel
{
    ComPtr<GatewayChannel> p;
    explicit Channel(const GatewaySettings& s, int timeoutMs = 5000)
        : p(ComPtr<GatewayChannel>::attach(new GatewayChannel(s, timeoutMs)))
    {
    }
    GatewayChannel* operator->() const { return p.get(); }
};

void checkNoPassword(const QString& text)
{
    QVERIFY2(!text.contains(kPassword), qPrintable(text));
    QVERIFY2(!text.contains(QString::fromLatin1(QUrl::toPercentEncoding(kPassword))), qPrintable(text));
}

// A port on which nothing listens.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

} // namespace

class TestGatewayChannel : public QObject
{
    Q_OBJECT

private slots:
    void acceptedMessageCarriesKannelParameters();
    void refusalsFailAndSayWhy_data();
    void refusalsFailAndSayWhy();
    void unclearOutcomesAreUncertain_data();
    void unclearOutcomesAreUncertain();
    void unreachableGatewayFails();
    void connectionIsKeptAlive();
    void manyThreadsLoseAndDoubleNothing();
    void rateLimitSpacesSubmissions();
    void probeTellsWhatAnswers();
    void settingsKeepThePasswordOnlyWhenAsked();
    void settingsProblems();
};

void TestGatewayChannel::acceptedMessageCarriesKannelParameters()
{
    StubGateway stub([](const QUrlQuery&) { return StubGateway::Reply{}; });
    GatewaySettings s = settingsFor(stub.url());
    s.sender = QStringLiteral("Veva");
    s.smscId = QStringLiteral("fake1");
    Channel channel(s);
    channel->requestDeliveryReports(QStringLiteral("http://127.0.0.1:9/dlr/tok/"));
    QList<quint64> ids;
    channel->setSubmitted([&](quint64 id, const QString& number, const QString&) {
        QCOMPARE(number, QStringLiteral("+447700900001"));
        ids << id;
    });

    const QString greek = QStringLiteral("Καλημέρα & 100% + €");
    QCOMPARE(channel->WriteTextMessage(QStringLiteral("Hello there"), QStringLiteral(" +447700900001 ")), S_OK);
    QCOMPARE(channel->WriteTextMessage(greek, QStringLiteral("+447700900001")), S_OK);
    QCOMPARE(channel->accepted(), 2);
    QVERIFY(channel->lastError().isEmpty());
    QCOMPARE(ids.size(), 2);
    QVERIFY(ids[0] != ids[1]);

    const QList<QUrlQuery> got = stub.requests();
    QCOMPARE(got.size(), 2);
    auto value = [](const QUrlQuery& q, const char* key) {
        return q.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
    };
    QCOMPARE(value(got[0], "username"), QStringLiteral("tester"));
    QCOMPARE(value(got[0], "password"), kPassword);
    QCOMPARE(value(got[0], "to"), QStringLiteral("+447700900001"));
    QCOMPARE(value(got[0], "text"), QStringLiteral("Hello there"));
    QCOMPARE(value(got[0], "charset"), QStringLiteral("UTF-8"));
    QVERIFY(!got[0].hasQueryItem(QStringLiteral("coding"))); // GSM alphabet: the default coding
    QCOMPARE(value(got[0], "from"), QStringLiteral("Veva"));
    QCOMPARE(value(got[0], "smsc"), QStringLiteral("fake1"));
    QCOMPARE(value(got[0], "dlr-mask"), QString::number(GatewayChannel::kReportMask));
    QCOMPARE(value(got[0], "dlr-url"), QStringLiteral("http://127.0.0.1:9/dlr/tok/%1?type=%d").arg(ids[0]));
    QCOMPARE(value(got[1], "text"), greek);
    QCOMPARE(value(got[1], "coding"), QStringLiteral("2"));

    // Queued for later is accepted too; the start packet means nothing to a gateway.
    StubGateway queued([](const QUrlQuery&) { return StubGateway::Reply{202, "3: Queued for later delivery"}; });
    Channel later(settingsFor(queued.url()));
    const QByteArray sign = "Sign";
    QCOMPARE(later->WritePacket(reinterpret_cast<const std::uint8_t*>(sign.constData()), 4), S_OK);
    QCOMPARE(later->WriteTextMessage(QStringLiteral("x"), QStringLiteral("123")), S_OK);
    QCOMPARE(queued.requests().size(), 1);
}

void TestGatewayChannel::refusalsFailAndSayWhy_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown");
    QTest::newRow("wrong login") << 403 << QByteArray("Authorization failed for sendsms")
                                 << QStringLiteral("HTTP 403: Authorization failed for sendsms");
    QTest::newRow("no sender") << 400 << QByteArray("Sender missing and no global set, rejected")
                               << QStringLiteral("HTTP 400: Sender missing");
    // A gateway that echoes the request must not show the password either.
    QTest::newRow("echo") << 400 << ("bad request password=" + QUrl::toPercentEncoding(kPassword) + " " + kPassword.toUtf8())
                          << QStringLiteral("HTTP 400: bad request password=****");
    QTest::newRow("redirect") << 302 << QByteArray() << QStringLiteral("HTTP 302");
}

void TestGatewayChannel::refusalsFailAndSayWhy()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    StubGateway stub([&](const QUrlQuery&) { return StubGateway::Reply{status, body}; });
    Channel channel(settingsFor(stub.url()));
    QList<quint64> submitted, withdrawn;
    channel->setSubmitted([&](quint64 id, const QString&, const QString&) { submitted << id; });
    channel->setWithdrawn([&](quint64 id) { withdrawn << id; });

    const HRESULT hr = channel->WriteTextMessage(QStringLiteral("hi"), QStringLiteral("123"));
    QCOMPARE(hr, E_GATEWAY_REFUSED);
    QVERIFY(!isOutcomeUnknown(hr) && hr != E_MODEM_OUTCOME_UNKNOWN);
    QVERIFY(!channel->lastOutcomeUnknown());
    QVERIFY2(channel->lastError().contains(shown), qPrintable(channel->lastError()));
    checkNoPassword(channel->lastError());
    QCOMPARE(withdrawn, submitted);
    QCOMPARE(stub.requests().size(), 1);
    // The error belongs to the thread that sent; another thread has none.
    QString elsewhere = QStringLiteral("unset");
    std::thread([&] { elsewhere = channel->lastError(); }).join();
    QVERIFY(elsewhere.isEmpty());
}

void TestGatewayChannel::unclearOutcomesAreUncertain_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("drop");
    QTest::newRow("5xx") << 503 << QByteArray("Sending failed.") << 0 << false;
    QTest::newRow("slower than the time-out") << 202 << QByteArray("0: Accepted for delivery") << 3000 << false;
    QTest::newRow("dropped after the request") << 0 << QByteArray() << 0 << true;
    QTest::newRow("2xx that says nothing") << 200 << QByteArray("<html>ok</html>") << 0 << false;
}

void TestGatewayChannel::unclearOutcomesAreUncertain()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, delayMs);
    QFETCH(bool, drop);
    StubGateway stub([&](const QUrlQuery&) { return StubGateway::Reply{status, body, delayMs, drop}; });
    Channel channel(settingsFor(stub.url()), 800);
    QList<quint64> withdrawn;
    channel->setWithdrawn([&](quint64 id) { withdrawn << id; });

    const HRESULT hr = channel->WriteTextMessage(QStringLiteral("hi"), QStringLiteral("123"));
    QCOMPARE(hr, E_MODEM_OUTCOME_UNKNOWN);
    QVERIFY(channel->lastOutcomeUnknown());
    QVERIFY(!channel->lastError().isEmpty());
    checkNoPassword(channel->lastError());
    // A report may still come for it; and the request went out once, never again by itself.
    QVERIFY(withdrawn.isEmpty());
    QTest::qWait(delayMs > 0 ? 100 : 300);
    QCOMPARE(stub.requests().size(), 1);
    QCOMPARE(channel->accepted(), 0);
}

void TestGatewayChannel::unreachableGatewayFails()
{
    Channel channel(settingsFor(QStringLiteral("http://127.0.0.1:%1/cgi-bin/sendsms").arg(closedPort())));
    const HRESULT hr = channel->WriteTextMessage(QStringLiteral("hi"), QStringLiteral("123"));
    QCOMPARE(hr, E_GATEWAY_UNREACHABLE);
    QVERIFY(!isOutcomeUnknown(hr) && hr != E_MODEM_OUTCOME_UNKNOWN);
    QVERIFY(!channel->lastOutcomeUnknown());
    QVERIFY2(channel->lastError().contains(QLatin1String("refused")), qPrintable(channel->lastError()));
    checkNoPassword(channel->lastError());
}

void TestGatewayChannel::connectionIsKeptAlive()
{
    StubGateway stub([](const QUrlQuery&) { return StubGateway::Reply{}; });
    Channel channel(settingsFor(stub.url(), 1));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(channel->WriteTextMessage(QStringLiteral("m%1").arg(i), QStringLiteral("123")), S_OK);
    QCOMPARE(stub.connections(), 1);

    // A gateway that closes after each answer gets a new connection each time, and nothing is lost.
    StubGateway closing([](const QUrlQuery&) {
        StubGateway::Reply r;
        r.keepAlive = false;
        return r;
    });
    Channel again(settingsFor(closing.url(), 1));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(again->WriteTextMessage(QStringLiteral("m%1").arg(i), QStringLiteral("123")), S_OK);
    QCOMPARE(closing.requests().size(), 3);
}

void TestGatewayChannel::manyThreadsLoseAndDoubleNothing()
{
    constexpr int kThreads = 12;
    constexpr int kEach = 40;
    constexpr int kInFlight = 5;
    // Every seventh message is refused, so failures and successes interleave.
    StubGateway stub([](const QUrlQuery& q) {
        StubGateway::Reply r;
        r.delayMs = 2;
        if (q.queryItemValue(QStringLiteral("text")).endsWith(QLatin1Char('7')))
            r = {400, "rejected", 1};
        return r;
    });
    Channel channel(settingsFor(stub.url(), kInFlight));
    QMutex mutex;
    QSet<quint64> ids;
    channel->setSubmitted([&](quint64 id, const QString&, const QString&) {
        QMutexLocker lock(&mutex);
        ids.insert(id);
    });
    std::atomic<int> ok{0}, refused{0}, other{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const HRESULT hr = channel->WriteTextMessage(QStringLiteral("t%1 m%2").arg(t).arg(i),
                                                             QStringLiteral("0770090%1").arg(t, 4, 10, QLatin1Char('0')));
                (hr == S_OK ? ok : hr == E_GATEWAY_REFUSED ? refused : other)++;
            }
        });
    for (std::thread& t : threads)
        t.join();

    QCOMPARE(other.load(), 0);
    QCOMPARE(ok.load() + refused.load(), kThreads * kEach);
    QCOMPARE(refused.load(), kThreads * 4); // m7, m17, m27, m37
    QCOMPARE(channel->accepted(), ok.load());
    QCOMPARE(ids.size(), kThreads * kEach);
    QMultiHash<QString, QString> seen;
    for (const QUrlQuery& q : stub.requests())
        seen.insert(q.queryItemValue(QStringLiteral("to")), q.queryItemValue(QStringLiteral("text")));
    QCOMPARE(seen.size(), kThreads * kEach);
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i)
            QCOMPARE(seen.count(QStringLiteral("0770090%1").arg(t, 4, 10, QLatin1Char('0')),
                                QStringLiteral("t%1 m%2").arg(t).arg(i)),
                     1);
    QVERIFY(channel->peakInFlight() <= kInFlight);
    QVERIFY(stub.peakBusy() <= kInFlight);
    QVERIFY(stub.connections() <= kInFlight);
    // With twelve threads and five connections, all five were busy at some point.
    QCOMPARE(channel->peakInFlight(), kInFlight);
    QCOMPARE(channel->inFlight(), 0);
}

void TestGatewayChannel::rateLimitSpacesSubmissions()
{
    StubGateway stub([](const QUrlQuery&) { return StubGateway::Reply{}; });
    GatewaySettings s = settingsFor(stub.url(), 4);
    s.ratePerSecond = 25;
    Channel channel(s);
    constexpr int kMessages = 12;
    QElapsedTimer clock;
    clock.start();
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kMessages / 4; ++i)
                if (channel->WriteTextMessage(QStringLiteral("%1/%2").arg(t).arg(i), QStringLiteral("123")) != S_OK)
                    ++failed;
        });
    for (std::thread& t : threads)
        t.join();
    QCOMPARE(failed.load(), 0);
    // Twelve slots 40 ms apart: the last one no earlier than 440 ms after the first.
    QVERIFY2(clock.elapsed() >= 430, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(stub.requests().size(), kMessages);

    QCOMPARE(RateLimiter(4).rate(), 4.0);
    QCOMPARE(RateLimiter(0).rate(), 0.0);
    QCOMPARE(RateLimiter(-3).rate(), 0.0);
}

void TestGatewayChannel::probeTellsWhatAnswers()
{
    struct Case
    {
        int status;
        QByteArray body;
        GatewayChannel::Probe::Result result;
    };
    const QList<Case> cases = {
        {400, "Missing receiver number, rejected", GatewayChannel::Probe::Result::Works},
        {403, "Authorization failed for sendsms", GatewayChannel::Probe::Result::WrongLogin},
        {404, "Unknown request.", GatewayChannel::Probe::Result::NotAGateway},
        {200, "<html>router login</html>", GatewayChannel::Probe::Result::NotAGateway},
    };
    for (const Case& c : cases) {
        StubGateway stub([&](const QUrlQuery&) { return StubGateway::Reply{c.status, c.body}; });
        Channel channel(settingsFor(stub.url()));
        const GatewayChannel::Probe p = channel->probe();
        QCOMPARE(int(p.result), int(c.result));
        QCOMPARE(p.text.isEmpty(), c.result == GatewayChannel::Probe::Result::Works);
        checkNoPassword(p.text);
        // The probe names no recipient: nothing can be sent by it.
        QVERIFY(!stub.requests().value(0).hasQueryItem(QStringLiteral("to")));
    }
    Channel nobody(settingsFor(QStringLiteral("127.0.0.1:%1/cgi-bin/sendsms").arg(closedPort())));
    const GatewayChannel::Probe p = nobody->probe();
    QCOMPARE(int(p.result), int(GatewayChannel::Probe::Result::NothingAnswers));
    QVERIFY(p.text.contains(QLatin1String("No SMS gateway answers at 127.0.0.1:")));
}

void TestGatewayChannel::settingsKeepThePasswordOnlyWhenAsked()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("conf/gateway.ini"));
    GatewaySettings s = settingsFor(QStringLiteral("http://gw.example:13013/cgi-bin/sendsms"), 7);
    s.sender = QStringLiteral("Ulmex = Veva");
    s.smscId = QStringLiteral("smsc&1");
    s.ratePerSecond = 2.5;
    QCOMPARE(s.save(path), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(!written.contains("s3cr3t"));
    const std::optional<GatewaySettings> loaded = GatewaySettings::load(path);
    QVERIFY(loaded);
    GatewaySettings expected = s;
    expected.password.clear();
    QCOMPARE(*loaded, expected);

    s.rememberPassword = true;
    QCOMPARE(s.save(path), QString());
    struct stat st = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QCOMPARE(*GatewaySettings::load(path), s);
    // Leaving "Remember" off again takes the password out of the file.
    s.rememberPassword = false;
    QCOMPARE(s.save(path), QString());
    QVERIFY(GatewaySettings::load(path)->password.isEmpty());
    QVERIFY(!dir.isValid() || QDir(dir.filePath(QStringLiteral("conf"))).entryList(QDir::Files | QDir::Hidden).size() == 1);

    QVERIFY(!GatewaySettings::load(dir.filePath(QStringLiteral("none.ini"))));
}

void TestGatewayChannel::settingsProblems()
{
    GatewaySettings s = settingsFor(QStringLiteral("127.0.0.1:13013/cgi-bin/sendsms"));
    QCOMPARE(s.problem(), QString());
    QCOMPARE(s.deviceLine(), QStringLiteral("SMS gateway at 127.0.0.1:13013"));
    QCOMPARE(settingsFor(QStringLiteral("http://kannel.lan/cgi-bin/sendsms")).hostPort(), QStringLiteral("kannel.lan:80"));
    s.url = QStringLiteral("ftp://host/x");
    QVERIFY(!s.problem().isEmpty());
    s.url.clear();
    QVERIFY(!s.problem().isEmpty());
    s = settingsFor(QStringLiteral("http://h:1/"));
    s.inFlight = 0;
    QVERIFY(!s.problem().isEmpty());
    s.inFlight = 10;
    s.user.clear();
    QVERIFY(!s.problem().isEmpty());
}

QTEST_GUILESS_MAIN(TestGatewayChannel)
#include "test_gatewaychannel.moc"
