#include "sending/DeliveryTracker.h"

#include <QTest>

namespace {

const QByteArray kText = messageFingerprint(QStringLiteral("Parents evening"));
const QDateTime kT0(QDate(2026, 12, 9), QTime(13, 0), Qt::UTC);

Pdu::StatusReport report(int reference, const QString& recipient, int status, int minutes = 1)
{
    return {reference, recipient, kT0, kT0.addSecs(60 * minutes), status};
}

} // namespace

// Status reports matched to rows by message reference and recipient.
class TestDeliveryTracker : public QObject
{
    Q_OBJECT

private slots:
    // Each row: the parts sent (row, number, parts, first reference; references go on from there),
    // then the reports in order, and what each row shows afterwards.
    void matching_data()
    {
        QTest::addColumn<QList<int>>("partsPerRow");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<int>("firstReference");
        QTest::addColumn<QList<int>>("reportReferences");
        QTest::addColumn<QStringList>("reportRecipients");
        QTest::addColumn<QList<int>>("reportStatuses");
        QTest::addColumn<QStringList>("shown"); // per row: status text and reason
        QTest::addColumn<bool>("outstanding");

        QTest::newRow("single, delivered")
            << QList<int>{1} << QStringList{"00447700900001"} << 10 << QList<int>{10} << QStringList{"+447700900001"}
            << QList<int>{0x00} << QStringList{"Delivered"} << false;
        QTest::newRow("single, expired") << QList<int>{1} << QStringList{"00447700900001"} << 10 << QList<int>{10}
                                         << QStringList{"+447700900001"} << QList<int>{0x46}
                                         << QStringList{"Not delivered: validity period expired"} << false;
        QTest::newRow("single, still tried, then delivered")
            << QList<int>{1, 1} << QStringList{"+441", "+442"} << 10 << QList<int>{10, 11, 10}
            << QStringList{"+441", "+442", "+441"} << QList<int>{0x21, 0x21, 0x00}
            << QStringList{"Delivered", "Pending: recipient busy"} << true;
        QTest::newRow("three parts, every one delivered")
            << QList<int>{3} << QStringList{"07700900001"} << 20 << QList<int>{22, 20, 21}
            << QStringList{"+447700900001", "+447700900001", "+447700900001"} << QList<int>{0, 0, 0}
            << QStringList{"Delivered"} << false;
        QTest::newRow("three parts, two reported")
            << QList<int>{3} << QStringList{"+441"} << 20 << QList<int>{20, 21} << QStringList{"+441", "+441"}
            << QList<int>{0, 0} << QStringList{"Sent"} << true;
        QTest::newRow("three parts, one failed") << QList<int>{3} << QStringList{"+441"} << 20 << QList<int>{20, 21, 22}
                                                 << QStringList{"+441", "+441", "+441"} << QList<int>{0, 0x41, 0}
                                                 << QStringList{"Not delivered: incompatible destination"} << false;
        // 254, 255, then 0 and 1: the reference wraps inside one message.
        QTest::newRow("parts across the wrap")
            << QList<int>{4} << QStringList{"+441"} << 254 << QList<int>{0, 255, 1, 254}
            << QStringList{"+441", "+441", "+441", "+441"} << QList<int>{0, 0, 0, 0} << QStringList{"Delivered"}
            << false;
        // 257 messages to one number: the first and the last share reference 5; the older one is answered first.
        QList<int> many(257, 1);
        QStringList same(257, QStringLiteral("+441"));
        QTest::newRow("a reference used twice for one number")
            << many << same << 5 << QList<int>{5, 5} << QStringList{"+441", "+441"} << QList<int>{0x00, 0x46}
            << QStringList{"Delivered"} << true;
        QTest::newRow("a reference shared by two numbers")
            << QList<int>{1, 1} << QStringList{"+441", "+442"} << 7 << QList<int>{7, 8} << QStringList{"+442", "+441"}
            << QList<int>{0x00, 0x00} << QStringList{"Sent", "Sent"} << true;
        QTest::newRow("an unknown recipient changes nothing")
            << QList<int>{1} << QStringList{"+441"} << 7 << QList<int>{7} << QStringList{"+449"} << QList<int>{0}
            << QStringList{"Sent"} << true;
    }

    void matching()
    {
        QFETCH(QList<int>, partsPerRow);
        QFETCH(QStringList, numbers);
        QFETCH(int, firstReference);
        QFETCH(QList<int>, reportReferences);
        QFETCH(QStringList, reportRecipients);
        QFETCH(QList<int>, reportStatuses);
        QFETCH(QStringList, shown);
        QFETCH(bool, outstanding);

        DeliveryTracker tracker;
        int reference = firstReference;
        for (int row = 0; row < partsPerRow.size(); ++row)
            for (int part = 1; part <= partsPerRow.at(row); ++part)
                tracker.submitted(row, numbers.at(row), kText, part, partsPerRow.at(row), reference++ % 256);
        for (int k = 0; k < reportReferences.size(); ++k)
            tracker.reported(report(reportReferences.at(k), reportRecipients.at(k), reportStatuses.at(k), k));

        for (int row = 0; row < shown.size(); ++row) {
            const Delivery d = tracker.deliveryOf(row);
            const QString text = rowStatusText(d.status) + (d.reason.isEmpty() ? QString() : ": " + d.reason);
            QCOMPARE(text, shown.at(row));
        }
        QCOMPARE(tracker.outstanding(), outstanding);
    }

    // A 3-part message is delivered when the last of its parts is, at that part's time.
    void theUpdateCarriesTheWholeMessage()
    {
        DeliveryTracker tracker;
        for (int part = 1; part <= 3; ++part)
            tracker.submitted(4, QStringLiteral("+441"), kText, part, 3, 100 + part);
        const auto first = tracker.reported(report(103, QStringLiteral("+441"), 0, 9));
        QVERIFY(first);
        QCOMPARE(first->row, 4);
        QCOMPARE(first->part.part, 3);
        QCOMPARE(first->delivery.status, RowStatus::Sent);
        tracker.reported(report(101, QStringLiteral("+441"), 0, 2));
        const auto last = tracker.reported(report(102, QStringLiteral("+441"), 0, 5));
        QCOMPARE(last->delivery.status, RowStatus::Delivered);
        QCOMPARE(last->delivery.time, kT0.addSecs(9 * 60));
        QCOMPARE(last->fingerprint, kText);
        // A second report on a part already settled finds nothing to change.
        QVERIFY(!tracker.reported(report(102, QStringLiteral("+441"), 0x46)));
    }

    void recipientsWrittenTwoWays_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("00 and +") << "0044 7700 900001"
                                  << "+447700900001" << true;
        QTest::newRow("national and international") << "07700900001"
                                                    << "+447700900001" << true;
        QTest::newRow("another subscriber") << "07700900002"
                                            << "+447700900001" << false;
        QTest::newRow("short codes") << "1234"
                                     << "+441234" << false;
        QTest::newRow("empty") << ""
                               << "+441" << false;
    }

    void recipientsWrittenTwoWays()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(DeliveryTracker::sameRecipient(a, b), "same");
        QTEST(DeliveryTracker::sameRecipient(b, a), "same");
    }
};

QTEST_APPLESS_MAIN(TestDeliveryTracker)
#include "test_deliverytracker.moc"
