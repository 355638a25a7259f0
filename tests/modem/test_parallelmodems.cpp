#include "sending/FakeHosts.h"
#include "sending/FakeLanes.h"
#include "serial/SerialTestSupport.h"

#include "device/modem/GsmModem.h"
#include "device/modem/ModemChannel.h"
#include "device/modem/ModemSelection.h"
#include "sending/ParallelSendRun.h"
#include "sending/SendJournal.h"

#include <QSettings>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

constexpr int kFirstPort = 51;

QList<RecipientRow> numberedRows(int count)
{
    QList<RecipientRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("0044%1").arg(7000 + i), QStringLiteral("message %1").arg(i)});
    return rows;
}

} // namespace

// Runs over three emulated modems on pseudo-terminals, each with a lane of its own.
class TestParallelModems : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;
    QTemporaryDir m_app;
    std::vector<std::unique_ptr<EmulatedModem>> m_modems;
    std::vector<ComPtr<ModemChannel>> m_channels;
    std::unique_ptr<LaneHost> m_host;
    std::unique_ptr<LaneClock> m_clock;
    StopGate m_gate;

    // Three modems: quick, slow (replies in small pieces), and one in between.
    bool startModems()
    {
        const int delays[] = {0, 3, 1};
        for (int i = 0; i < 3; ++i) {
            EmulatedModem::Config config;
            config.chunkDelayMs = delays[i];
            config.chunkSize = 4;
            auto modem = startModem(kFirstPort + i, config);
            if (!modem)
                return false;
            m_modems.push_back(std::move(modem));
        }
        return true;
    }
    // Opens the three modems; a modem that cannot be readied leaves its text in `error`.
    QList<SendLane> openLanes(QString* error)
    {
        QList<SendLane> lanes;
        for (int i = 0; i < 3; ++i) {
            auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(kFirstPort + i));
            try {
                channel->open();
            } catch (const ModemError& e) {
                *error = e.text();
                return {};
            }
            lanes.append({QStringLiteral("COM%1").arg(kFirstPort + i), channel.get(), 1000});
            m_channels.push_back(channel);
        }
        return lanes;
    }
    // Every part in every outbox, by number.
    QMap<QString, int> outboxes() const
    {
        QMap<QString, int> out;
        for (const auto& modem : m_modems)
            for (const EmulatedModem::SentSms& sms : modem->outbox())
                ++out[sms.number];
        return out;
    }

