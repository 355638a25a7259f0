#include "FakeHosts.h"

#include "sending/SendJournal.h"
#include "store/DataFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Entry = SendJournal::Entry;
Q_DECLARE_METATYPE(SendJournal::Parts)

namespace {

const QByteArray kFingerprintA = messageFingerprint(QStringLiteral("Dear parent"));
const QByteArray kFingerprintB = messageFingerprint(QStringLiteral("School opens at 9"));
const QByteArray kTime = "2024-05-01T09:30:00.125Z";

QByteArray header(int rows = 4)
{
    return "veva-send-journal\t1\t" + kTime + '\t' + QByteArray::number(rows) + '\n';
}

QByteArray line(const char* verb, int row, const QByteArray& fingerprint = kFingerprintA)
{
    return QByteArray(verb) + '\t' + QByteArray::number(row) + "\t00441234" + QByteArray::number(row) + '\t' +
           fingerprint + '\t' + kTime + '\n';
}

QByteArray partLine(const char* verb, int row, const QByteArray& parts)
{
    return line(verb, row).chopped(1) + '\t' + parts + '\n';
}

QList<int> rowsOf(const QList<Entry>& entries)
{
    QList<int> rows;
    for (const Entry& e : entries)
        rows.append(e.row);
    return rows;
}

} // namespace

