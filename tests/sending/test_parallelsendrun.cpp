#include "FakeHosts.h"
#include "FakeLanes.h"

#include "sending/ParallelSendRun.h"
#include "sending/SendJournal.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

QList<RecipientRow> numberedRows(int count)
{
    QList<RecipientRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("0044%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("hello %1").arg(i)});
    return rows;
}

} // namespace

class TestParallelSendRun : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LaneHost> m_host;
    std::unique_ptr<LaneClock> m_clock;
    StopGate m_gate;
    TextLaneChannel::Log m_log;
    std::vector<std::unique_ptr<TextLaneChannel>> m_channels;

    QList<SendLane> makeLanes(int count, int maxDelayUs = 0)
    {
        QList<SendLane> lanes;
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("COM%1").arg(i + 7);
            m_channels.push_back(std::make_unique<TextLaneChannel>(name, m_log));
            m_channels.back()->maxDelayUs = maxDelayUs;
            lanes.append({name, m_channels.back().get(), 1000});
        }
        return lanes;
    }
    // How often each number reached a channel.
    QMap<QString, int> sendsByNumber()
    {
        QMap<QString, int> out;
        for (const TextLaneChannel::Sent& s : m_log.all())
            ++out[s.number];
        return out;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("VEVA_SMS_APP_DIR", m_dir->path().toLocal8Bit());
        resetSharedState();
        m_host = std::make_unique<LaneHost>();
        m_clock = std::make_unique<LaneClock>();
        m_channels.clear();
        QMutexLocker lock(&m_log.mutex);
        m_log.sent.clear();
    }

    // What a row is comes from the list and the options alone, once: blanks,
    // exclusions before duplicates, the first of a number kept, rows kept from
    // an earlier run neither sent nor decided.
    void queueDecidesOnceInListOrder()
    {
        const QList<RecipientRow> rows = {
            {QStringLiteral("111"), QStringLiteral("a")},
            {QStringLiteral("222"), QString()},
            {QStringLiteral(" 333 "), QStringLiteral("b")},
            {QStringLiteral("111"), QStringLiteral("c")},
            {QStringLiteral("444"), QStringLiteral("d"), RowStatus::Sent},
            {QStringLiteral("555"), QStringLiteral("e")},
            {QStringLiteral("333"), QStringLiteral("f")},
            {QStringLiteral("444"), QStringLiteral("g")},
        };
        SendOptions options;
        options.useExclusion = true;
        options.skipDuplicates = true;
        int lookups = 0;
        RowQueue queue(rows, options, [&](const QString& number) {
            ++lookups;
            return number == QLatin1String("555") || number == QLatin1String("333");
        });
        const QList<QPair<int, RowStatus>> decided{
            {1, RowStatus::Blank},    {2, RowStatus::Excluded}, {3, RowStatus::SkippedDuplicate},
            {5, RowStatus::Excluded}, {6, RowStatus::Excluded}, {7, RowStatus::SkippedDuplicate}};
        QCOMPARE(queue.decided(), decided);
        QCOMPARE(queue.toSend(), QList<int>({0}));
        QCOMPARE(lookups, 6); // every row with a message not kept, once

        // As the run through one device has it, a number's first row is found
        // by its text as typed: " 333 " gives way to the later "333".
        options.useExclusion = false;
        RowQueue plain(rows, options, nullptr);
        QCOMPARE(plain.toSend(), QList<int>({0, 5, 6}));
        QCOMPARE(plain.decided().at(1), (QPair<int, RowStatus>(2, RowStatus::SkippedDuplicate)));
        QCOMPARE(plain.take(), std::optional<int>(0));
        plain.close();
        QCOMPARE(plain.take(), std::nullopt);
        QCOMPARE(plain.remaining(), QList<int>({5, 6}));
    }

    // Many takers at once: every row once, each taker's rows in the list's order.
    void queueHandsEachRowOnce()
    {
        const QList<RecipientRow> rows = numberedRows(5000);
        RowQueue queue(rows, SendOptions(), nullptr);
        std::vector<QList<int>> taken(8);
        std::vector<std::thread> takers;
        for (auto& mine : taken)
            takers.emplace_back([&queue, &mine] {
                while (const std::optional<int> row = queue.take())
                    mine.append(*row);
            });
        for (std::thread& t : takers)
            t.join();
        QList<int> all;
        for (const QList<int>& mine : taken) {
            QVERIFY(std::is_sorted(mine.begin(), mine.end()));
            all += mine;
        }
        std::sort(all.begin(), all.end());
        QCOMPARE(all, queue.toSend());
        QVERIFY(queue.remaining().isEmpty());
    }

    // Eight lanes with random delays over a long list: each row exactly once,
    // its status and lane set, and the journal names the lane of every line.
    void manyFastLanesSendEveryRowOnce()
    {
        m_host->rows = numberedRows(400);
        m_host->rows[10].message.clear();
        const QList<SendLane> lanes = makeLanes(8, 300);
        const ParallelRunResult result = ParallelSendRun(lanes, *m_host, m_gate, *m_clock);

        QVERIFY(result.completed);
        QVERIFY(result.lostLanes.isEmpty());
        const QMap<QString, int> sends = sendsByNumber();
        QCOMPARE(sends.size(), 399);
        for (auto it = sends.cbegin(); it != sends.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key()));
        const QMap<int, RowStatus> statuses = m_host->statuses();
        const QMap<int, QString> rowLanes = m_host->rowLanes();
        QSet<QString> used;
        for (int i = 0; i < 400; ++i) {
            QCOMPARE(statuses.value(i), i == 10 ? RowStatus::Blank : RowStatus::Sent);
            if (i != 10)
                used.insert(rowLanes.value(i));
        }
        QCOMPARE(used.size(), 8);
        QVERIFY(m_host->calls().contains(QStringLiteral("Message sent successfully.")));
        QCOMPARE(m_clock->sleeps.load(), 399); // the pacing after each message, on its lane

        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->end, std::optional(SendJournal::End::Completed));
        QCOMPARE(journal->outcomes.size(), 399);
        for (const SendJournal::Outcome& o : journal->outcomes) {
            QCOMPARE(o.status, RowStatus::Sent);
            QCOMPARE(journal->lanes.value(o.entry.row), rowLanes.value(o.entry.row));
        }
    }

    // A lane whose channel fails is taken out; its row is settled as the run
    // with one device settles it, and the other lanes finish the list.
    void aFailingLaneIsTakenOut_data()
    {
        QTest::addColumn<HRESULT>("failure");
        QTest::addColumn<RowStatus>("status");
        QTest::newRow("outcome unknown") << E_MODEM_OUTCOME_UNKNOWN << RowStatus::Uncertain;
        QTest::newRow("refused") << E_WRITE_FAULT << RowStatus::Failed;
    }
    void aFailingLaneIsTakenOut()
    {
        QFETCH(HRESULT, failure);
        QFETCH(RowStatus, status);
        m_host->rows = numberedRows(30);
        const QList<SendLane> lanes = makeLanes(3, 200);
        m_channels[1]->failFrom = 2;
        m_channels[1]->failure = failure;
        const ParallelRunResult result = ParallelSendRun(lanes, *m_host, m_gate, *m_clock);

        QVERIFY(result.completed); // every row was handed out, the lost lane's too
        QCOMPARE(result.lostLanes.size(), 1);
        QVERIFY(result.lostLanes.first().startsWith(QStringLiteral("COM8: ")));
        QCOMPARE(m_host->lost(), result.lostLanes);
        QCOMPARE(m_channels[1]->writes.load(), 3);
        const QMap<int, RowStatus> statuses = m_host->statuses();
        int failedRow = -1;
        for (int i = 0; i < 30; ++i) {
            if (statuses.value(i) == status) {
                QCOMPARE(failedRow, -1);
                failedRow = i;
            } else {
                QCOMPARE(statuses.value(i), RowStatus::Sent);
            }
        }
        QVERIFY(failedRow >= 0);
        QCOMPARE(m_host->rowLanes().value(failedRow), QStringLiteral("COM8"));
        QCOMPARE(sendsByNumber().size(), 29);
        // Not the success message: the status column shows what became of the lane's row.
        QVERIFY(!m_host->calls().contains(QStringLiteral("Message sent successfully.")));
        QVERIFY(m_host->calls().contains(QStringLiteral("showStatusColumn")));

        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->end, std::optional(SendJournal::End::Failed));
        const bool remembered =
            std::any_of(journal->outcomes.cbegin(), journal->outcomes.cend(), [&](const SendJournal::Outcome& o) {
                return o.entry.row == failedRow && o.status == RowStatus::Uncertain;
            });
        // An uncertain row outlives the run; a refused one had nothing sent to remember.
        QCOMPARE(remembered, status == RowStatus::Uncertain);
        QCOMPARE(journal->lanes.value(failedRow), QStringLiteral("COM8"));
    }

    // With every lane gone, the rows left are "not sent (stopped)" and the run failed.
    void everyLaneLostEndsTheRun()
    {
        m_host->rows = numberedRows(12);
        const QList<SendLane> lanes = makeLanes(2);
        m_channels[0]->failFrom = 1;
        m_channels[1]->failFrom = 2;
        m_channels[1]->failure = E_DEVICE_NOT_CONNECTED;
        const ParallelRunResult result = ParallelSendRun(lanes, *m_host, m_gate, *m_clock);

        QVERIFY(!result.completed);
        QCOMPARE(result.lostLanes.size(), 2);
        const QMap<int, RowStatus> statuses = m_host->statuses();
        QCOMPARE(statuses.values().count(RowStatus::Sent), 3);
        QCOMPARE(statuses.values().count(RowStatus::Uncertain), 1); // no answer: it may have gone out
        QCOMPARE(statuses.values().count(RowStatus::Failed), 1);    // the modem gone before it took the message
        QCOMPARE(statuses.values().count(RowStatus::NotSentStopped), 7);
        QCOMPARE(statuses.size(), 12);
        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->end, std::optional(SendJournal::End::Failed));
    }

    // Stop held on screen with three lanes at work: nothing is written while
    // the question is up, and after Yes no lane starts another row.
    void stopHoldsAndEndsEveryLane()
    {
        m_host->rows = numberedRows(60);
        const QList<SendLane> lanes = makeLanes(3, 500);
        std::atomic<bool> held{false};
        std::atomic<int> writtenWhileHeld{0};
        for (auto& channel : m_channels)
            channel->beforeWrite = [&] {
                if (held)
                    ++writtenWhileHeld;
            };
        m_clock->onSleep = [&](int sleep) {
            // The sixth message's pacing: the user presses Stop. A lane past the
            // gate when it closed may still be starting its row: a moment's grace.
            if (sleep == 6) {
                m_gate.hold();
                QThread::msleep(20);
                held = true;
                QThread::msleep(50);
                held = false;
                g_bStopRequested = true;
                m_gate.release();
            }
        };
        const ParallelRunResult result = ParallelSendRun(lanes, *m_host, m_gate, *m_clock);

        QVERIFY(!result.completed);
        QCOMPARE(writtenWhileHeld.load(), 0);
        const QMap<int, RowStatus> statuses = m_host->statuses();
        QCOMPARE(statuses.size(), 60);
        const int sent = int(statuses.values().count(RowStatus::Sent));
        QCOMPARE(sent, int(m_log.all().size()));
        // The other two lanes finish what they had in hand, at most a message or two each.
        QVERIFY2(sent >= 6 && sent <= 10, qPrintable(QString::number(sent)));
        QCOMPARE(statuses.values().count(RowStatus::NotSentStopped), 60 - sent);
        QVERIFY(m_host->calls().contains(QStringLiteral("showStatusColumn")));
        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->end, std::optional(SendJournal::End::Stopped));
    }

    // "Pause every N" counts each lane's own messages; the pause shows on its line.
    void pausesCountPerLane()
    {
        m_host->rows = numberedRows(9);
        m_host->opts.delayedDelivery = true;
        g_strPauseEvery.set(QStringLiteral("2"));
        g_strPauseFor.set(QStringLiteral(" 3  Seconds"));
        const QList<SendLane> lanes = makeLanes(1);
        QVERIFY(ParallelSendRun(lanes, *m_host, m_gate, *m_clock).completed);
        // 9 messages paced, 4 pauses of 3 s in 1 s steps: the last message has none after it.
        QCOMPARE(m_clock->sleeps.load(), 9 + 4 * 3);
        QCOMPARE(m_host->laneHistory().count(QStringLiteral("COM7: Pausing the process for 3 Second. (2 sent)")), 1);
        QCOMPARE(m_host->laneHistory().count(QStringLiteral("COM7: Pausing the process for 1 Second. (8 sent)")), 1);
    }

    // A journal of a run with several lanes reads back with its lanes; one
    // from before lanes reads as it always did.
    void journalLinesNameTheirLane()
    {
        SendJournal journal;
        journal.setNamesLanes(true);
        QVERIFY(journal.begin(2, QList<SendJournal::Outcome>()));
        const QByteArray print(64, 'a');
        QVERIFY(journal.sending(0, QStringLiteral("111"), print, QStringLiteral("COM 7\t")));
        QVERIFY(journal.sending(1, QStringLiteral("222"), print, QStringLiteral("COM8")));
        QVERIFY(journal.sent(1, QStringLiteral("222"), print, QStringLiteral("COM8")));
        QVERIFY(journal.end(SendJournal::End::Stopped));
        QFile file(SendJournal::defaultPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("veva-send-journal\t2+lanes\t"));
        QVERIFY(bytes.contains("\tlane=COM8\n"));

        const std::optional<SendJournal::Contents> contents = SendJournal::parseContents(bytes);
        QVERIFY(contents);
        QCOMPARE(contents->lanes.value(0), QStringLiteral("COM 7\t"));
        QCOMPARE(contents->outcomes.size(), 2);
        QCOMPARE(contents->outcomes.at(0).status, RowStatus::Uncertain);
        QCOMPARE(contents->outcomes.at(1).status, RowStatus::Sent);

        QByteArray old = bytes;
        old.replace("\tlane=COM%207%09", "");
        old.replace("\tlane=COM8", "");
        old.replace("journal\t2+lanes", "journal\t2");
        const std::optional<SendJournal::Contents> before = SendJournal::parseContents(old);
        QVERIFY(before);
        QVERIFY(before->lanes.isEmpty());
        QCOMPARE(before->outcomes, contents->outcomes);
    }
};

QTEST_GUILESS_MAIN(TestParallelSendRun)
#include "test_parallelsendrun.moc"
