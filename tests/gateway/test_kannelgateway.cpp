#include "KannelRig.h"

#include "device/gateway/DeliveryListener.h"
#include "device/gateway/GatewayChannel.h"

#include <QtTest>

#include <thread>

namespace {

struct Row
{
    QString number;
    QString text;
};

QList<Row> sampleRows()
{
    QList<Row> rows;
    for (int i = 0; i < 16; ++i)
        rows.append({QStringLiteral("4477009%1").arg(i, 5, 10, QLatin1Char('0')),
                     QStringLiteral("Reminder %1: your table for two is at 19:30 & the code is A+B").arg(i)});
    rows.append({QStringLiteral("447700988001"), QStringLiteral("Καλημέρα, € 5 ευχαριστώ")});
    rows.append({QStringLiteral("447700988002"), QString(200, QLatin1Char('x'))});
    return rows;
}

} // namespace

class TestKannelGateway : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listGoesThroughKannelAndReportsComeBack();

private:
    std::unique_ptr<KannelRig> m_rig;
};

void TestKannelGateway::initTestCase()
{
    const QString missing = KannelRig::missing();
    if (!missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("Kannel is not installed here: no ") + missing));
    m_rig = std::make_unique<KannelRig>();
    QString error;
    QVERIFY2(m_rig->start(&error), qPrintable(error));
}

void TestKannelGateway::listGoesThroughKannelAndReportsComeBack()
{
    GatewaySettings settings;
    settings.url = m_rig->sendUrl();
    settings.user = KannelRig::kUser;
    settings.password = KannelRig::kPassword;
    settings.sender = QStringLiteral("Veva");
    settings.inFlight = 4;

    // The wizard's check: the real Kannel tells a good login from a bad one, and sends nothing for either.
    {
        auto probing = ComPtr<GatewayChannel>::attach(new GatewayChannel(settings, 5000));
        const GatewayChannel::Probe p = probing->probe();
        QVERIFY2(p.result == GatewayChannel::Probe::Result::Works, qPrintable(p.text));
        GatewaySettings wrong = settings;
        wrong.password = QStringLiteral("not-it");
        auto refused = ComPtr<GatewayChannel>::attach(new GatewayChannel(wrong, 5000));
        QCOMPARE(int(refused->probe().result), int(GatewayChannel::Probe::Result::WrongLogin));
        QCOMPARE(refused->WriteTextMessage(QStringLiteral("never"), QStringLiteral("447700900999")),
                 E_GATEWAY_REFUSED);
        QVERIFY(refused->lastError().contains(QLatin1String("403")));
        QVERIFY(!refused->lastError().contains(QLatin1String("not-it")));
    }

    const QList<Row> rows = sampleRows();
    QMutex mutex;
    QHash<int, DeliveryListener::Update> finals;
    DeliveryListener listener([&](const DeliveryListener::Update& u) {
        QMutexLocker lock(&mutex);
        if (u.delivery.status != RowStatus::Sent)
            finals.insert(u.row, u);
    });
    QString error;
    QVERIFY2(listener.start(&error), qPrintable(error));

    auto channel = ComPtr<GatewayChannel>::attach(new GatewayChannel(settings, 10000));
    channel->requestDeliveryReports(listener.urlPrefix());
    // Each sending thread says which row it is on before it writes, as a lane does.
    thread_local int currentRow = -1;
    channel->setSubmitted([&](quint64 id, const QString& number, const QString& text) {
        listener.expect(id, currentRow, number, messageFingerprint(text));
    });
    channel->setWithdrawn([&](quint64 id) { listener.withdraw(id); });

    std::atomic<int> next{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> lanes;
    for (int l = 0; l < 4; ++l)
        lanes.emplace_back([&] {
            for (int i; (i = next++) < rows.size();) {
                currentRow = i;
                if (channel->WriteTextMessage(rows[i].text, rows[i].number) != S_OK)
                    ++failures;
            }
        });
    for (std::thread& t : lanes)
        t.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(channel->accepted(), rows.size());

    // fakesmsc got each message once, as written; the long one in its two parts.
    QList<KannelRig::Received> got;
    QTRY_VERIFY_WITH_TIMEOUT((got = m_rig->received()).size() >= rows.size() + 1, 20000);
    QTest::qWait(300);
    got = m_rig->received();
    QCOMPARE(got.size(), rows.size() + 1);
    for (const Row& r : rows) {
        QStringList texts;
        for (const KannelRig::Received& g : got)
            if (g.to == r.number) {
                QCOMPARE(g.from, QStringLiteral("Veva"));
                texts << g.text;
            }
        if (r.text.size() > 160) {
            QCOMPARE(texts.size(), 2);
            // Each part carries its header before the text; together they hold the whole text.
            QCOMPARE(texts[0].count(QLatin1Char('x')) + texts[1].count(QLatin1Char('x')), r.text.size());
        } else {
            QCOMPARE(texts, QStringList{r.text});
        }
    }

    // The fake centre reports every message delivered (the long one once); every row hears of it.
    QTRY_VERIFY2_WITH_TIMEOUT(!listener.outstanding(), qPrintable(m_rig->logTail()), 20000);
    QMutexLocker lock(&mutex);
    QCOMPARE(finals.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(finals.value(i).number, rows[i].number);
        QCOMPARE(finals.value(i).fingerprint, messageFingerprint(rows[i].text));
        QCOMPARE(finals.value(i).delivery.status, RowStatus::Delivered);
    }
}

QTEST_GUILESS_MAIN(TestKannelGateway)
#include "test_kannelgateway.moc"
