#include "device/gateway/DeliveryListener.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

namespace {

// The HTTP status the listener answers a GET of `url` with.
int get(const QString& url)
{
    QNetworkAccessManager nam;
    QNetworkReply* reply = nam.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return status;
}

struct Collected
{
    QMutex mutex;
    QList<DeliveryListener::Update> updates;
    DeliveryListener::Sink sink()
    {
        return [this](const DeliveryListener::Update& u) {
            QMutexLocker lock(&mutex);
            updates << u;
        };
    }
    QList<DeliveryListener::Update> take()
    {
        QMutexLocker lock(&mutex);
        return std::exchange(updates, {});
    }
};

} // namespace

class TestDeliveryListener : public QObject
{
    Q_OBJECT

private slots:
    void reportsReachTheirRows();
    void foreignPathsAndTokensGet404();
    void statesOfKannelsReportTypes();
};

void TestDeliveryListener::reportsReachTheirRows()
{
    Collected got;
    DeliveryListener listener(got.sink());
    QString error;
    QVERIFY2(listener.start(&error), qPrintable(error));
    QVERIFY(listener.port() != 0);
    QCOMPARE(listener.urlPrefix(),
             QStringLiteral("http://127.0.0.1:%1/dlr/%2/").arg(listener.port()).arg(listener.token()));
    QCOMPARE(listener.token().size(), 32);
    QVERIFY(DeliveryListener().token() != listener.token());

    listener.expect(11, 3, QStringLiteral("+447700900003"), "print3");
    listener.expect(12, -1, QStringLiteral("+447700900004"), "print4");
    listener.setRow(12, 4);
    listener.expect(13, 5, QStringLiteral("+447700900005"), "print5");
    QVERIFY(listener.outstanding());

    QCOMPARE(get(listener.urlPrefix() + QStringLiteral("12?type=4")), 200);
    QCOMPARE(get(listener.urlPrefix() + QStringLiteral("11?type=1")), 200);
    QCOMPARE(get(listener.urlPrefix() + QStringLiteral("12?type=2")), 200);
    // Late news of an earlier step does not undo the final word.
    QCOMPARE(get(listener.urlPrefix() + QStringLiteral("11?type=4")), 200);
    QList<DeliveryListener::Update> u = got.take();
    QCOMPARE(u.size(), 3);
    QCOMPARE(u[0].row, 4);
    QCOMPARE(u[0].delivery.status, RowStatus::Pending);
    QCOMPARE(u[1].row, 3);
    QCOMPARE(u[1].number, QStringLiteral("+447700900003"));
    QCOMPARE(u[1].fingerprint, QByteArray("print3"));
    QCOMPARE(u[1].delivery.status, RowStatus::Delivered);
    QCOMPARE(u[1].tpStatus, 0);
    QCOMPARE(u[2].row, 4);
    QCOMPARE(u[2].delivery.status, RowStatus::NotDelivered);
    QVERIFY(!u[2].delivery.reason.isEmpty());
    QCOMPARE(u[2].delivery.reason, reportReason(u[2].tpStatus)); // as the journal will read it back
    QCOMPARE(listener.reportsReceived(), 4);

    // Message 13 is still open; withdrawn, nothing is waited for and its reports are not taken.
    QVERIFY(listener.outstanding());
    listener.withdraw(13);
    QVERIFY(!listener.outstanding());
    QCOMPARE(get(listener.urlPrefix() + QStringLiteral("13?type=1")), 404);
    QVERIFY(got.take().isEmpty());
}

void TestDeliveryListener::foreignPathsAndTokensGet404()
{
    Collected got;
    DeliveryListener listener(got.sink());
    QVERIFY(listener.start());
    listener.expect(1, 0, QStringLiteral("123"), "p");
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(listener.port());
    QString wrong = listener.token();
    wrong[0] = wrong[0] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(get(base + QStringLiteral("/dlr/%1/1?type=1").arg(wrong)), 404);
    QCOMPARE(get(base + QStringLiteral("/dlr/1?type=1")), 404);
    QCOMPARE(get(base + QStringLiteral("/")), 404);
    QCOMPARE(get(base + QStringLiteral("/dlr/%1/1/extra?type=1").arg(listener.token())), 404);
    QCOMPARE(get(base + QStringLiteral("/dlr/%1/x?type=1").arg(listener.token())), 404);
    QCOMPARE(get(base + QStringLiteral("/dlr/%1/2?type=1").arg(listener.token())), 404); // not ours
    QCOMPARE(get(base + QStringLiteral("/dlr/%1/1").arg(listener.token())), 404);        // no type
    QVERIFY(got.take().isEmpty());
    QCOMPARE(listener.reportsReceived(), 0);
    QVERIFY(listener.outstanding());
}

void TestDeliveryListener::statesOfKannelsReportTypes()
{
    const QDateTime t = QDateTime::currentDateTimeUtc();
    QCOMPARE(DeliveryListener::deliveryFor(DeliveryListener::Delivered, t).status, RowStatus::Delivered);
    QCOMPARE(DeliveryListener::deliveryFor(DeliveryListener::Undelivered, t).status, RowStatus::NotDelivered);
    QCOMPARE(DeliveryListener::deliveryFor(DeliveryListener::Refused, t).status, RowStatus::NotDelivered);
    QCOMPARE(DeliveryListener::deliveryFor(DeliveryListener::Queued, t).status, RowStatus::Pending);
    // Handed to the service centre: the gateway's acceptance said as much already.
    QCOMPARE(DeliveryListener::deliveryFor(DeliveryListener::AtServiceCentre, t).status, RowStatus::Sent);
    QCOMPARE(DeliveryListener::deliveryFor(99, t).status, RowStatus::Sent);
}

QTEST_GUILESS_MAIN(TestDeliveryListener)
#include "test_deliverylistener.moc"
