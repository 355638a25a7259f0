#include "DeviceService.h"
#include "DeviceServiceParts.h"

#include "Outbox.h"
#include "platform/com/DesktopApi.h"
#include "platform/deviceservice/WireFormat.h"

#include <QCborArray>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

#include <fcntl.h>
#include <sys/resource.h>

namespace {

// Bytes a garbage reply carries: a frame whose body is not a CBOR map.
const QByteArray kGarbageBody = QByteArrayLiteral("\xff\xfe not a reply");
constexpr int kMaxClients = 256;
// Kept free under the open-files limit: to listen again, save files, refuse a client.
constexpr int kSpareDescriptors = 16;
constexpr int kListenCheckMs = 250;

// How many clients fit under the open-files limit beside what is open now.
int clientRoom()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMaxClients;
    const int highest = int(std::min<rlim_t>(limit.rlim_cur, 65536));
    int open = 0;
    for (int fd = 0; fd < highest; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1)
            ++open;
    }
    return int(std::clamp<qint64>(qint64(limit.rlim_cur) - open - kSpareDescriptors, 1, kMaxClients));
}

// Counted by name; anything else a client sends is counted as one, so the
// counters cannot grow with what clients make up.
bool isKnownOp(const QString& op)
{
    static const QStringList known =
        QStringLiteral("create release ping manager.devices devices.count devices.item device.properties "
                       "device.openChannel properties.count properties.item property.name property.value channel.name "
                       "channel.maxPacket channel.written channel.close channel.write")
            .split(QLatin1Char(' '));
    return known.contains(op);
}

QString channelName()
{
    return QString::fromUtf16(kHandsetChannelName);
}

} // namespace

DeviceService::DeviceService(HandsetConfig config, QString configPath, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_configPath(std::move(configPath)),
      m_state(m_config.handsets().size())
{
    // Listed from the start so that stats shows what has not happened yet as 0.
    const QString keys = QStringLiteral(
        "calls calls.failed clients.dropped closes connections connections.refused controls events faults.garbage "
        "faults.stalled listen.restarts modules.installed opens opens.failed outbox.failed packets.accepted "
        "packets.rejected requests.malformed runs.started sms.sent writes.failed");
    for (const QString& key : keys.split(QLatin1Char(' ')))
        m_stats.insert(key, 0);
}

DeviceService::~DeviceService()
{
    qDeleteAll(m_sessions);
}

bool DeviceService::anotherServiceAnswers(const QString& socketPath, QString* error)
{
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    if (!probe.waitForConnected(1000))
        return false;
    *error = QStringLiteral("another device service already answers on %1").arg(socketPath);
    return true;
}

bool DeviceService::listen(const QString& socketPath, QString* error)
{
    QDir().mkpath(QFileInfo(socketPath).absolutePath());
    if (anotherServiceAnswers(socketPath, error))
        return false;
    QLocalServer::removeServer(socketPath); // left behind by a service that crashed
    m_socketPath = socketPath;
    if (m_maxClients <= 0)
        m_maxClients = clientRoom();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath)) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(socketPath, m_server->errorString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &DeviceService::onNewConnection);
    // The server closes itself (and removes its socket) when accepting fails,
    // for example when the open-files limit is reached: listen again.
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, &DeviceService::keepListening);
    watch->start(kListenCheckMs);
    return true;
}

void DeviceService::setLimits(int maxClients, int frameTimeoutMs)
{
    m_maxClients = maxClients;
    m_frameTimeoutMs = frameTimeoutMs > 0 ? frameTimeoutMs : kDefaultFrameTimeoutMs;
}

void DeviceService::keepListening()
{
    if (m_server->isListening())
        return;
    QString ignored;
    if (anotherServiceAnswers(m_socketPath, &ignored))
        return;
    QLocalServer::removeServer(m_socketPath);
    if (m_server->listen(m_socketPath))
        count(QStringLiteral("listen.restarts"));
}

