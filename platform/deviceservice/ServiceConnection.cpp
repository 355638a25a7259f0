#include "ServiceConnection.h"

#include <QDeadlineTimer>
#include <QThread>

HRESULT ServiceConnection::connect(const QString& socketPath, int timeoutMs, std::shared_ptr<ServiceConnection>* out)
{
    std::shared_ptr<ServiceConnection> connection(new ServiceConnection(timeoutMs));
    connection->m_socket.connectToServer(socketPath);
    if (!connection->m_socket.waitForConnected(timeoutMs))
        return RPC_S_SERVER_UNAVAILABLE;
    *out = std::move(connection);
    return S_OK;
}

ServiceConnection::ServiceConnection(int timeoutMs)
    : m_reader(WireFormat::kMaxFrameBytes), m_timeoutMs(timeoutMs), m_thread(QThread::currentThread())
{
    // Let the socket hold little more than one frame; the rest waits in the kernel.
    m_socket.setReadBufferSize(WireFormat::kMaxFrameBytes + 4);
}

ServiceConnection::~ServiceConnection()
{
    m_socket.abort();
}

HRESULT ServiceConnection::fail(HRESULT reason)
{
    if (!FAILED(m_broken)) {
        m_broken = RPC_E_DISCONNECTED;
        m_socket.abort();
    }
    return reason;
}

HRESULT ServiceConnection::call(const QString& op, qint64 handle, const QCborArray& args, QCborArray* results)
{
    if (QThread::currentThread() != m_thread)
        return RPC_E_WRONG_THREAD;
    if (FAILED(m_broken))
        return m_broken;

    const qint64 id = m_nextId++;
    QCborMap request;
    request.insert(QStringLiteral("id"), id);
    request.insert(QStringLiteral("op"), op);
    request.insert(QStringLiteral("h"), handle);
    request.insert(QStringLiteral("a"), args);

    const QDeadlineTimer deadline(m_timeoutMs);
    const QByteArray frame = WireFormat::encodeFrame(request);
    if (m_socket.write(frame) != frame.size())
        return fail(RPC_E_DISCONNECTED);
    while (m_socket.bytesToWrite() > 0) {
        if (m_socket.state() != QLocalSocket::ConnectedState)
            return fail(RPC_E_DISCONNECTED);
        if (!m_socket.waitForBytesWritten(int(deadline.remainingTime())))
            return fail(deadline.hasExpired() ? RPC_E_TIMEOUT : RPC_E_DISCONNECTED);
    }

    QCborMap reply;
    m_waiting.insert(id);
    const HRESULT waited = wait(id, deadline, &reply);
    m_waiting.remove(id);
    if (FAILED(waited))
        return waited;

    const QCborValue hr = reply.value(QStringLiteral("hr"));
    const QCborValue values = reply.value(QStringLiteral("r"));
    if (!hr.isInteger() || hr.toInteger() < INT32_MIN || hr.toInteger() > INT32_MAX ||
        !(values.isArray() || values.isUndefined()))
        return fail(RPC_E_INVALID_DATAPACKET);
    if (results)
        *results = values.toArray();
    return static_cast<HRESULT>(hr.toInteger());
}

HRESULT ServiceConnection::wait(qint64 id, const QDeadlineTimer& deadline, QCborMap* reply)
{
    for (;;) {
        if (m_earlyReplies.contains(id)) {
            *reply = m_earlyReplies.take(id);
            return S_OK;
        }
        if (FAILED(m_broken))
            return m_broken;

        QCborMap frame;
        switch (m_reader.readFrom(&m_socket, &frame)) {
        case WireFormat::FrameReader::Status::TooLarge:
        case WireFormat::FrameReader::Status::Malformed:
            return fail(RPC_E_INVALID_DATAPACKET);
        case WireFormat::FrameReader::Status::Frame:
            if (frame.contains(QStringLiteral("ev"))) {
                dispatchEvent(frame);
                continue;
            }
            {
                const QCborValue replyId = frame.value(QStringLiteral("id"));
                if (!replyId.isInteger() || !m_waiting.contains(replyId.toInteger()))
                    return fail(RPC_E_INVALID_DATAPACKET);
                if (replyId.toInteger() == id) {
                    *reply = frame;
                    return S_OK;
                }
                // The reply to an outer call, read while a sink made a call of its own.
                m_earlyReplies.insert(replyId.toInteger(), frame);
            }
            continue;
        case WireFormat::FrameReader::Status::NeedMore:
            break;
        }

        if (m_socket.state() != QLocalSocket::ConnectedState && m_socket.bytesAvailable() == 0)
            return fail(RPC_E_DISCONNECTED);
        if (deadline.hasExpired())
            return fail(RPC_E_TIMEOUT);
        if (!m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (m_socket.state() != QLocalSocket::ConnectedState && m_socket.bytesAvailable() == 0)
                return fail(RPC_E_DISCONNECTED);
        }
    }
}

void ServiceConnection::dispatchEvent(const QCborMap& event)
{
    const qint64 sinkId = event.value(QStringLiteral("sink")).toInteger(-1);
    const qint64 kind = event.value(QStringLiteral("ev")).toInteger(-1);
    const QCborArray args = event.value(QStringLiteral("a")).toArray();
    IChannelEvents* sink = m_sinks.value(sinkId);
    if (!sink)
        return; // the channel was released before the event arrived
    ComPtr<IChannelEvents> hold(sink);
    switch (kind) {
    case 1:
        sink->OnChannelReset();
        break;
    case 2:
        sink->OnPacketAccepted(static_cast<std::int32_t>(args.at(0).toInteger()),
                               static_cast<std::int32_t>(args.at(1).toInteger()));
        break;
    case 3:
        sink->OnChannelOpened();
        break;
    case 4:
        sink->OnChannelClosed();
        break;
    default:
        break; // events a newer service knows of
    }
}

qint64 ServiceConnection::registerSink(IChannelEvents* sink)
{
    const qint64 id = m_nextSink++;
    m_sinks.insert(id, sink);
    return id;
}

void ServiceConnection::unregisterSink(qint64 id)
{
    m_sinks.remove(id);
}
