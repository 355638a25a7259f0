#include "KannelRig.h"
#include "sending/FakeHosts.h"

#include "device/gateway/GatewaySettings.h"
#include "platform/Paths.h"
#include "sending/GatewaySendStep.h"
#include "sending/SendJournal.h"

#include <QtTest>

#include <mutex>

namespace {

// The lanes report from their own threads.
class LaneSafeHost final : public FakeHost, public ModemLinkHost
{
public:
    std::mutex mutex;
    QMap<int, Delivery> deliveries;
    QStringList mismatches;

    void showRow(int row, int total, const QString& number) override
    {
        std::lock_guard lock(mutex);
        FakeHost::showRow(row, total, number);
    }
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        std::lock_guard lock(mutex);
        FakeHost::setRowStatus(rows, status);
    }
    void setStatusLine(const QString& text) override
    {
        std::lock_guard lock(mutex);
        FakeHost::setStatusLine(text);
    }
    bool closeProgressDialog() override
    {
        std::lock_guard lock(mutex);
        return FakeHost::closeProgressDialog();
    }
    void setMainWindowEnabled(bool enabled) override
    {
        std::lock_guard lock(mutex);
        FakeHost::setMainWindowEnabled(enabled);
    }
    void showSuccess() override
    {
        std::lock_guard lock(mutex);
        FakeHost::showSuccess();
    }

    void modemLost(const QString& text) override { mismatches << QStringLiteral("lost: ") + text; }
    bool deliveryReportsRequested() override { return true; }
    void deliveryReported(int row, const QString& number, const QByteArray& fingerprint,
                          const Delivery& delivery) override
    {
        std::lock_guard lock(mutex);
        // The row the report names, when it names one, holds that message to that number.
        if (row >= 0 && (rows.value(row).number.trimmed() != number ||
                         messageFingerprint(rows.value(row).message) != fingerprint))
            mismatches << QStringLiteral("row %1 got %2").arg(row).arg(number);
        for (int r = 0; r < rows.size(); ++r)
            if (rows[r].number.trimmed() == number && messageFingerprint(rows[r].message) == fingerprint)
                deliveries[r] = delivery;
    }
};

} // namespace

class TestGatewaySendStep : public QObject
{
    Q_OBJECT

private slots:
    void listReportsBackToItsRowsAndJournal();
};

void TestGatewaySendStep::listReportsBackToItsRowsAndJournal()
{
    if (const QString missing = KannelRig::missing(); !missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("Kannel is not installed here: no ") + missing));
    QTemporaryDir folder;
    qputenv("VEVA_SMS_APP_DIR", folder.path().toLocal8Bit());
    qputenv("VEVA_SMS_CONFIG_DIR", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    QDir().mkpath(Paths::dataFolder());
    KannelRig rig;
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));

    LaneSafeHost host;
    host.goOn = true;
    for (int i = 0; i < 12; ++i)
        host.rows.append({QStringLiteral("4477001%1").arg(i, 5, 10, QLatin1Char('0')),
                          QStringLiteral("Row %1: see you at the meeting").arg(i)});
    GatewaySettings settings;
    settings.url = rig.sendUrl();
    settings.user = KannelRig::kUser;
    settings.password = KannelRig::kPassword;
    settings.sender = QStringLiteral("Veva");
    settings.inFlight = 3;
    StopGate gate;
    FakeClock clock;
    g_bStopRequested = false;
    QString failure;
    std::shared_ptr<ReportListener> late = RunGatewaySendStep(settings, host, host, gate, clock, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    {
        std::lock_guard lock(host.mutex);
        QCOMPARE(host.statuses.size(), host.rows.size());
        for (RowStatus s : host.statuses)
            QVERIFY(s == RowStatus::Sent || s == RowStatus::Delivered);
    }
    // Reports still on their way come to the listener handed back.
    if (late) {
        ModemRunControl control;
        QElapsedTimer t;
        t.start();
        std::thread waiting([&] { late->listen(control); });
        while (late->outstanding() && t.elapsed() < 20000)
            QTest::qWait(50);
        control.cancel();
        waiting.join();
    }
    std::lock_guard lock(host.mutex);
    QVERIFY2(host.mismatches.isEmpty(), qPrintable(host.mismatches.join(QLatin1Char('\n'))));
    QCOMPARE(host.deliveries.size(), host.rows.size());
    for (const Delivery& d : host.deliveries)
        QCOMPARE(d.status, RowStatus::Delivered);
    const std::optional<SendJournal::Contents> journal = SendJournal::read();
    QVERIFY(journal);
    QCOMPARE(journal->reports.size(), host.rows.size());
    for (const RecipientRow& r : host.rows)
        QCOMPARE(journal->deliveries().value(sendKey(r.number, r.message)).status, RowStatus::Delivered);
}

QTEST_GUILESS_MAIN(TestGatewaySendStep)
#include "test_gatewaysendstep.moc"
