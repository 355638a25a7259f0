#include "TextSamples.h"
#include "sending/FakeHosts.h"
#include "serial/SerialTestSupport.h"

#include "device/modem/GsmModem.h"
#include "device/modem/ModemChannel.h"
#include "device/modem/ModemSelection.h"
#include "sending/ModemSendStep.h"
#include "sending/SendJournal.h"
#include "store/DataFiles.h"

#include <QtTest>

#include <mutex>
#include <thread>

namespace {

constexpr int kPort = 41;

// Reports reach the host from the send worker and, after the run, from the listener's thread.
std::mutex deliveryMutex;

class ModemHost : public FakeHost, public ModemLinkHost
{
public:
    QStringList lost;
    bool reports = false;
    QMap<int, Delivery> deliveries;
    std::function<void(int row)> onRow;

    void modemLost(const QString& text) override
    {
        lost << text;
        calls << QStringLiteral("modemLost");
    }
    bool deliveryReportsRequested() override { return reports; }
    void deliveryReported(int row, const QString& number, const QByteArray& fingerprint,
                          const Delivery& delivery) override
    {
        std::lock_guard lock(deliveryMutex);
        if (rows.value(row).number.trimmed() == number && messageFingerprint(rows.value(row).message) == fingerprint)
            deliveries[row] = delivery;
    }
    void showRow(int row, int total, const QString& number) override
    {
        if (onRow)
            onRow(row);
        FakeHost::showRow(row, total, number);
    }
    // What the list would show: the report's outcome, else what the run set.
    QString shown(int row)
    {
        std::lock_guard lock(deliveryMutex);
        const auto found = deliveries.constFind(row);
        if (found == deliveries.cend())
            return rowStatusText(statuses.value(row));
        return rowStatusText(found->status) + (found->reason.isEmpty() ? QString() : ": " + found->reason);
    }
};

// The texts the outbox holds, the parts of each message joined in order.
QMap<QString, QString> messagesByNumber(const QList<EmulatedModem::SentSms>& outbox)
{
    QMap<QString, QString> out;
    for (const EmulatedModem::SentSms& sms : outbox)
        out[sms.number] += sms.text;
    return out;
}

} // namespace

Q_DECLARE_METATYPE(EmulatedModem::ReportPlan)

// Send runs through the emulated modem on its pseudo-terminal, with the send
// run's clock shortened and the modem's time-outs short.
class TestModemSend : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;
    QTemporaryDir m_app;
    std::unique_ptr<EmulatedModem> m_modem;
    ModemHost m_host;
    FakeClock m_clock;
    StopGate m_gate;

    void run() { RunModemSendStep(kPort, m_host, m_host, m_gate, m_clock); }
    bool succeeded() const { return m_host.calls.contains(QStringLiteral("Message sent successfully.")); }

    static void shortTiming()
    {
        ModemTiming timing;
        timing.commandTimeoutMs = 1500;
        timing.sendTimeoutMs = 3000;
        timing.retryBackoffMs = 10;
        ModemTiming::setCurrent(timing);
    }

