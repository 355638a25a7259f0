#include "DeliveryListener.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>

namespace {

// Answers go out at once: the server writes the head and the body of an
// answer apart, and with Nagle's algorithm the body would wait for the
// gateway's delayed acknowledgement, holding up each report it fetches.
class LowDelayServer final : public QTcpServer
{
protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        addPendingConnection(socket);
    }
};

} // namespace

DeliveryListener::DeliveryListener(Sink sink) : m_sink(std::move(sink))
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    m_token = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

DeliveryListener::~DeliveryListener()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_context;
}

bool DeliveryListener::start(QString* error)
{
    if (m_thread)
        return m_port != 0;
    m_thread.reset(new QThread);
    m_thread->setObjectName(QStringLiteral("gateway-reports"));
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
    m_thread->start();
    QString failure;
    QMetaObject::invokeMethod(
        m_context,
        [this, &failure] {
            m_server = new QHttpServer;
            m_server->route(QStringLiteral("/dlr/<arg>/<arg>"),
                            [this](const QString& token, const QString& id, const QHttpServerRequest& request) {
                                const QString type = QUrlQuery(request.url()).queryItemValue(QStringLiteral("type"));
                                const int status = handle(token, id, type);
                                return status == 200
                                           ? QHttpServerResponse("text/plain", QByteArrayLiteral("ok"))
                                           : QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
                            });
            auto* tcp = new LowDelayServer;
            if (tcp->listen(QHostAddress::LocalHost, 0)) {
                m_port = tcp->serverPort();
                tcp->setParent(m_server);
                m_server->bind(tcp);
            } else {
                delete tcp;
            }
            if (m_port == 0)
                failure = QStringLiteral("No port on 127.0.0.1 could be opened for the gateway's delivery reports.");
        },
        Qt::BlockingQueuedConnection);
    if (error)
        *error = failure;
    return m_port != 0;
}

QString DeliveryListener::urlPrefix() const
{
    return QStringLiteral("http://127.0.0.1:%1/dlr/%2/").arg(m_port).arg(m_token);
}

void DeliveryListener::expect(quint64 id, int row, const QString& number, const QByteArray& fingerprint)
{
    QMutexLocker lock(&m_mutex);
    Message m;
    m.row = row;
    m.number = number;
    m.fingerprint = fingerprint;
    const auto old = m_messages.constFind(id);
    if (old != m_messages.cend() && !old->settled)
        --m_open;
    m_messages.insert(id, m);
    ++m_open;
}

void DeliveryListener::setRow(quint64 id, int row)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_messages.find(id);
    if (found != m_messages.end())
        found->row = row;
}

void DeliveryListener::withdraw(quint64 id)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_messages.find(id);
    if (found == m_messages.end())
        return;
    if (!found->settled)
        --m_open;
    m_messages.erase(found);
}

bool DeliveryListener::outstanding() const
{
    QMutexLocker lock(&m_mutex);
    return m_open > 0;
}

int DeliveryListener::reportsReceived() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

int DeliveryListener::tpStatusFor(int type)
{
    switch (type) {
    case Delivered:
        return 0x00; // short message received by the recipient
    case Queued:
        return 0x20; // the centre still tries
    case Undelivered:
    case Refused:
        return 0x40; // permanent error
    default:
        return -1;
    }
}

Delivery DeliveryListener::deliveryFor(int type, const QDateTime& time)
{
    const int tp = tpStatusFor(type);
    if (tp < 0)
        return {};
    const RowStatus status = reportedStatus(tp);
    return {status, time, status == RowStatus::Delivered ? QString() : reportReason(tp)};
}

int DeliveryListener::handle(const QString& token, const QString& idText, const QString& typeText)
{
    if (token != m_token)
        return 404;
    bool ok = false;
    const quint64 id = idText.toULongLong(&ok);
    bool typeOk = false;
    const int type = typeText.toInt(&typeOk);
    if (!ok || !typeOk)
        return 404;
    Update update;
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_messages.find(id);
        if (found == m_messages.end())
            return 404;
        ++m_received;
        Message& m = *found;
        // After the final word on a message, later news of a step before it changes nothing.
        if (m.settled || tpStatusFor(type) < 0)
            return 200;
        update.id = id;
        update.row = m.row;
        update.number = m.number;
        update.fingerprint = m.fingerprint;
        update.type = type;
        update.tpStatus = tpStatusFor(type);
        update.time = QDateTime::currentDateTimeUtc();
        update.delivery = deliveryFor(type, update.time);
        if (update.delivery.status == RowStatus::Delivered || update.delivery.status == RowStatus::NotDelivered) {
            m.settled = true;
            --m_open;
        }
    }
    if (m_sink)
        m_sink(update);
    return 200;
}