void DeviceService::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_sessions.size() >= m_maxClients) {
            count(QStringLiteral("connections.refused"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* session = new Session(socket);
        m_sessions.append(session);
        count(QStringLiteral("connections"));
        // Unread requests stay in the socket rather than in our memory.
        socket->setReadBufferSize(WireFormat::kMaxFrameBytes + 4);
        connect(socket, &QLocalSocket::readyRead, session, [this, session] {
            session->frameTimer->stop(); // the client is sending
            onReadable(session);
        });
        connect(socket, &QLocalSocket::bytesWritten, session, [this, session] { onReadable(session); });
        connect(session->frameTimer, &QTimer::timeout, session, [this, session] {
            count(QStringLiteral("clients.dropped"));
            session->socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, session, [this, session] {
            m_sessions.removeOne(session);
            session->objects.clear();
            session->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            onReadable(session);
    }
}

void DeviceService::onReadable(Session* session)
{
    // One request at a time, and none while the client leaves its replies unread.
    while (!session->busy && !isBackedUp(session)) {
        QCborMap frame;
        const auto status = session->reader.readFrom(session->socket, &frame);
        if (status == WireFormat::FrameReader::Status::NeedMore)
            break;
        if (status != WireFormat::FrameReader::Status::Frame) {
            count(QStringLiteral("requests.malformed"));
            session->socket->abort();
            return;
        }
        session->pending.append(frame);
        processPending(session);
    }
    if (!session->reader.isMidFrame())
        session->frameTimer->stop();
    else if (!session->frameTimer->isActive())
        session->frameTimer->start(m_frameTimeoutMs);
}

bool DeviceService::isBackedUp(const Session* session) const
{
    return session->socket->bytesToWrite() > kMaxUnsentBytes;
}

void DeviceService::processPending(Session* session)
{
    while (!session->busy && !session->pending.isEmpty()) {
        const QCborMap request = session->pending.takeFirst();
        if (request.contains(QStringLiteral("ctl"))) {
            const ControlResult result = control(request.value(QStringLiteral("ctl")).toString(),
                                                 request.value(QStringLiteral("a")).toVariant().toStringList());
            QCborMap reply;
            reply.insert(QStringLiteral("id"), request.value(QStringLiteral("id")));
            reply.insert(QStringLiteral("ok"), result.ok);
            reply.insert(QStringLiteral("out"), result.output);
            reply.insert(QStringLiteral("err"), result.error);
            session->socket->write(WireFormat::encodeFrame(reply));
            continue;
        }
        sendReply(session, call(session, request));
    }
}

void DeviceService::sendReply(Session* session, const QCborMap& reply)
{
    QByteArray frame = WireFormat::encodeFrame(reply);
    if (m_garbageNext) {
        m_garbageNext = false;
        count(QStringLiteral("faults.garbage"));
        frame = QByteArray(4, '\0') + kGarbageBody;
        qToBigEndian<quint32>(static_cast<quint32>(kGarbageBody.size()), frame.data());
    }
    if (m_stallNextMs > 0) {
        const int delay = std::exchange(m_stallNextMs, 0);
        count(QStringLiteral("faults.stalled"));
        session->busy = true;
        QTimer::singleShot(delay, session, [this, session, frame] {
            session->socket->write(frame);
            session->busy = false;
            processPending(session);
            onReadable(session);
        });
        return;
    }
    session->socket->write(frame);
}

void DeviceService::sendEvent(Session* session, qint64 sinkId, int event, const QCborArray& args)
{
    if (sinkId <= 0)
        return;
    QCborMap frame;
    frame.insert(QStringLiteral("ev"), event);
    frame.insert(QStringLiteral("sink"), sinkId);
    frame.insert(QStringLiteral("a"), args);
    session->socket->write(WireFormat::encodeFrame(frame));
    count(QStringLiteral("events"));
}

QCborMap DeviceService::call(Session* session, const QCborMap& request)
{
    const QString op = request.value(QStringLiteral("op")).toString();
    const qint64 handle = request.value(QStringLiteral("h")).toInteger();
    const QCborArray args = request.value(QStringLiteral("a")).toArray();
    count(QStringLiteral("calls"));
    count(QStringLiteral("call.") + (isKnownOp(op) ? op : QStringLiteral("unknown")));

    HRESULT hr = S_OK;
    QCborArray results;
    if (op == QLatin1String("create")) {
        if (args.at(0).toString() == CLSID_DeviceManagerService.toString()) {
            const qint64 newHandle = session->nextHandle++;
            session->objects.insert(newHandle, std::make_shared<ServiceObject>());
            results.append(newHandle);
        } else {
            hr = REGDB_E_CLASSNOTREG;
        }
    } else if (const auto object = session->objects.value(handle); !object) {
        hr = E_HANDLE;
    } else if (op == QLatin1String("release")) {
        if (object->kind == ServiceObject::Kind::Channel && object->open)
            closeChannel(session, *object, 4);
        session->objects.remove(handle);
    } else {
        hr = dispatch(session, op, *object, args, &results);
    }
    if (FAILED(hr))
        count(QStringLiteral("calls.failed"));

    QCborMap reply;
    reply.insert(QStringLiteral("id"), request.value(QStringLiteral("id")));
    reply.insert(QStringLiteral("hr"), hr);
    reply.insert(QStringLiteral("r"), results);
    return reply;
}

HRESULT DeviceService::dispatch(Session* session, const QString& op, ServiceObject& object, const QCborArray& args,
                                QCborArray* results)
{
    using Kind = ServiceObject::Kind;
    const auto newObject = [&](const ServiceObject& made) {
        const qint64 handle = session->nextHandle++;
        session->objects.insert(handle, std::make_shared<ServiceObject>(made));
        results->append(handle);
        return S_OK;
    };
    if (op == QLatin1String("ping"))
        return S_OK;

    if (object.kind == Kind::Manager) {
        if (op != QLatin1String("manager.devices"))
            return E_NOTIMPL;
        ServiceObject devices;
        devices.kind = Kind::Devices;
        for (qsizetype i = 0; i < m_config.handsets().size(); ++i) {
            if (m_config.handsets().at(i).attached)
                devices.devices.append({m_config.handsets().at(i).pin, m_state.at(i).generation});
        }
        return newObject(devices);
    }

    if (object.kind == Kind::Devices) {
        if (op == QLatin1String("devices.count")) {
            results->append(object.devices.size());
            return S_OK;
        }
        if (op != QLatin1String("devices.item"))
            return E_NOTIMPL;
        const qint64 index = args.at(0).toInteger(-1);
        if (!args.at(0).isInteger() || index < 0 || index >= object.devices.size())
            return E_INVALIDARG;
        const auto [pin, generation] = object.devices.at(index);
        if (liveHandset(pin, generation) < 0)
            return E_DEVICE_NOT_CONNECTED;
        ServiceObject device;
        device.kind = Kind::Device;
        device.pin = pin;
        device.generation = generation;
        return newObject(device);
    }

    // Everything below belongs to one handset and fails once it is unplugged.
    const int index = liveHandset(object.pin, object.generation);
    if (index < 0)
        return E_DEVICE_NOT_CONNECTED;
    const HandsetSpec& handset = m_config.handsets().at(index);

    switch (object.kind) {
    case Kind::Device:
        if (op == QLatin1String("device.properties")) {
            ServiceObject properties = object;
            properties.kind = Kind::Properties;
            properties.properties.append({QStringLiteral("Description"), Variant::fromString(handset.description)});
            properties.properties.append(handset.extraProperties);
            properties.properties.append({QStringLiteral("BBPIN"), Variant::fromInt32(qint32(handset.pin))});
            return newObject(properties);
        }
        if (op == QLatin1String("device.openChannel")) {
            if (!args.at(0).isString() || !args.at(1).isInteger())
                return E_INVALIDARG;
            if (args.at(0).toString() != channelName()) {
                count(QStringLiteral("opens.failed"));
                return E_INVALIDARG;
            }
            if (!handset.moduleInstalled || std::exchange(m_state[index].failNextOpen, false)) {
                count(QStringLiteral("opens.failed"));
                return E_FAIL;
            }
            ServiceObject channel = object;
            channel.kind = Kind::Channel;
            channel.sinkId = args.at(1).toInteger();
            channel.open = true;
            count(QStringLiteral("opens"));
            sendEvent(session, channel.sinkId, 3);
            return newObject(channel);
        }
        return E_NOTIMPL;

    case Kind::Properties:
        if (op == QLatin1String("properties.count")) {
            results->append(object.properties.size());
            return S_OK;
        }
        if (op == QLatin1String("properties.item")) {
            Variant index;
            Variant position;
            if (!WireFormat::toVariant(args.at(0), &index))
                return DISP_E_TYPEMISMATCH;
            if (const HRESULT hr = VariantChangeType(&position, &index, 0, VT_I4); FAILED(hr))
                return hr;
            if (position.lVal < 0 || position.lVal >= object.properties.size())
                return E_INVALIDARG;
            ServiceObject property = object;
            property.kind = Kind::Property;
            property.properties.clear();
            property.property = object.properties.at(position.lVal);
            return newObject(property);
        }
        return E_NOTIMPL;

    case Kind::Property:
        if (op == QLatin1String("property.name")) {
            results->append(object.property.name);
            return S_OK;
        }
        if (op == QLatin1String("property.value")) {
            results->append(WireFormat::fromVariant(object.property.value));
            return S_OK;
        }
        return E_NOTIMPL;

    case Kind::Channel:
        if (op == QLatin1String("channel.name")) {
            results->append(channelName());
            return S_OK;
        }
        if (op == QLatin1String("channel.maxPacket")) {
            results->append(kMaxChannelPacketBytes);
            return S_OK;
        }
        if (op == QLatin1String("channel.written")) {
            results->append(object.written);
            return S_OK;
        }
        if (op == QLatin1String("channel.close")) {
            if (!object.open)
                return E_HANDLE;
            closeChannel(session, object, 4);
            return S_OK;
        }
        if (op == QLatin1String("channel.write"))
            return writePacket(object, session, args);
        return E_NOTIMPL;

    default:
        return E_NOTIMPL;
    }
}

HRESULT DeviceService::writePacket(ServiceObject& channel, Session* session, const QCborArray& args)
{
    const int index = liveHandset(channel.pin, channel.generation);
    if (index < 0)
        return E_DEVICE_NOT_CONNECTED;
    if (!channel.open)
        return E_HANDLE;
    const QByteArray packet = args.at(0).toByteArray();
    if (!args.at(0).isByteArray() || packet.isEmpty() || packet.size() > kMaxChannelPacketBytes)
        return E_INVALIDARG;

    int& writesLeft = m_state[index].writesBeforeFailure;
    if (writesLeft == 0) {
        writesLeft = -1;
        count(QStringLiteral("writes.failed"));
        return E_WRITE_FAULT;
    }
    if (writesLeft > 0)
        --writesLeft;

    ++channel.written;
    count(QStringLiteral("packets.accepted"));
    sendEvent(session, channel.sinkId, 2, {channel.written, packet.size()});

    OutboxRecord record;
    if (packet == "Sign") {
        m_state[index].runStarted = true;
        count(QStringLiteral("runs.started"));
    } else if (!m_state[index].runStarted || !splitMessagePacket(packet, &record)) {
        count(QStringLiteral("packets.rejected"));
    } else {
        record.time = QDateTime::currentDateTimeUtc();
        QString error;
        if (!appendToOutbox(outboxPath(channel.pin), record, &error)) {
            qWarning("%s", qPrintable(error));
            count(QStringLiteral("outbox.failed"));
            return E_FAIL;
        }
        count(QStringLiteral("sms.sent"));
    }
    return S_OK;
}

void DeviceService::closeChannel(Session* session, ServiceObject& channel, int event)
{
    channel.open = false;
    count(QStringLiteral("closes"));
    sendEvent(session, channel.sinkId, event);
}

int DeviceService::indexOfPin(quint32 pin) const
{
    for (qsizetype i = 0; i < m_config.handsets().size(); ++i) {
        if (m_config.handsets().at(i).pin == pin)
            return int(i);
    }
    return -1;
}

int DeviceService::liveHandset(quint32 pin, quint64 generation) const
{
    const int index = indexOfPin(pin);
    if (index < 0 || !m_config.handsets().at(index).attached || m_state.at(index).generation != generation)
        return -1;
    return index;
}
