#include "GatewayHttp.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace GatewayHttp {

namespace {

constexpr qsizetype kMaxAnswerBytes = 1 << 20;

QString socketErrorText(QAbstractSocket::SocketError error, const QString& host, quint16 port)
{
    const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Nothing accepts connections at %1 (connection refused).").arg(where);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("The gateway's host \"%1\" is not known.").arg(host);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("The gateway at %1 closed the connection.").arg(where);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("The network to %1 failed.").arg(where);
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("The connection to %1 timed out.").arg(where);
    case QAbstractSocket::SslHandshakeFailedError:
        return QStringLiteral("The secure connection to %1 could not be set up.").arg(where);
    default:
        return QStringLiteral("The connection to %1 failed (socket error %2).").arg(where).arg(int(error));
    }
}

} // namespace

Connection::Connection(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &Connection::onTimeout);
}

Connection::~Connection()
{
    if (m_exchange)
        finish(m_written ? Exchange::Outcome::NoAnswer : Exchange::Outcome::NotReached,
               QStringLiteral("The program stopped the request."));
    dropSocket();
}

void Connection::start(Exchange* exchange)
{
    m_exchange = exchange;
    m_written = false;
    m_buffer.clear();
    m_timer->start(std::max(1, exchange->timeoutMs));
    const bool same = m_socket && m_host == exchange->host && m_port == exchange->port && m_tls == exchange->tls;
    const bool fresh = m_idle.isValid() && m_idle.elapsed() < kReuseIdleMs;
    if (same && fresh && m_keepAlive && m_socket->state() == QAbstractSocket::ConnectedState &&
        m_socket->bytesAvailable() == 0) {
        writeRequest();
        return;
    }
    dropSocket();
    m_host = exchange->host;
    m_port = exchange->port;
    m_tls = exchange->tls;
    openSocket();
}

void Connection::openSocket()
{
    m_keepAlive = true;
    if (m_tls) {
        auto* ssl = new QSslSocket(this);
        m_socket = ssl;
        connect(ssl, &QSslSocket::encrypted, this, &Connection::writeRequest);
        ssl->connectToHostEncrypted(m_host, m_port);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &Connection::writeRequest);
    }
    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &Connection::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &Connection::onSocketError);
    if (!m_tls)
        m_socket->connectToHost(m_host, m_port);
}

void Connection::writeRequest()
{
    if (!m_exchange || m_written)
        return;
    const bool defaultPort = m_port == (m_tls ? 443 : 80);
    const QString hostHeader = (m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host) +
                               (defaultPort ? QString() : QStringLiteral(":%1").arg(m_port));
    QByteArray request = "GET " + m_exchange->target + " HTTP/1.1\r\nHost: " + hostHeader.toUtf8() +
                         "\r\nUser-Agent: UlmexVevaSMS\r\nAccept: */*\r\nConnection: keep-alive\r\n\r\n";
    // From here on the gateway may act on it, whatever becomes of the answer.
    m_written = true;
    m_socket->write(request);
}

void Connection::onReadyRead()
{
    if (!m_socket)
        return;
    m_buffer += m_socket->readAll();
    if (!m_exchange) {
        // An answer nobody asked for: the connection is out of step.
        m_keepAlive = false;
        return;
    }
    if (m_buffer.size() > kMaxAnswerBytes) {
        finish(Exchange::Outcome::NoAnswer, QStringLiteral("The gateway's answer is too long to be an answer."));
        dropSocket();
        return;
    }
    if (parseAnswer(false))
        finish(Exchange::Outcome::Answered);
}

void Connection::onDisconnected()
{
    if (!m_exchange)
        return;
    if (m_socket)
        m_buffer += m_socket->readAll();
    if (parseAnswer(true)) {
        m_keepAlive = false;
        finish(Exchange::Outcome::Answered);
        return;
    }
    const QString text = QStringLiteral("The gateway at %1:%2 closed the connection before it answered.")
                             .arg(m_host)
                             .arg(m_port);
    finish(m_written ? Exchange::Outcome::NoAnswer : Exchange::Outcome::NotReached, text);
}

