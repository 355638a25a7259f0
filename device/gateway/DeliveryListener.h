#pragma once

#include "app/core/SendStatus.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

class QHttpServer;
class QThread;
class QObject;

// Receives the gateway's delivery reports for one run: a small HTTP server on
// 127.0.0.1 (a port the system picks) that answers only paths carrying the
// run's random token, /dlr/<token>/<message id>?type=<Kannel's report type>;
// any other path gets 404. Each report on a message the run sent is matched
// to its row by the message id and handed on, on the listener's own thread.
class DeliveryListener
{
public:
    // Kannel's report types.
    enum Type
    {
        Delivered = 1,
        Undelivered = 2,
        Queued = 4,          // queued at the service centre
        AtServiceCentre = 8, // handed to the service centre
        Refused = 16         // the service centre refused it
    };

    struct Update
    {
        quint64 id = 0;
        int row = -1;
        QString number;
        QByteArray fingerprint;
        int type = 0;
        // The report as the send journal keeps it: the TP-ST of 3GPP TS 23.040
        // that says the same.
        int tpStatus = 0;
        QDateTime time;
        Delivery delivery; // the whole message's state after this report
    };
    using Sink = std::function<void(const Update&)>;

    explicit DeliveryListener(Sink sink = {});
    ~DeliveryListener();
    DeliveryListener(const DeliveryListener&) = delete;
    DeliveryListener& operator=(const DeliveryListener&) = delete;

    // Binds 127.0.0.1 on a free port; false with the reason in *error.
    bool start(QString* error = nullptr);
    quint16 port() const { return m_port; }
    QString token() const { return m_token; }
    // "http://127.0.0.1:<port>/dlr/<token>/": the message id follows.
    QString urlPrefix() const;

    // A message the run is about to submit, sent to `number` with the message
    // whose fingerprint is given. Kannel reports a message it had to split
    // once, for all its parts.
    void expect(quint64 id, int row, const QString& number, const QByteArray& fingerprint);
    // The row that sent the message, when it is known only after the submission.
    void setRow(quint64 id, int row);
    // No report will come (the gateway refused the message).
    void withdraw(quint64 id);
    // Some message is still waiting for its final report.
    bool outstanding() const;
    int reportsReceived() const;

    // What one report of `type` says of the message.
    static Delivery deliveryFor(int type, const QDateTime& time);
    static int tpStatusFor(int type);

private:
    struct Message
    {
        int row = -1;
        QString number;
        QByteArray fingerprint;
        bool settled = false;
    };
    // On the server's thread: 200 for a report taken, 404 for anything else.
    int handle(const QString& token, const QString& id, const QString& type);

    Sink m_sink;
    QString m_token;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;
    QHttpServer* m_server = nullptr;

    mutable QMutex m_mutex;
    QHash<quint64, Message> m_messages;
    int m_open = 0;
    int m_received = 0;
};
