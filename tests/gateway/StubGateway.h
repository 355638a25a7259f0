#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <atomic>
#include <functional>

// A stand-in for the gateway's send interface, on a thread of its own (the
// channel blocks the thread that sends). Each request gets what `answer`
// says: an HTTP answer after a delay, or the connection dropped once the
// request has arrived.
class StubGateway
{
public:
    struct Reply
    {
        int status = 202;
        QByteArray body = "0: Accepted for delivery";
        int delayMs = 0;
        bool drop = false; // close without an answer
        bool keepAlive = true;
    };
    using Answer = std::function<Reply(const QUrlQuery& query)>;

    explicit StubGateway(Answer answer) : m_answer(std::move(answer))
    {
        m_thread.start();
        m_server = new QTcpServer;
        m_server->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_server,
            [this] {
                m_server->listen(QHostAddress::LocalHost, 0);
                m_port = m_server->serverPort();
                QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] { accept(); });
            },
            Qt::BlockingQueuedConnection);
    }
    ~StubGateway()
    {
        QMetaObject::invokeMethod(m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    quint16 port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/cgi-bin/sendsms").arg(m_port); }
    QList<QUrlQuery> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    int connections() const { return m_connections.load(); }
    int peakBusy() const { return m_peakBusy.load(); }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            ++m_connections;
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                for (qsizetype end; (end = buffer->indexOf("\r\n\r\n")) >= 0;) {
                    const QByteArray head = buffer->left(end);
                    buffer->remove(0, end + 4);
                    const QByteArray target = head.split('\n').first().split(' ').value(1);
                    const QUrlQuery query(QString::fromUtf8(target.mid(target.indexOf('?') + 1)));
                    {
                        QMutexLocker lock(&m_mutex);
                        m_requests.append(query);
                    }
                    const int busy = ++m_busy;
                    for (int peak = m_peakBusy.load(); busy > peak && !m_peakBusy.compare_exchange_weak(peak, busy);) {
                    }
                    const Reply reply = m_answer(query);
                    QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] {
                        --m_busy;
                        if (reply.drop) {
                            socket->abort();
                            return;
                        }
                        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) +
                                      " Whatever\r\nServer: Stub\r\nContent-Length: " +
                                      QByteArray::number(reply.body.size()) +
                                      (reply.keepAlive ? "\r\n\r\n" : "\r\nConnection: close\r\n\r\n") + reply.body);
                        if (!reply.keepAlive)
                            socket->disconnectFromHost();
                    });
                }
            });
        }
    }

    Answer m_answer;
    QThread m_thread;
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<QUrlQuery> m_requests;
    std::atomic<int> m_connections{0};
    std::atomic<int> m_busy{0};
    std::atomic<int> m_peakBusy{0};
};