void Connection::onSocketError()
{
    if (!m_exchange || !m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    m_buffer += m_socket->readAll();
    if (parseAnswer(true)) {
        m_keepAlive = false;
        finish(Exchange::Outcome::Answered);
        return;
    }
    finish(m_written ? Exchange::Outcome::NoAnswer : Exchange::Outcome::NotReached,
           socketErrorText(error, m_host, m_port));
}

void Connection::onTimeout()
{
    if (!m_exchange)
        return;
    m_exchange->timedOut = true;
    const QString text = m_written ? QStringLiteral("The gateway at %1:%2 did not answer within %3 s.")
                                         .arg(m_host)
                                         .arg(m_port)
                                         .arg(m_exchange->timeoutMs / 1000.0)
                                   : QStringLiteral("No connection to %1:%2 within %3 s.")
                                         .arg(m_host)
                                         .arg(m_port)
                                         .arg(m_exchange->timeoutMs / 1000.0);
    finish(m_written ? Exchange::Outcome::NoAnswer : Exchange::Outcome::NotReached, text);
}

bool Connection::parseAnswer(bool atEof)
{
    for (;;) {
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
        const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
        if (statusLine.size() < 2 || !statusLine.first().startsWith("HTTP/"))
            return false;
        bool ok = false;
        const int status = statusLine.at(1).toInt(&ok);
        if (!ok)
            return false;
        qsizetype length = -1;
        bool chunked = false;
        bool close = statusLine.first() == "HTTP/1.0";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray& l = lines.at(i);
            const qsizetype colon = l.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = l.left(colon).trimmed().toLower();
            const QByteArray value = l.mid(colon + 1).trimmed().toLower();
            if (name == "content-length")
                length = value.toLongLong();
            else if (name == "transfer-encoding" && value.contains("chunked"))
                chunked = true;
            else if (name == "connection")
                close = value.contains("close") ? true : value.contains("keep-alive") ? false : close;
        }
        const qsizetype bodyStart = headEnd + 4;
        if (status >= 100 && status < 200) {
            // An interim answer; the real one follows.
            m_buffer.remove(0, bodyStart);
            continue;
        }
        QByteArray body;
        qsizetype consumed = 0;
        if (chunked) {
            qsizetype pos = bodyStart;
            for (;;) {
                const qsizetype lineEnd = m_buffer.indexOf("\r\n", pos);
                if (lineEnd < 0)
                    return false;
                const qsizetype size = m_buffer.mid(pos, lineEnd - pos).split(';').first().trimmed().toLongLong(&ok, 16);
                if (!ok)
                    return false;
                if (size == 0) {
                    const qsizetype trailerEnd = m_buffer.indexOf("\r\n\r\n", lineEnd);
                    const qsizetype end = m_buffer.mid(lineEnd, 4) == "\r\n\r\n" ? lineEnd + 4
                                          : trailerEnd >= 0                     ? trailerEnd + 4
                                                                                : -1;
                    if (end < 0)
                        return false;
                    consumed = end;
                    break;
                }
                if (m_buffer.size() < lineEnd + 2 + size + 2)
                    return false;
                body += m_buffer.mid(lineEnd + 2, size);
                pos = lineEnd + 2 + size + 2;
            }
        } else if (length >= 0) {
            if (m_buffer.size() < bodyStart + length)
                return false;
            body = m_buffer.mid(bodyStart, length);
            consumed = bodyStart + length;
        } else if (status == 204 || status == 304) {
            consumed = bodyStart;
        } else {
            // The body runs to the end of the connection.
            if (!atEof)
                return false;
            body = m_buffer.mid(bodyStart);
            consumed = m_buffer.size();
            close = true;
        }
        m_buffer.remove(0, consumed);
        m_keepAlive = !close;
        m_exchange->status = status;
        m_exchange->body = body;
        return true;
    }
}

void Connection::finish(Exchange::Outcome outcome, const QString& error)
{
    Exchange* exchange = std::exchange(m_exchange, nullptr);
    if (!exchange)
        return;
    m_timer->stop();
    exchange->outcome = outcome;
    exchange->error = error;
    if (outcome == Exchange::Outcome::Answered && m_keepAlive && m_buffer.isEmpty())
        m_idle.start();
    else
        dropSocket();
    exchange->done.release();
}

void Connection::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    m_idle.invalidate();
    m_buffer.clear();
}

} // namespace GatewayHttp