private slots:
    void initTestCase()
    {
        useTemporaryRuntimeFolder(m_runtime);
        qputenv("VEVA_SMS_APP_DIR", m_app.path().toLocal8Bit());
        shortTiming();
    }

    void init()
    {
        QVERIFY(m_modem = startModem(kPort));
        QFile::remove(SendJournal::defaultPath());
        resetSharedState();
        m_host = ModemHost();
        m_clock = FakeClock();
        g_bDeviceSelected = true;
        ModemSelection::select({kPort, QStringLiteral("Ulmex"), QStringLiteral("Veva")});
    }

    void cleanup() { m_modem.reset(); }

    void fiveRowsReachTheOutbox()
    {
        const QString longText = QString(200, u'a') + QString(150, u'b') + QStringLiteral(" {end}");
        const QString greek = QStringLiteral("Καλημέρα σας \U0001F600");
        const QString escapes = QStringLiteral("Price: 5€ [ok] ~ 100%");
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("Hello\r\nsecond line")},
                       {QStringLiteral("00442222"), longText},
                       {QStringLiteral(" 00443333 "), greek},
                       {QStringLiteral("07700900444"), escapes},
                       {QStringLiteral("00445555"), QStringLiteral("bye")}};
        run();

        QVERIFY(succeeded());
        QVERIFY(m_host.lost.isEmpty());
        const QList<EmulatedModem::SentSms> outbox = m_modem->outbox();
        QCOMPARE(outbox.size(), 7);
        const QMap<QString, QString> expected{{QStringLiteral("+441111"), QStringLiteral("Hello\r\nsecond line")},
                                              {QStringLiteral("+442222"), longText},
                                              {QStringLiteral("+443333"), greek},
                                              {QStringLiteral("07700900444"), escapes},
                                              {QStringLiteral("+445555"), QStringLiteral("bye")}};
        QCOMPARE(messagesByNumber(outbox), expected);
        // The long message: parts 1 to 3 in order under one reference; single messages carry none.
        QCOMPARE(outbox.at(1).part, 1);
        QCOMPARE(outbox.at(3).part, 3);
        QCOMPARE(outbox.at(3).parts, 3);
        QCOMPARE(outbox.at(1).reference, outbox.at(3).reference);
        QCOMPARE(outbox.at(0).reference, -1);
        QVERIFY(m_modem->receivedCommands().contains("AT+CMGF=0"));
        // Pacing stays the run's: one second after each message.
        QCOMPARE(m_clock.sleptMs, 5000);
    }

    // The modem takes every character: it arrives whole and is logged and saved whole.
    void everyTextGoesOutWhole()
    {
        QTemporaryDir app;
        qputenv("VEVA_SMS_APP_DIR", QFile::encodeName(app.path()));
        QStringList texts;
        QMap<QString, QString> expected;
        for (const TextSample& sample : textSamples()) {
            const QString number = QStringLiteral("+44%1").arg(700 + texts.size());
            m_host.rows.append({number, sample.text});
            texts.append(sample.text);
            expected.insert(number, sample.text);
        }
        m_host.opts.saveSentItems = true;
        m_host.opts.saveTemplates = true;
        run();
        qputenv("VEVA_SMS_APP_DIR", m_app.path().toLocal8Bit());

        QVERIFY(succeeded());
        QVERIFY(m_host.questions.isEmpty());
        QCOMPARE(messagesByNumber(m_modem->outbox()), expected);
        QStringList logged;
        for (const DataFiles::SentItem& item :
             DataFiles::LoadSentItems(app.filePath(QStringLiteral("VEVA_SMS_DATA/SentItem.ulmex"))))
            logged.append(item.message);
        QCOMPARE(logged, texts);
        QCOMPARE(DataFiles::LoadTemplates(app.filePath(QStringLiteral("VEVA_SMS_DATA/Templates.ulmex"))), texts);
    }

    // Reports as +CDS or from the modem's storage, delivered, failed, late and
    // never, for single and three-part messages; late ones come to the
    // listener that keeps the modem after the run.
    void deliveryReports_data()
    {
        using Plan = EmulatedModem::ReportPlan;
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<QStringList>("texts"); // one row each, to 00441000 + row
        QTest::addColumn<QList<Plan>>("plans");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("listening"); // reports were still to come when the run ended

        const QString single = QStringLiteral("Parents evening on Thursday");
        const QString three = QString(400, u'x');
        const Plan delivered{{0x00, 0}};
        const Plan expired{{0x46, 0}};
        const Plan late{{0x00, 1500}};
        const Plan triedThenDelivered{{0x21, 0}, {0x00, 1200}};
        const Plan never{};
        for (bool stored : {false, true}) {
            const QString route = stored ? QStringLiteral("storage") : QStringLiteral("+CDS");
            QTest::addRow("%s: single messages", qPrintable(route))
                << stored << false << QStringList{single, single, single, single}
                << QList<Plan>{delivered, expired, late, triedThenDelivered}
                << QStringList{"Delivered", "Not delivered: validity period expired", "Delivered", "Delivered"} << true;
            QTest::addRow("%s: three parts", qPrintable(route))
                << stored << !stored << QStringList{three, three, three} << QList<Plan>{delivered, late, expired}
                << QStringList{"Delivered", "Delivered", "Not delivered: validity period expired"} << true;
        }
        QTest::newRow("+CDS: reports at once, nothing to wait for")
            << false << true << QStringList{single, three} << QList<Plan>{delivered, delivered}
            << QStringList{"Delivered", "Delivered"} << false;
        QTest::newRow("+CDS: a network that never reports")
            << false << false << QStringList{single, three} << QList<Plan>{never, never} << QStringList{"Sent", "Sent"}
            << true;
    }

    void deliveryReports()
    {
        QFETCH(bool, stored);
        QFETCH(bool, acknowledged);
        QFETCH(QStringList, texts);
        QFETCH(QList<EmulatedModem::ReportPlan>, plans);
        QFETCH(QStringList, shown);
        QFETCH(bool, listening);
        m_modem->setDirectReportsRefused(stored);
        m_modem->setReportsNeedAcknowledgement(acknowledged);
        for (int row = 0; row < texts.size(); ++row) {
            m_host.rows.append({QStringLiteral("0044100%1").arg(row), texts.at(row)});
            m_modem->setReportPlanFor(QStringLiteral("+44100%1").arg(row), plans.at(row));
        }
        m_host.reports = true;
        std::shared_ptr<ReportListener> listener = RunModemSendStep(kPort, m_host, m_host, m_gate, m_clock);
        QVERIFY(succeeded());
        QCOMPARE(bool(listener), listening);
        ModemRunControl control;
        std::thread listen;
        if (listener)
            listen = std::thread([&] { listener->listen(control); });
        for (int row = 0; row < shown.size(); ++row)
            QTRY_COMPARE_WITH_TIMEOUT(m_host.shown(row), shown.at(row), 8000);
        if (listen.joinable()) {
            // A network that never reports keeps the listener waiting until it is let go.
            QTest::qWait(100);
            control.cancel();
            listen.join();
        }
        listener.reset();

        const int reports = m_modem->reportsSent();
        const int parts = int(m_modem->outbox().size());
        for (const EmulatedModem::ReportPlan& plan : plans)
            QVERIFY(plan.isEmpty() || reports >= 1);
        QCOMPARE(m_modem->storedReports(), 0); // each one read was deleted
        QCOMPARE(m_modem->acknowledgements(), acknowledged && !stored ? reports : 0);
        const std::optional<SendJournal::Contents> journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->reports.size(), reports);
        for (int row = 0; row < shown.size(); ++row) {
            const Delivery d =
                journal->deliveries().value(sendKey(m_host.rows.at(row).number, texts.at(row)), Delivery{});
            QCOMPARE(rowStatusText(d.status) + (d.reason.isEmpty() ? QString() : ": " + d.reason), shown.at(row));
        }
        QVERIFY(parts >= texts.size());
        // Every part asked for its report.
        QVERIFY(m_modem->receivedCommands().contains(stored ? "AT+CNMI=2,1,0,2,0" : "AT+CNMI=2,1,0,1,0"));
    }

    // 258 messages to one recipient: the modem's references 0 and 1 come
    // twice, and the reports (sent long after both) go to the older message
    // first. The network fails the second message under each reference.
    void referencesThatWrapAt255()
    {
        const QString number = QStringLiteral("00447700900001");
        for (int row = 0; row < 258; ++row)
            m_host.rows.append({number, QStringLiteral("Reminder %1").arg(row)});
        m_modem->setReportPlan({{0x00, 2500}});
        m_host.onRow = [this](int row) {
            if (row == 256)
                m_modem->setReportPlan({{0x46, 2500}});
        };
        m_host.reports = true;
        std::shared_ptr<ReportListener> listener = RunModemSendStep(kPort, m_host, m_host, m_gate, m_clock);
        QVERIFY(succeeded());
        QVERIFY(listener);
        ModemRunControl control;
        std::thread listen([&] { listener->listen(control); });
        QTRY_VERIFY_WITH_TIMEOUT(!listener->outstanding(), 30000);
        listen.join();
        for (int row : {0, 1, 2, 255})
            QCOMPARE(m_host.shown(row), QStringLiteral("Delivered"));
        for (int row : {256, 257})
            QCOMPARE(m_host.shown(row), QStringLiteral("Not delivered: validity period expired"));
    }

    void failures_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("sent");     // messages in the outbox (of three rows)
        QTest::addColumn<int>("attempts"); // PDUs the modem received
        QTest::addColumn<QString>("told"); // part of the text the user is shown, empty on success

        QTest::newRow("congestion, then through") << 42 << 2 << 3 << 5 << QString();
        QTest::newRow("network timeout three times")
            << 332 << 3 << 1 << 4 << QStringLiteral("+CMS ERROR: 332 (network timeout)");
        QTest::newRow("permanent") << 21 << 1 << 1 << 2
                                   << QStringLiteral("The GSM modem on COM41 refused the message to 00442222: +CMS "
                                                     "ERROR: 21 (short message transfer rejected).");
        QTest::newRow("unknown code") << 999 << 1 << 1 << 2 << QStringLiteral("+CMS ERROR: 999.");
    }

    // The second row's sends are refused `times` times.
    void failures()
    {
        QFETCH(int, code);
        QFETCH(int, times);
        QFETCH(int, sent);
        QFETCH(int, attempts);
        QFETCH(QString, told);
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")},
                       {QStringLiteral("00442222"), QStringLiteral("two")},
                       {QStringLiteral("00443333"), QStringLiteral("three")}};
        EmulatedModem* modem = m_modem.get();
        modem->setSmsSink([modem, code, times](const EmulatedModem::SentSms& sms) {
            if (sms.number == QLatin1String("+441111"))
                modem->failNextSends(code, times);
        });
        run();

        QCOMPARE(m_modem->outbox().size(), sent);
        QCOMPARE(m_modem->sendAttempts(), attempts);
        QCOMPARE(succeeded(), told.isEmpty());
        if (told.isEmpty())
            return;
        QCOMPARE(m_host.lost.size(), 1);
        QVERIFY2(m_host.lost.first().contains(told), qPrintable(m_host.lost.first()));
        QVERIFY(m_host.lost.first().startsWith(QStringLiteral("Modem failed to send the SMS message.")));
        QVERIFY(!g_bDeviceSelected);
        QVERIFY(!ModemSelection::current());
        QVERIFY(m_host.calls.contains(QStringLiteral("closeProgress")));
        QCOMPARE(m_host.calls.last(), QStringLiteral("enable"));
    }

    void simPinIsNeverGuessed()
    {
        m_modem->setSimPinRequired(true);
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")}};
        run();
        QCOMPARE(m_host.lost, QStringList{QStringLiteral("The GSM modem on COM41 asks for the PIN of its SIM card. "
                                                         "Unlock the SIM card first, for example in a phone: this "
                                                         "program never enters a PIN.")});
        QCOMPARE(m_modem->sendAttempts(), 0);
        for (const QByteArray& command : m_modem->receivedCommands())
            QVERIFY2(!command.toUpper().startsWith("AT+CPIN="), command.constData());
        QVERIFY(!m_host.calls.contains(QStringLiteral("showProgress")));

        // The SIM locks while a run goes on: the refusal (+CMS ERROR: 311) says the same.
        m_modem->setSimPinRequired(false);
        m_host = ModemHost();
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")},
                       {QStringLiteral("00442222"), QStringLiteral("two")}};
        m_clock.onSleep = [this](int) { m_modem->setSimPinRequired(true); };
        run();
        QCOMPARE(m_modem->outbox().size(), 1);
        QCOMPARE(m_host.lost.size(), 1);
        QVERIFY(m_host.lost.first().contains(QStringLiteral("asks for the PIN of its SIM card")));
    }

    void modemGoneMidRun_data()
    {
        QTest::addColumn<bool>("unplugged"); // else it only stops answering
        QTest::newRow("unplugged") << true;
        QTest::newRow("silent") << false;
    }

    void modemGoneMidRun()
    {
        QFETCH(bool, unplugged);
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")},
                       {QStringLiteral("00442222"), QStringLiteral("two")},
                       {QStringLiteral("00443333"), QStringLiteral("three")}};
        m_clock.onSleep = [&](int sleep) {
            if (sleep != 1)
                return;
            if (unplugged) {
                m_modem->stop();
                return;
            }
            EmulatedModem::Config silent = m_modem->config();
            silent.mode = EmulatedModem::Config::Mode::Silent;
            m_modem->setConfig(silent);
        };
        run();
        QCOMPARE(m_modem->outbox().size(), 1);
        QCOMPARE(m_host.lost.size(), 1);
        QVERIFY2(m_host.lost.first().startsWith(QStringLiteral("The GSM modem on COM41 stopped answering")),
                 qPrintable(m_host.lost.first()));
        QVERIFY(!succeeded());
        QCOMPARE(m_host.calls.last(), QStringLiteral("enable"));
    }

    // The modem took the whole PDU and never answered: the message may be on its
    // way, so it is "Uncertain", the journal says so, and a resume leaves it alone.
    void silentAfterThePduIsUncertain()
    {
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")},
                       {QStringLiteral("00442222"), QStringLiteral("two")},
                       {QStringLiteral("00443333"), QStringLiteral("three")}};
        m_clock.onSleep = [this](int sleep) {
            if (sleep == 1)
                m_modem->silenceAfterNextPdu();
        };
        run();
        QCOMPARE(m_modem->outbox().size(), 2);
        QCOMPARE(m_host.statuses.value(0), RowStatus::Sent);
        QCOMPARE(m_host.statuses.value(1), RowStatus::Uncertain);
        QCOMPARE(m_host.statuses.value(2), RowStatus::NotSentStopped);
        QCOMPARE(m_host.lost.size(), 1);
        QVERIFY2(m_host.lost.first().contains(QStringLiteral("This one may have been sent")),
                 qPrintable(m_host.lost.first()));
        const auto journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->end, SendJournal::End::Failed);
        QCOMPARE(journal->outcomes.size(), 2);
        QCOMPARE(journal->outcomes.at(1).status, RowStatus::Uncertain);

        // The modem answers again; Yes to the resume question keeps rows 1 and 2.
        m_modem = startModem(kPort);
        QVERIFY(m_modem);
        m_host = ModemHost();
        m_clock = FakeClock();
        g_bDeviceSelected = true;
        ModemSelection::select({kPort, QStringLiteral("Ulmex"), QStringLiteral("Veva")});
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one"), RowStatus::Sent},
                       {QStringLiteral("00442222"), QStringLiteral("two"), RowStatus::Uncertain},
                       {QStringLiteral("00443333"), QStringLiteral("three")}};
        run();
        QVERIFY(succeeded());
        QCOMPARE(messagesByNumber(m_modem->outbox()),
                 (QMap<QString, QString>{{QStringLiteral("+443333"), QStringLiteral("three")}}));
    }

    // Part 2 of 3 is refused on every try: the row is "Failed" with one part out.
    // The next run sends parts 2 and 3 only, under the first part's reference,
    // so the phone joins all three; a message sent whole takes a new one.
    void aLongMessageCutShortIsFinishedUnderItsReference()
    {
        const QString longText = QString(153, u'a') + QString(153, u'b') + QStringLiteral("ccc");
        m_host.rows = {{QStringLiteral("00441111"), longText}, {QStringLiteral("00442222"), QStringLiteral("two")}};
        EmulatedModem* modem = m_modem.get();
        modem->setSmsSink([modem](const EmulatedModem::SentSms& sms) {
            if (sms.part == 1)
                modem->failNextSends(38, GsmModem::MaxAttempts);
        });
        run();
        QCOMPARE(m_modem->outbox().size(), 1);
        QCOMPARE(m_host.statuses.value(0), RowStatus::Failed);
        QCOMPARE(m_host.statuses.value(1), RowStatus::NotSentStopped);
        const int reference = m_modem->outbox().first().reference;
        const auto journal = SendJournal::read();
        QVERIFY(journal);
        QCOMPARE(journal->outcomes.size(), 1);
        QCOMPARE(journal->outcomes.first().status, RowStatus::Failed);
        QCOMPARE(journal->outcomes.first().entry.parts, (SendJournal::Parts{1, 3, reference}));

        // The same list again (the program may have been restarted in between).
        m_modem->setSmsSink({});
        m_host = ModemHost();
        m_clock = FakeClock();
        g_bDeviceSelected = true;
        ModemSelection::select({kPort, QStringLiteral("Ulmex"), QStringLiteral("Veva")});
        m_host.rows = {{QStringLiteral("00441111"), longText}, {QStringLiteral("00442222"), QStringLiteral("two")}};
        run();
        QVERIFY(succeeded());
        const QList<EmulatedModem::SentSms> outbox = m_modem->outbox();
        QCOMPARE(outbox.size(), 4);
        for (int part = 1; part <= 3; ++part) {
            QCOMPARE(outbox.at(part - 1).part, part);
            QCOMPARE(outbox.at(part - 1).reference, reference);
        }
        QCOMPARE(messagesByNumber(outbox),
                 (QMap<QString, QString>{{QStringLiteral("+441111"), longText},
                                         {QStringLiteral("+442222"), QStringLiteral("two")}}));
        QVERIFY(SendJournal::read()->unresolved().isEmpty());

        // Once finished, the message is an ordinary one again: sent again, it goes whole.
        m_host = ModemHost();
        g_bDeviceSelected = true;
        ModemSelection::select({kPort, QStringLiteral("Ulmex"), QStringLiteral("Veva")});
        m_host.rows = {{QStringLiteral("00441111"), longText}};
        run();
        QCOMPARE(m_modem->outbox().size(), 7);
        QCOMPARE(m_modem->outbox().at(4).part, 1);
    }

    void stopFinishesTheMessageInHand()
    {
        m_host.rows = {{QStringLiteral("00441111"), QString(400, u'x')},
                       {QStringLiteral("00442222"), QStringLiteral("two")}};
        // Stop is confirmed as soon as the first part has gone.
        m_modem->setSmsSink([](const EmulatedModem::SentSms&) { g_bStopRequested = true; });
        run();
        const QList<EmulatedModem::SentSms> outbox = m_modem->outbox();
        QCOMPARE(outbox.size(), 3);
        QCOMPARE(messagesByNumber(outbox), (QMap<QString, QString>{{QStringLiteral("+441111"), QString(400, u'x')}}));
        QVERIFY(!succeeded());
        QVERIFY(m_host.lost.isEmpty());
        QVERIFY(!g_bStartPacketSent);
    }

    // A caller with only the handset's packet: the text is read from the ANSI code page, the last 0xA7 divides.
    void handsetPacketsAreDecoded()
    {
        const auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(kPort));
        channel->open();
        const QByteArray packet = "Price \xa7"
                                  "5\xa7"
                                  "0044123";
        QCOMPARE(channel->WritePacket(reinterpret_cast<const std::uint8_t*>("Sign"), 4), S_OK);
        QCOMPARE(channel->WritePacket(reinterpret_cast<const std::uint8_t*>(packet.constData()), int(packet.size())),
                 S_OK);
        QCOMPARE(channel->WritePacket(reinterpret_cast<const std::uint8_t*>("no separator"), 12), E_INVALIDARG);
        QCOMPARE(m_modem->outbox().size(), 1);
        QCOMPARE(m_modem->outbox().first().text, QStringLiteral("Price \u00a7"
                                                                "5"));
        QCOMPARE(m_modem->outbox().first().number, QStringLiteral("+44123"));
    }

    void unopenablePortSaysSo()
    {
        m_modem.reset();
        QDir(m_runtime.path() + QStringLiteral("/ports")).removeRecursively();
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")}};
        run();
        QCOMPARE(m_host.lost.size(), 1);
        QVERIFY2(m_host.lost.first().startsWith(QStringLiteral("The GSM modem on COM41 cannot be opened.")),
                 qPrintable(m_host.lost.first()));
        QVERIFY(!ModemSelection::current());
    }

    void cancelEndsAWaitAtOnce()
    {
        EmulatedModem::Config silent;
        silent.mode = EmulatedModem::Config::Mode::Silent;
        m_modem->setConfig(silent);
        ModemTiming slow = ModemTiming::current();
        slow.commandTimeoutMs = 60000;
        ModemTiming::setCurrent(slow);
        ModemRunControl control;
        m_host.rows = {{QStringLiteral("00441111"), QStringLiteral("one")}};
        QElapsedTimer clock;
        clock.start();
        std::thread canceller([&control] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            control.cancel();
        });
        RunModemSendStep(kPort, m_host, m_host, m_gate, m_clock, &control);
        canceller.join();
        shortTiming();
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(m_host.lost.isEmpty()); // leaving the program is no failure to report
        QCOMPARE(m_host.calls.last(), QStringLiteral("enable"));
    }
};

QTEST_GUILESS_MAIN(TestModemSend)
#include "test_modemsend.moc"