class TestSendJournal : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(QStringLiteral("SendJournal.log")); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("VEVA_SMS_APP_DIR", m_dir->path().toLocal8Bit());
        resetSharedState();
    }

    void readsWhatARunLeft_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<bool>("interrupted");
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<QList<int>>("uncertain");
        const QList<int> none;
        QTest::newRow("nothing sent yet") << header() << true << none << none;
        QTest::newRow("killed during its first message")
            << header() + line("sending", 0) << true << none << QList<int>{0};
        QTest::newRow("sent and uncertain") << header() + line("sending", 0) + line("sent", 0) + line("sending", 1)
                                            << true << QList<int>{0} << QList<int>{1};
        QTest::newRow("ended") << header() + line("sending", 0) + line("sent", 0) + "end\tcompleted\t" + kTime + '\n'
                               << false << none << none;
        QTest::newRow("ended by a stop") << header() + line("sending", 0) + "end\tstopped\t" + kTime + '\n'
                                         << false << none << none;
        QTest::newRow("torn sent line") << header() + line("sending", 0) + line("sent", 0).left(20) << true << none
                                        << QList<int>{0};
        QTest::newRow("torn end line") << header() + line("sending", 0) + line("sent", 0) + "end\tcomp" << true
                                       << QList<int>{0} << none;
        QTest::newRow("torn header") << header().left(12) << false << none << none;
        QTest::newRow("empty file") << QByteArray() << false << none << none;
        QTest::newRow("not a journal") << QByteArray("SentItem\r\n") + line("sent", 0) << false << none << none;
        QTest::newRow("newer version") << header().replace("\t1\t", "\t3\t") + line("sent", 0) << false << none << none;
        QTest::newRow("damaged lines are passed over")
            << header() + "sent\tx\t1\n" + line("sending", 0).replace(kFingerprintA, "beef") + QByteArray(10000, 'a') +
                   '\n' + line("sending", 1) + line("sent", 1)
            << true << QList<int>{1} << none;
        QTest::newRow("sent for another message settles nothing")
            << header() + line("sending", 2, kFingerprintA) + line("sent", 2, kFingerprintB) << true << QList<int>{2}
            << QList<int>{2};
        QTest::newRow("rows carried from an earlier run")
            << header() + line("sending", 3) + line("sent", 1) + line("sending", 0) + line("sent", 0) << true
            << QList<int>{0, 1} << QList<int>{3};
    }

    void readsWhatARunLeft()
    {
        QFETCH(QByteArray, journal);
        QFETCH(bool, interrupted);
        QFETCH(QList<int>, sent);
        QFETCH(QList<int>, uncertain);
        const std::optional<SendJournal::Interrupted> run = SendJournal::parse(journal);
        QCOMPARE(run.has_value(), interrupted);
        if (!run)
            return;
        QCOMPARE(rowsOf(run->sent), sent);
        QCOMPARE(rowsOf(run->uncertain), uncertain);
        QCOMPARE(run->rows, 4);
    }

    // What the journal knows of each message, long messages part by part.
    void outcomesOfEachMessage_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<QList<RowStatus>>("statuses"); // one per outcome, by row
        QTest::addColumn<SendJournal::Parts>("lastParts");
        using S = RowStatus;
        const QByteArray h = "veva-send-journal\t2\t" + kTime + "\t4\n";
        QTest::newRow("killed between two parts") << h + line("sending", 0) + partLine("part", 0, "1/3/77")
                                                  << QList<S>{S::Uncertain} << SendJournal::Parts{1, 3, 77};
        QTest::newRow("a part refused after one went")
            << h + line("sending", 0) + partLine("part", 0, "1/3/77") + partLine("failed", 0, "1/3/77")
            << QList<S>{S::Failed} << SendJournal::Parts{1, 3, 77};
        QTest::newRow("refused before anything went")
            << h + line("sending", 0) + line("failed", 0) << QList<S>{} << SendJournal::Parts{};
        QTest::newRow("handed over, never confirmed")
            << h + line("sending", 0) + line("uncertain", 0) << QList<S>{S::Uncertain} << SendJournal::Parts{};
        QTest::newRow("finished later under its reference")
            << h + partLine("carried-failed", 0, "1/3/77") + line("sending", 0) + partLine("part", 0, "2/3/77") +
                   partLine("part", 0, "3/3/77") + line("sent", 0)
            << QList<S>{S::Sent} << SendJournal::Parts{};
        QTest::newRow("parts beyond the count are damage")
            << h + line("sending", 0) + partLine("failed", 0, "4/3/77") + line("sent", 1)
            << QList<S>{S::Uncertain, S::Sent} << SendJournal::Parts{};
        QTest::newRow("kept and carried") << h + line("kept-uncertain", 0) + line("carried-sent", 1) +
                                                 line("kept-sent", 2) + line("carried-failed", 3)
                                          << QList<S>{S::Uncertain, S::Sent, S::Sent} << SendJournal::Parts{};
    }

    void outcomesOfEachMessage()
    {
        QFETCH(QByteArray, journal);
        QFETCH(QList<RowStatus>, statuses);
        QFETCH(SendJournal::Parts, lastParts);
        const auto contents = SendJournal::parseContents(journal);
        QVERIFY(contents);
        QList<RowStatus> read;
        for (const SendJournal::Outcome& o : contents->outcomes)
            read << o.status;
        QCOMPARE(read, statuses);
        if (!statuses.isEmpty())
            QCOMPARE(contents->outcomes.last().entry.parts, lastParts);
    }

    // A run that completes its list resolves what it kept of earlier runs; what
    // it carried for other lists outlives it, unless it sent the same itself.
    void aCompletedRunResolvesOnlyItsOwnList()
    {
        const QByteArray h = "veva-send-journal\t2\t" + kTime + "\t4\n";
        const QByteArray body = line("kept-sent", 0) + line("carried-uncertain", 1) + line("carried-sent", 2) +
                                line("sending", 3) + line("sent", 3);
        const QByteArray end = "end\tcompleted\t" + kTime + '\n';
        const auto open = SendJournal::parseContents(h + body);
        QVERIFY(open && !open->end);
        QCOMPARE(open->unresolved().size(), 4);
        const auto completed = SendJournal::parseContents(h + body + end);
        QVERIFY(completed && completed->end == SendJournal::End::Completed);
        QList<int> left;
        for (const SendJournal::Outcome& o : completed->unresolved())
            left << o.entry.row;
        QCOMPARE(left, (QList<int>{1, 2}));
        // Row 3 of this run sent what row 1 of another list had left uncertain.
        const QByteArray same = line("carried-uncertain", 1).replace("004412341", "004412343");
        const auto resolved = SendJournal::parseContents(h + same + line("sending", 3) + line("sent", 3) + end);
        QVERIFY(resolved->unresolved().isEmpty());
        QVERIFY(!SendJournal::parse(h + body + end)); // nothing to report at the next start
    }

    void writesWhatItReads()
    {
        const QDateTime earlier = QDateTime::currentDateTime().addSecs(-3600);
        const Entry carriedSent{0, QStringLiteral("+44 1\t2%\u00e9"), kFingerprintA, earlier, {}};
        const Entry carriedUncertain{1, QStringLiteral("00442"), kFingerprintB, earlier, {}};
        SendJournal journal(path());
        QVERIFY2(journal.begin(5, {carriedSent}, {carriedUncertain}), qPrintable(journal.lastError()));
        QVERIFY(journal.sending(2, QStringLiteral("003"), kFingerprintA));
        QVERIFY(journal.sent(2, QStringLiteral("003"), kFingerprintA));
        QVERIFY(journal.sending(3, QStringLiteral("004"), kFingerprintB));

        // Every line is in the file while the journal is still open.
        std::optional<SendJournal::Interrupted> run = SendJournal::readInterrupted(path());
        QVERIFY(run);
        QCOMPARE(run->rows, 5);
        QCOMPARE(rowsOf(run->sent), (QList<int>{0, 2}));
        QCOMPARE(run->sent.first().number, carriedSent.number);
        QCOMPARE(run->sent.first().fingerprint, kFingerprintA);
        QCOMPARE(run->sent.first().time.toMSecsSinceEpoch(), earlier.toMSecsSinceEpoch());
        QCOMPARE(rowsOf(run->uncertain), (QList<int>{1, 3}));
        QCOMPARE(run->uncertain.last().number, QStringLiteral("004"));

        QVERIFY(journal.end(SendJournal::End::Stopped));
        QVERIFY(!journal.isOpen());
        QVERIFY(!SendJournal::readInterrupted(path()));
    }

    // Status reports come during the run and after its end; each part's newest
    // one counts, and a message is delivered when all its parts are.
    void reportsOutliveTheRun()
    {
        SendJournal journal(path());
        QVERIFY(journal.begin(3, QList<SendJournal::Outcome>{}));
        for (int row = 0; row < 3; ++row) {
            QVERIFY(journal.sending(row, QStringLiteral("0044%1").arg(row), kFingerprintA));
            QVERIFY(journal.sent(row, QStringLiteral("0044%1").arg(row), kFingerprintA));
        }
        const QDateTime at = QDateTime::currentDateTime();
        auto report = [&](int row, int part, int total, int reference, int status) {
            SendJournal::Report r{{row, QStringLiteral("0044%1").arg(row), kFingerprintA, at, {part, total, reference}},
                                  status,
                                  at.addSecs(part)};
            QString error;
            QVERIFY2(SendJournal::appendReport(path(), r, &error), qPrintable(error));
        };
        report(0, 1, 1, 254, 0x21); // still tried ...
        QVERIFY(journal.end(SendJournal::End::Completed));
        report(0, 1, 1, 254, 0x00); // ... then delivered
        report(1, 1, 3, 255, 0x00);
        report(1, 2, 3, 0, 0x00);
        report(2, 1, 1, 1, 0x46);

        const std::optional<SendJournal::Contents> read = SendJournal::read(path());
        QVERIFY(read);
        QCOMPARE(read->end, SendJournal::End::Completed);
        QCOMPARE(read->reports.size(), 5);
        QCOMPARE(read->reports.at(2).entry.parts, (SendJournal::Parts{1, 3, 255}));
        QCOMPARE(read->reports.at(2).discharge.toMSecsSinceEpoch(), at.addSecs(1).toMSecsSinceEpoch());
        const QHash<QString, Delivery> d = read->deliveries();
        QCOMPARE(d.value(sendKey(QStringLiteral("00440"), kFingerprintA)).status, RowStatus::Delivered);
        QCOMPARE(d.value(sendKey(QStringLiteral("00441"), kFingerprintA)).status, RowStatus::Sent); // part 3 to come
        const Delivery failed = d.value(sendKey(QStringLiteral("00442"), kFingerprintA));
        QCOMPARE(failed.status, RowStatus::NotDelivered);
        QCOMPARE(failed.reason, QStringLiteral("validity period expired"));
        // The outcomes read as before.
        QCOMPARE(read->outcomes.size(), 3);
        QVERIFY(read->unresolved().isEmpty());
    }

    // Journals written before reports existed, and report lines that are damaged, read as they always did.
    void reportLinesThatAreDamaged()
    {
        QByteArray bytes = header(2) + line("sending", 0) + line("sent", 0);
        bytes += partLine("report", 0, "1/1/5") + "0\n";                  // no discharge time
        bytes += partLine("report", 0, "0/1/5") + "0\t" + kTime + '\n';   // no part 0
        bytes += partLine("report", 0, "1/1/5") + "999\t" + kTime + '\n'; // TP-ST is one octet
        bytes += line("sending", 1);
        const std::optional<SendJournal::Contents> read = SendJournal::parseContents(bytes);
        QVERIFY(read);
        QVERIFY(read->reports.isEmpty());
        QCOMPARE(read->outcomes.size(), 2);
        QCOMPARE(read->outcomes.at(1).status, RowStatus::Uncertain);
    }

    void aNewRunKeepsTheLastJournalAsThePreviousOne()
    {
        const QString previous = SendJournal::previousPath(path());
        for (int run = 1; run <= 3; ++run) {
            SendJournal journal(path());
            QVERIFY(journal.begin(run));
            QVERIFY(journal.sending(0, QString::number(run), kFingerprintA));
            QCOMPARE(SendJournal::readInterrupted(path())->rows, run);
            if (run > 1) {
                const auto last = SendJournal::readInterrupted(previous);
                QVERIFY(last);
                QCOMPARE(last->rows, run - 1);
                QCOMPARE(last->uncertain.first().number, QString::number(run - 1));
            }
        }
    }

    void anUnwritableJournalIsAskedAbout()
    {
        // The data folder is a file: neither the journal nor the sent items can be written.
        QFile blocker(DataFiles::dataFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SendJournal journal(SendJournal::defaultPath());
        QVERIFY(!journal.begin(2));
        QVERIFY(!journal.lastError().isEmpty());
        QVERIFY(!journal.sending(0, QStringLiteral("1"), kFingerprintA));
        QVERIFY(!journal.end(SendJournal::End::Completed));

        for (bool goOn : {false, true}) {
            FakeHost host;
            host.goOn = goOn;
            host.rows = {{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}};
            FakeClock clock;
            StopGate gate;
            RecordingChannel channel;
            if (goOn)
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Sending without a journal: ")));
            QCOMPARE(SendRun(&channel, host, gate, clock), goOn);
            QCOMPARE(host.questions, QStringList{JournalUnwritableQuestion(journal.lastError())});
            // No writes nothing, not even the start packet; Yes sends the list, asked once.
            QCOMPARE(channel.packets.size(), goOn ? 3 : 0);
            QCOMPARE(host.statuses.value(1), goOn ? RowStatus::Sent : RowStatus::None);
            QVERIFY(host.calls.contains(QStringLiteral("enable")));
        }
    }

    // Something other than a file in the journal's place is never read (a FIFO would block
    // the start-up for good); the next run puts a journal there.
    void aFifoInPlaceOfTheJournal()
    {
        QVERIFY(QDir().mkpath(DataFiles::dataFolder()));
        const QString journalPath = SendJournal::defaultPath();
        QCOMPARE(::mkfifo(QFile::encodeName(journalPath).constData(), 0600), 0);
        QVERIFY(!SendJournal::readInterrupted(journalPath));
        SendJournal journal(journalPath);
        QVERIFY(journal.begin(1));
        QVERIFY(journal.end(SendJournal::End::Completed));
        QVERIFY(QFileInfo(journalPath).isFile());
        QVERIFY(!QFileInfo::exists(SendJournal::previousPath(journalPath)));
    }

    // A process killed while its packet is being written leaves that message uncertain.
    void killedBetweenSendingAndSent_data()
    {
        QTest::addColumn<int>("hold");
        QTest::newRow("first message") << 1;
        QTest::newRow("third message") << 3;
    }

    void killedBetweenSendingAndSent()
    {
        QFETCH(int, hold);
        QProcess child;
        child.start(QStringLiteral(VEVA_JOURNAL_CHILD),
                    {QString::number(hold), QStringLiteral("Dear parent"), QStringLiteral("111"), QStringLiteral("222"),
                     QStringLiteral("333"), QStringLiteral("444")});
        QVERIFY(child.waitForStarted());
        QByteArray out;
        while (!out.contains("holding")) {
            QVERIFY2(child.waitForReadyRead(10000), child.readAllStandardError().constData());
            out += child.readAllStandardOutput();
        }
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const auto run = SendJournal::readInterrupted();
        QVERIFY(run);
        QCOMPARE(run->sent.size(), hold - 1);
        QCOMPARE(run->uncertain.size(), 1);
        QCOMPARE(run->uncertain.first().row, hold - 1);
        QCOMPARE(run->uncertain.first().number, QString::number(111 * hold));
        QCOMPARE(run->uncertain.first().fingerprint, kFingerprintA);
    }

    // A second run of another list, killed before its first message, still knows
    // what the first run sent; a run of the first list that sends it all again
    // (the user's choice) lets it go.
    void aNewRunNeverForgetsAnInterruptedOne()
    {
        QVERIFY(QDir().mkpath(DataFiles::dataFolder()));
        QFile first(SendJournal::defaultPath());
        QVERIFY(first.open(QIODevice::WriteOnly));
        first.write(header(3) + line("sending", 0) + line("sent", 0) + line("sending", 1));
        first.close();

        FakeHost host;
        host.rows = {{QStringLiteral("555"), QStringLiteral("Another list")}};
        FakeClock clock;
        StopGate gate;
        RecordingChannel channel;
        std::optional<SendJournal::Interrupted> atFirstMessage;
        channel.beforeWrite = [&](const QByteArray& packet) {
            if (packet != "Sign" && !atFirstMessage)
                atFirstMessage = SendJournal::readInterrupted();
        };
        QVERIFY(SendRun(&channel, host, gate, clock));
        QVERIFY(atFirstMessage);
        QCOMPARE(rowsOf(atFirstMessage->sent), QList<int>{0});
        QCOMPARE(rowsOf(atFirstMessage->uncertain), (QList<int>{0, 1}));
        // Completed, yet the first list's outcomes are still unresolved.
        QCOMPARE(SendJournal::read()->unresolved().size(), 2);

        host.rows = {{QStringLiteral("004412340"), QStringLiteral("Dear parent")},
                     {QStringLiteral("004412341"), QStringLiteral("Dear parent")}};
        host.rows[0].sendAgain = host.rows[1].sendAgain = true;
        channel.packets.clear();
        channel.failAfter = 0; // refused at once: the run ends before it sends anything
        g_bStartPacketSent = true;
        QVERIFY_THROWS_EXCEPTION(ComError, SendRun(&channel, host, gate, clock));
        QVERIFY(SendJournal::read()->unresolved().isEmpty());
    }

    void aRunThatEndsLeavesNothingToRecover()
    {
        QProcess child;
        child.start(QStringLiteral(VEVA_JOURNAL_CHILD),
                    {QStringLiteral("0"), QStringLiteral("Dear parent"), QStringLiteral("111"), QStringLiteral("222")});
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(QFile::exists(SendJournal::defaultPath()));
        QVERIFY(!SendJournal::readInterrupted());
    }
};

QTEST_GUILESS_MAIN(TestSendJournal)
#include "test_sendjournal.moc"
