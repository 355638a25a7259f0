#include "ControlClient.h"

#include "WireFormat.h"

#include <QCborArray>
#include <QDeadlineTimer>
#include <QLocalSocket>

namespace ControlClient {

Result send(const QString& socketPath, const QString& verb, const QStringList& args, int timeoutMs)
{
    Result result;
    QLocalSocket socket;
    socket.setReadBufferSize(WireFormat::kMaxControlFrameBytes + 4);
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs)) {
        result.error = QStringLiteral("the device service is not running (%1)").arg(socketPath);
        return result;
    }

    QCborMap request;
    request.insert(QStringLiteral("id"), 1);
    request.insert(QStringLiteral("ctl"), verb);
    request.insert(QStringLiteral("a"), QCborArray::fromStringList(args));
    socket.write(WireFormat::encodeFrame(request));

    const QDeadlineTimer deadline(timeoutMs);
    WireFormat::FrameReader reader(WireFormat::kMaxControlFrameBytes);
    for (;;) {
        QCborMap reply;
        const auto status = reader.readFrom(&socket, &reply);
        if (status == WireFormat::FrameReader::Status::Frame) {
            if (reply.contains(QStringLiteral("ev")))
                continue;
            result.ok = reply.value(QStringLiteral("ok")).toBool();
            result.output = reply.value(QStringLiteral("out")).toString();
            result.error = reply.value(QStringLiteral("err")).toString();
            if (!result.ok && result.error.isEmpty())
                result.error = QStringLiteral("the device service refused \"%1\"").arg(verb);
            return result;
        }
        if (status != WireFormat::FrameReader::Status::NeedMore) {
            result.error = QStringLiteral("the device service sent an unreadable reply");
            return result;
        }
        if (deadline.hasExpired()) {
            result.error = QStringLiteral("the device service did not answer in time");
            return result;
        }
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))) &&
            socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0) {
            result.error = QStringLiteral("the device service closed the connection");
            return result;
        }
    }
}

} // namespace ControlClient
