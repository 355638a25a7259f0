#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSemaphore>
#include <QString>

class QTcpSocket;
class QTimer;

// A small HTTP/1.1 client for the gateway, one keep-alive connection per
// object, run on the network thread. It exists because a request to send an
// SMS must never go out twice: a general-purpose client quietly sends a GET
// again when a kept-alive connection closes before the answer, and the
// gateway may have acted on the first one.
namespace GatewayHttp {

// One GET, handed from a sending thread to the network thread; that thread
// fills in the outcome and releases `done`.
struct Exchange
{
    enum class Outcome
    {
        Answered,   // a whole HTTP answer came
        NotReached, // nothing of the request left this computer
        NoAnswer    // the request went out and no whole answer came back
    };

    // In
    QString host;
    quint16 port = 80;
    bool tls = false;
    QByteArray target; // path and query
    int timeoutMs = 30000;
    // Out
    Outcome outcome = Outcome::NotReached;
    int status = 0;
    QByteArray body;
    QString error; // what went wrong on the wire, for NotReached and NoAnswer
    bool timedOut = false;
    QSemaphore done;
};

class Connection : public QObject
{
    Q_OBJECT

public:
    // A kept-alive connection idle for longer than this is not trusted: the
    // gateway may be closing it just as the next request goes out.
    static constexpr int kReuseIdleMs = 4000;

    explicit Connection(QObject* parent = nullptr);
    ~Connection() override;

    // On the network thread; ends by releasing exchange->done.
    void start(Exchange* exchange);

private:
    void openSocket();
    void writeRequest();
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    void onTimeout();
    // True when the buffer holds a whole answer (then it is taken out).
    bool parseAnswer(bool atEof);
    void finish(Exchange::Outcome outcome, const QString& error = {});
    void dropSocket();

    QTcpSocket* m_socket = nullptr;
    QTimer* m_timer = nullptr;
    Exchange* m_exchange = nullptr;
    QString m_host;
    quint16 m_port = 0;
    bool m_tls = false;
    bool m_written = false;
    bool m_keepAlive = true;
    QByteArray m_buffer;
    QElapsedTimer m_idle;
};

} // namespace GatewayHttp
