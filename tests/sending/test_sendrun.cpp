#include "FakeHosts.h"
#include "core/SmallDisk.h"

#include "platform/com/DesktopApi.h"
#include "device/link/MessagePacket.h"
#include "sending/SendJournal.h"
#include "store/DataFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <thread>

class TestSendRun : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeHost m_host;
    FakeClock m_clock;
    StopGate m_gate;
    RecordingChannel m_channel;

    QStringList sentNumbers() const
    {
        QStringList out;
        for (const QByteArray& p : m_channel.packets)
            if (p != "Sign")
                out << QString::fromLatin1(p.mid(p.lastIndexOf(char(0xA7)) + 1));
        return out;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("VEVA_SMS_APP_DIR", m_dir->path().toLocal8Bit());
        resetSharedState();
        m_host = FakeHost();
        m_clock = FakeClock();
        m_channel.packets.clear();
        m_channel.failAfter = -1;
        m_channel.failure = E_DEVICE_NOT_CONNECTED;
        m_channel.beforeWrite = nullptr;
    }

    void exclusionIsTestedBeforeDuplicates()
    {
        m_host.rows = {{QStringLiteral("555"), QStringLiteral("a")}, {QStringLiteral("555"), QStringLiteral("b")}};
        m_host.opts.skipDuplicates = true;
        m_host.opts.useExclusion = true;
        m_host.excluded = {QStringLiteral("555")};
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        QVERIFY(sentNumbers().isEmpty());
        QCOMPARE(m_host.statusLines.count(QStringLiteral("Currently sending to : 555 is Excluded.")), 2);
        QVERIFY(!m_host.statusLines.contains(QStringLiteral("Currently sending to : 555 is Skipped.")));
    }

    // Stop pressed while a packet is on its way: that packet counts, then the run ends at once.
    void stopDuringAWriteEndsAfterThatPacket()
    {
        m_host.rows = {{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}};
        m_host.opts.saveSentItems = true;
        m_channel.beforeWrite = [](const QByteArray& packet) {
            if (packet != Packets::startPacket())
                g_bStopRequested = true;
        };
        QVERIFY(!SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(sentNumbers(), QStringList{QStringLiteral("1")});
        QCOMPARE(DataFiles::LoadSentItems().size(), 1);
        QCOMPARE(m_clock.sleeps, 0);
        QVERIFY(!g_bStartPacketSent);
        QVERIFY(!m_host.calls.contains(QStringLiteral("Message sent successfully.")));
        QCOMPARE(m_host.calls.last(), QStringLiteral("enable"));
    }

    void packetSize_data()
    {
        QTest::addColumn<int>("messageBytes");
        QTest::addColumn<int>("keptBytes");
        const int room = Packets::kMaxPacketBytes - 6; // separator and "12345"
        QTest::newRow("far over the limit") << 20000 << room;
        QTest::newRow("one byte over") << room + 1 << room;
        QTest::newRow("exactly fitting") << room << room;
        QTest::newRow("one byte under") << room - 1 << room - 1;
    }

    void packetSize()
    {
        QFETCH(int, messageBytes);
        QFETCH(int, keptBytes);
        QCOMPARE(Packets::kMaxPacketBytes, 16389);
        const QByteArray packet =
            Packets::MessagePacket(QString(messageBytes, QLatin1Char('m')), QStringLiteral("12345"));
        QCOMPARE(packet.size(), keptBytes + 6);
        QVERIFY(packet.endsWith("\xa7"
                                "12345"));
        QCOMPARE(packet.count('m'), keptBytes);
    }

    void duplicatesAndExclusionsInRowOrder()
    {
        m_host.rows = {{QStringLiteral("111"), QStringLiteral("a")},
                       {QStringLiteral("222"), QStringLiteral("b")},
                       {QStringLiteral("111"), QStringLiteral("c")},
                       {QStringLiteral("333"), QString()},
                       {QStringLiteral("444"), QStringLiteral("d")}};
        m_host.opts.skipDuplicates = true;
        m_host.opts.useExclusion = true;
        m_host.excluded = {QStringLiteral("222")};
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(m_channel.packets.first(), QByteArray("Sign"));
        QCOMPARE(sentNumbers(), (QStringList{QStringLiteral("111"), QStringLiteral("444")}));
        QVERIFY(m_host.statusLines.contains(QStringLiteral("Currently sending to : 222 is Excluded.")));
        QVERIFY(m_host.statusLines.contains(QStringLiteral("Currently sending to : 111 is Skipped.")));
        // Two sent, two passed over with a pause each; the empty message costs nothing.
        QCOMPARE(m_clock.sleptMs, 4000);
        QCOMPARE(m_host.calls.last(), QStringLiteral("enable"));
        QVERIFY(m_host.calls.contains(QStringLiteral("Message sent successfully.")));

        // Without skipping both rows of 111 go out; an excluded number still wins.
        m_channel.packets.clear();
        m_host.opts.skipDuplicates = false;
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(sentNumbers(), (QStringList{QStringLiteral("111"), QStringLiteral("111"), QStringLiteral("444")}));
        QCOMPARE(m_channel.packets.first(), QByteArray("a\xa7"
                                                       "111")); // no second start packet
    }

    void packetLayout()
    {
        m_host.rows = {{QStringLiteral(" 0044 "), QStringLiteral("Price \u00a75\r\nok")}};
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(m_channel.packets.at(1), QByteArray("Price \xa7"
                                                     "5\r\nok\xa7"
                                                     "0044"));
    }

    void logsWhatWasSent()
    {
        m_host.rows = {{QStringLiteral("12345"), QStringLiteral("Hi\r\nthere")},
                       {QStringLiteral("678"), QStringLiteral("Hi\r\nthere")},
                       {QStringLiteral("9"), QStringLiteral("   ")}};
        m_host.opts.saveSentItems = true;
        m_host.opts.saveTemplates = true;
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        const auto items = DataFiles::LoadSentItems();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items.at(0).number, QStringLiteral("12345"));
        QCOMPARE(items.at(2).message, QStringLiteral("   "));
        QCOMPARE(DataFiles::LoadTemplates(), QStringList{QStringLiteral("Hi\r\nthere")});
    }

    void pausesAfterEveryNButNotAfterTheLastRow()
    {
        for (int i = 0; i < 4; ++i)
            m_host.rows.append({QString::number(100 + i), QStringLiteral("m")});
        m_host.opts.delayedDelivery = true;
        g_strPauseEvery.set(QStringLiteral("2"));
        g_strPauseFor.set(QStringLiteral("5  Seconds"));
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(m_host.pauses, QList<int>{5000});
        QCOMPARE(m_clock.sleptMs, 4 * 1000 + 5000);
        QVERIFY(!g_bPausing);
    }

    void pauseSettings_data()
    {
        QTest::addColumn<QString>("every");
        QTest::addColumn<QString>("pauseFor");
        QTest::addColumn<int>("n");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("seconds") << QStringLiteral("15") << QStringLiteral("5  Seconds") << 15 << qint64(5000);
        QTest::newRow("ten minutes") << QStringLiteral("1000") << QStringLiteral("10 Minutes") << 1000
                                     << qint64(600000);
        QTest::newRow("one minute") << QStringLiteral("1") << QStringLiteral(" 1  Minute") << 1 << qint64(60000);
        QTest::newRow("one hour is an hour")
            << QStringLiteral("2") << QStringLiteral(" 1  Hour") << 2 << qint64(3600000);
        QTest::newRow("no pause") << QStringLiteral("x") << QStringLiteral("No Pause") << 0 << qint64(0);
        QTest::newRow("empty") << QString() << QString() << 0 << qint64(0);
    }

    void pauseSettings()
    {
        QFETCH(QString, every);
        QFETCH(QString, pauseFor);
        QFETCH(int, n);
        QFETCH(qint64, ms);
        const PauseSettings s = ParsePauseSettings(every, pauseFor);
        QCOMPARE(s.every, n);
        QCOMPARE(s.lengthMs(), ms);
    }

    void pauseTexts()
    {
        QCOMPARE(PauseText(3600 * 1000), QStringLiteral("Pausing the process for 1 Hour 0 Minute 0 Second."));
        QCOMPARE(PauseText(61 * 1000), QStringLiteral("Pausing the process for 1 Minute 1 Second."));
        QCOMPARE(PauseText(59 * 1000 + 999), QStringLiteral("Pausing the process for 59 Second."));
        QCOMPARE(PauseText(0), QStringLiteral("Pausing the process for 0 Second."));
        QCOMPARE(PauseText(600000), QStringLiteral("Pausing the process for 10 Minute 0 Second."));
    }

    void stopDuringAPauseEndsWithinASecond()
    {
        for (int i = 0; i < 4; ++i)
            m_host.rows.append({QString::number(100 + i), QStringLiteral("m")});
        m_host.opts.delayedDelivery = true;
        g_strPauseEvery.set(QStringLiteral("1"));
        g_strPauseFor.set(QStringLiteral("10 Minutes"));
        m_clock.onSleep = [](int n) {
            if (n == 3) // row 1's pacing, then two seconds into the pause
                g_bStopRequested = true;
        };
        QVERIFY(!SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(sentNumbers(), QStringList{QStringLiteral("100")});
        QCOMPARE(m_clock.sleeps, 3);
        QVERIFY(!m_host.calls.contains(QStringLiteral("Message sent successfully.")));
        QVERIFY(!g_bStartPacketSent); // a stopped run starts the next one with a start packet
        using S = RowStatus;
        QCOMPARE(m_host.statuses,
                 (QMap<int, S>{{0, S::Sent}, {1, S::NotSentStopped}, {2, S::NotSentStopped}, {3, S::NotSentStopped}}));
        QVERIFY(m_host.statusColumnShown);
        QVERIFY(!SendJournal::readInterrupted());
    }

    void failedWriteStopsTheRun()
    {
        for (int i = 0; i < 4; ++i)
            m_host.rows.append({QString::number(100 + i), QStringLiteral("m")});
        m_host.opts.saveSentItems = true;
        m_channel.failAfter = 3; // "Sign" and two messages
        QVERIFY_THROWS_EXCEPTION(ComError, SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(sentNumbers(), (QStringList{QStringLiteral("100"), QStringLiteral("101")}));
        QCOMPARE(DataFiles::LoadSentItems().size(), 2);
        using S = RowStatus;
        QCOMPARE(m_host.statuses, (QMap<int, S>{{0, S::Sent}, {1, S::Sent}, {2, S::Failed}, {3, S::NotSentStopped}}));
        QVERIFY(m_host.statusColumnShown);
        QVERIFY(!SendJournal::readInterrupted()); // the run ended, though badly

        // Refused at the start packet: no row was tried.
        m_host.statuses.clear();
        m_channel.packets.clear();
        m_channel.failAfter = 0;
        g_bStartPacketSent = false;
        QVERIFY_THROWS_EXCEPTION(ComError, SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(m_host.statuses.values(), QList<S>(4, S::NotSentStopped));
    }

    // A write that left the PC and was never confirmed may have been sent: the
    // row is "Uncertain" and stays so in the journal; a refusal is "Failed".
    void unconfirmedIsUncertainRefusedIsFailed_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<RowStatus>("status");
        QTest::newRow("late reply") << int(RPC_E_TIMEOUT) << RowStatus::Uncertain;
        QTest::newRow("garbled reply") << int(RPC_E_INVALID_DATAPACKET) << RowStatus::Uncertain;
        QTest::newRow("service gone while writing") << int(RPC_E_DISCONNECTED) << RowStatus::Uncertain;
        QTest::newRow("handset refused") << int(E_WRITE_FAULT) << RowStatus::Failed;
        QTest::newRow("handset unplugged") << int(E_DEVICE_NOT_CONNECTED) << RowStatus::Failed;
    }

    void unconfirmedIsUncertainRefusedIsFailed()
    {
        QFETCH(int, failure);
        QFETCH(RowStatus, status);
        m_host.rows = {{QStringLiteral("100"), QStringLiteral("m")}, {QStringLiteral("101"), QStringLiteral("m")}};
        m_channel.failAfter = 2; // "Sign" and the first message
        m_channel.failure = HRESULT(failure);
        QVERIFY_THROWS_EXCEPTION(ComError, SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(m_host.statuses.value(1), status);
        const auto journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->outcomes.size(), status == RowStatus::Uncertain ? 2 : 1);
        QCOMPARE(journal->outcomes.last().status, status == RowStatus::Uncertain ? status : RowStatus::Sent);
    }

    // The disk fills after the first message: the sent item of the second cannot
    // be saved. The user is asked once; No ends the run, Yes goes on without asking again.
    void fullDiskIsAskedAboutOnce_data()
    {
        QTest::addColumn<bool>("goOn");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }

    void fullDiskIsAskedAboutOnce()
    {
        QFETCH(bool, goOn);
        SmallDisk disk(64);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.error()));
        qputenv("VEVA_SMS_APP_DIR", disk.path().toLocal8Bit());
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        const QString text(3000, u'x'); // a record larger than a page
        for (int i = 0; i < 4; ++i)
            m_host.rows.append({QString::number(100 + i), text});
        m_host.opts.saveSentItems = true;
        m_host.goOn = goOn;
        m_clock.onSleep = [&](int sleep) {
            if (sleep == 1)
                disk.fill();
        };
        QCOMPARE(SendRun(&m_channel, m_host, m_gate, m_clock), goOn);
        disk.makeRoom();
        QCOMPARE(m_host.questions,
                 QStringList{QStringLiteral("A sent message could not be saved in SentItem.ulmex: No space left on "
                                            "device.\n\nThe message itself was sent, and the records saved before "
                                            "it are unchanged. Go on sending without saving the rest?")});
        using S = RowStatus;
        const QMap<int, S> all{{0, S::Sent}, {1, S::Sent}, {2, S::Sent}, {3, S::Sent}};
        const QMap<int, S> stopped{{0, S::Sent}, {1, S::Sent}, {2, S::NotSentStopped}, {3, S::NotSentStopped}};
        QCOMPARE(m_host.statuses, goOn ? all : stopped);
        QCOMPARE(m_host.calls.contains(QStringLiteral("Message sent successfully.")), goOn);
        QCOMPARE(DataFiles::LoadSentItems().size(), 1);
        QCOMPARE(DataFiles::LoadSentItems().first().message, text);
    }

    void everyRowGetsItsStatus()
    {
        m_host.rows = {{QStringLiteral("111"), QStringLiteral("a")},
                       {QStringLiteral("222"), QStringLiteral("b")},
                       {QStringLiteral("111"), QStringLiteral("c")},
                       {QStringLiteral("333"), QString()},
                       {QStringLiteral("444"), QStringLiteral(" ")}};
        m_host.opts.skipDuplicates = true;
        m_host.opts.useExclusion = true;
        m_host.excluded = {QStringLiteral("222")};
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        using S = RowStatus;
        QCOMPARE(m_host.statuses,
                 (QMap<int, S>{{0, S::Sent}, {1, S::Excluded}, {2, S::SkippedDuplicate}, {3, S::Blank}, {4, S::Sent}}));
        QVERIFY(!m_host.statusColumnShown); // the success message said it all
        QVERIFY(!SendJournal::readInterrupted());
    }

    // Rows an earlier run sent (or may have sent) are passed over, and the new
    // run's journal still knows them while it runs.
    void aResumedRunPassesOverWhatWasSent()
    {
        m_host.rows = {{QStringLiteral("100"), QStringLiteral("m"), RowStatus::Sent},
                       {QStringLiteral("101"), QStringLiteral("m")},
                       {QStringLiteral("102"), QStringLiteral("m"), RowStatus::Uncertain},
                       {QStringLiteral("100"), QStringLiteral("m")}};
        m_host.opts.skipDuplicates = true; // row 3 repeats row 0, which went out before
        std::optional<SendJournal::Interrupted> midRun;
        m_channel.beforeWrite = [&](const QByteArray&) { midRun = SendJournal::readInterrupted(); };
        QVERIFY(SendRun(&m_channel, m_host, m_gate, m_clock));
        QCOMPARE(sentNumbers(), QStringList{QStringLiteral("101")});
        QCOMPARE(m_clock.sleptMs, 2000); // one message and one duplicate: the kept rows cost nothing
        using S = RowStatus;
        QCOMPARE(m_host.statuses, (QMap<int, S>{{1, S::Sent}, {3, S::SkippedDuplicate}}));
        QVERIFY(midRun);
        QCOMPARE(midRun->sent.size(), 1);
        QCOMPARE(midRun->sent.first().number, QStringLiteral("100"));
        QCOMPARE(midRun->uncertain.size(), 2);
        QCOMPARE(midRun->uncertain.first().number, QStringLiteral("101")); // its packet is on its way
        QCOMPARE(midRun->uncertain.last().number, QStringLiteral("102"));
    }

    void stopQuestionHoldsTheWorker()
    {
        m_host.rows = {{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}};
        m_gate.hold();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            SendRun(&m_channel, m_host, m_gate, m_clock);
            done = true;
        });
        QTest::qWait(50);
        QVERIFY(m_channel.packets.isEmpty()); // held before anything is written
        QVERIFY(!done);
        g_bStopRequested = true; // answered Yes
        m_gate.release();
        worker.join();
        QVERIFY(m_channel.packets.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSendRun)
#include "test_sendrun.moc"