private slots:
    void initTestCase()
    {
        useTemporaryRuntimeFolder(m_runtime);
        qputenv("VEVA_SMS_APP_DIR", m_app.path().toLocal8Bit());
        ModemTiming timing;
        timing.commandTimeoutMs = 1500;
        timing.sendTimeoutMs = 2000;
        timing.retryBackoffMs = 10;
        ModemTiming::setCurrent(timing);
    }

    void init()
    {
        QVERIFY(startModems());
        QFile::remove(SendJournal::defaultPath());
        resetSharedState();
        m_host = std::make_unique<LaneHost>();
        m_clock = std::make_unique<LaneClock>();
    }

    void cleanup()
    {
        for (const ComPtr<ModemChannel>& channel : m_channels)
            channel->Close();
        m_channels.clear();
        m_modems.clear();
    }

    // The third modem takes a message and then says nothing more: that lane is
    // taken out with its row "Uncertain", and the other two finish the list.
    void aModemThatFailsLeavesTheOthersToFinish()
    {
        m_host->rows = numberedRows(24);
        std::atomic<int> taken{0};
        EmulatedModem* failing = m_modems.at(2).get();
        // The other two modems hold their answers (for less than a send's time-out) until the failing one
        // has been handed its third message, so the list cannot run out before that lane goes
        // quiet, however the threads are scheduled.
        std::mutex gate;
        std::condition_variable thirdTaken;
        for (int i : {0, 1}) {
            m_modems.at(i)->setSmsSink([&](const EmulatedModem::SentSms&) {
                std::unique_lock lock(gate);
                thirdTaken.wait_for(lock, std::chrono::milliseconds(1500), [&] { return taken >= 3; });
            });
        }
        failing->setSmsSink([&](const EmulatedModem::SentSms&) {
            if (++taken == 2)
                failing->silenceAfterNextPdu();
            std::lock_guard lock(gate);
            thirdTaken.notify_all();
        });
        QString error;
        const QList<SendLane> lanes = openLanes(&error);
        QVERIFY2(lanes.size() == 3, qPrintable(error));
        const ParallelRunResult result = ParallelSendRun(lanes, *m_host, m_gate, *m_clock);

        QCOMPARE(result.lostLanes.size(), 1);
        QVERIFY2(result.lostLanes.first().startsWith(QStringLiteral("COM53: ")), qPrintable(result.lostLanes.first()));
        QCOMPARE(m_host->lost(), result.lostLanes);
        QCOMPARE(failing->outbox().size(), 3);

        const QMap<int, RowStatus> statuses = m_host->statuses();
        const QMap<int, QString> lanesOf = m_host->rowLanes();
        QList<int> uncertain;
        for (int i = 0; i < 24; ++i) {
            if (statuses.value(i) == RowStatus::Uncertain)
                uncertain << i;
            else
                QCOMPARE(statuses.value(i), RowStatus::Sent);
        }
        QCOMPARE(uncertain.size(), 1);
        QCOMPARE(lanesOf.value(uncertain.first()), QStringLiteral("COM53"));
        // Every message went out once; the uncertain one too, though nobody heard so.
        const QMap<QString, int> sent = outboxes();
        QCOMPARE(sent.size(), 24);
        for (int count : sent)
            QCOMPARE(count, 1);
        QVERIFY(m_modems.at(0)->outbox().size() > 0);
        QVERIFY(m_modems.at(1)->outbox().size() > 0);

        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->end, std::optional(SendJournal::End::Failed));
        QCOMPARE(journal->lanes.value(uncertain.first()), QStringLiteral("COM53"));
        QCOMPARE(journal->outcomes.size(), 24);
    }

    // modem.ini keeps the first modem in [Modem], where a single choice always
    // was; a later single choice drops the others.
    void rememberedModemsKeepTheFirstWhereItWas()
    {
        QTemporaryDir config;
        qputenv("VEVA_SMS_CONFIG_DIR", config.path().toLocal8Bit());
        QFile old(ModemSelection::rememberedFile());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("[Modem]\nPort=7\nDevicePath=/dev/ttyUSB0\nManufacturer=Ulmex\nModel=Veva\n");
        old.close();
        QCOMPARE(ModemSelection::rememberedAll().size(), 1);
        QCOMPARE(ModemSelection::remembered()->modem.port, 7);

        QVERIFY(ModemSelection::rememberAll({{{8, QStringLiteral("A"), QStringLiteral("B")}, QStringLiteral("/dev/x")},
                                             {{9, QString(), QString()}, QStringLiteral("/dev/y")}}));
        const QList<ModemSelection::Remembered> both = ModemSelection::rememberedAll();
        QCOMPARE(both.size(), 2);
        QCOMPARE(both.at(0).modem.port, 8);
        QCOMPARE(both.at(1).devicePath, QStringLiteral("/dev/y"));
        QSettings ini(ModemSelection::rememberedFile(), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Modem/Port")).toInt(), 8);

        QVERIFY(ModemSelection::remember({10, QString(), QString()}, QString()));
        QCOMPARE(ModemSelection::rememberedAll().size(), 1);
        QCOMPARE(ModemSelection::remembered()->modem.port, 10);
        qunsetenv("VEVA_SMS_CONFIG_DIR");
    }
};

QTEST_GUILESS_MAIN(TestParallelModems)
#include "test_parallelmodems.moc"
