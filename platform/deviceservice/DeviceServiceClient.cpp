#include "DeviceServiceClient.h"

#include "ServiceConnection.h"
#include "platform/Paths.h"

#include <QCborArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> g_callTimeoutMs{DeviceServiceClient::kDefaultCallTimeoutMs};

// Answered by every proxy, so OleRun can reach the server behind any of them.
inline constexpr Guid IID_IRemoteObject{0x5E1D7C42, 0x3B0A, 0x4C6E, {0x9F, 0x21, 0x70, 0x4D, 0x18, 0xA3, 0xC5, 0x09}};

struct IRemoteObject : IUnknown
{
    static constexpr Guid kIid = IID_IRemoteObject;
    virtual HRESULT Ping() = 0;
};

using Connection = std::shared_ptr<ServiceConnection>;

bool handleFrom(const QCborArray& results, qint64* handle)
{
    if (results.isEmpty() || !results.at(0).isInteger() || results.at(0).toInteger() <= 0)
        return false;
    *handle = results.at(0).toInteger();
    return true;
}

bool int32From(const QCborArray& results, std::int32_t* value)
{
    if (results.isEmpty() || !results.at(0).isInteger())
        return false;
    const qint64 v = results.at(0).toInteger();
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = static_cast<std::int32_t>(v);
    return true;
}

// One server-side object. The last Release tells the server to drop its handle.
template <class Interface> class Proxy : public Interface, public IRemoteObject
{
public:
    Proxy(Connection connection, qint64 handle) : m_connection(std::move(connection)), m_handle(handle) {}
    virtual ~Proxy()
    {
        if (m_handle > 0 && !m_connection->isBroken())
            m_connection->call(QStringLiteral("release"), m_handle, {});
    }

    HRESULT QueryInterface(const Guid& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == Interface::kIid)
            *object = static_cast<Interface*>(this);
        else if (iid == IID_IRemoteObject)
            *object = static_cast<IRemoteObject*>(this);
        else
            return E_NOINTERFACE;
        ++m_refs;
        return S_OK;
    }
    std::uint32_t AddRef() override { return ++m_refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT Ping() override { return call("ping"); }

protected:
    HRESULT call(const char* op, const QCborArray& args = {}, QCborArray* results = nullptr)
    {
        return m_connection->call(QLatin1String(op), m_handle, args, results);
    }

    // A call whose result is a new server object, wrapped in proxy type P.
    template <class P, class Out> HRESULT callForObject(const char* op, const QCborArray& args, Out** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        QCborArray results;
        const HRESULT hr = call(op, args, &results);
        if (FAILED(hr))
            return hr;
        qint64 handle = 0;
        if (!handleFrom(results, &handle))
            return RPC_E_INVALID_DATAPACKET;
        *out = new P(m_connection, handle);
        return hr;
    }

    HRESULT callForInt32(const char* op, std::int32_t* out)
    {
        if (!out)
            return E_POINTER;
        QCborArray results;
        const HRESULT hr = call(op, {}, &results);
        if (FAILED(hr))
            return hr;
        return int32From(results, out) ? hr : RPC_E_INVALID_DATAPACKET;
    }

    HRESULT callForString(const char* op, BSTR* out)
    {
        if (!out)
            return E_POINTER;
        QCborArray results;
        const HRESULT hr = call(op, {}, &results);
        if (FAILED(hr))
            return hr;
        if (results.isEmpty() || !results.at(0).isString())
            return RPC_E_INVALID_DATAPACKET;
        *out = results.at(0).toString();
        return hr;
    }

    Connection m_connection;
    qint64 m_handle;

private:
    std::uint32_t m_refs = 1;
};

class ChannelProxy final : public Proxy<IChannel>
{
public:
    ChannelProxy(Connection connection, qint64 handle, IChannelEvents* sink, qint64 sinkId)
        : Proxy(std::move(connection), handle), m_sink(sink), m_sinkId(sinkId)
    {
    }
    ~ChannelProxy() override
    {
        // Released here, while the sink is still registered, so it hears the closing.
        if (!m_connection->isBroken())
            m_connection->call(QStringLiteral("release"), m_handle, {});
        m_handle = 0;
        m_connection->unregisterSink(m_sinkId);
    }

    HRESULT GetName(BSTR* name) override { return callForString("channel.name", name); }
    HRESULT GetMaxPacketSize(std::int32_t* bytes) override { return callForInt32("channel.maxPacket", bytes); }
    HRESULT GetPacketsWritten(std::int32_t* count) override { return callForInt32("channel.written", count); }
    HRESULT Close() override { return call("channel.close"); }
    HRESULT WritePacket(const std::uint8_t* bytes, std::int32_t count) override
    {
        if (!bytes)
            return E_POINTER;
        if (count <= 0 || count > kMaxChannelPacketBytes)
            return E_INVALIDARG;
        return call("channel.write", {QByteArray(reinterpret_cast<const char*>(bytes), count)});
    }

private:
    ComPtr<IChannelEvents> m_sink;
    qint64 m_sinkId;
};

class PropertyProxy final : public Proxy<IDeviceProperty>
{
public:
    using Proxy::Proxy;

    HRESULT GetName(BSTR* name) override { return callForString("property.name", name); }
    HRESULT GetValue(Variant* value) override
    {
        if (!value)
            return E_POINTER;
        QCborArray results;
        const HRESULT hr = call("property.value", {}, &results);
        if (FAILED(hr))
            return hr;
        if (results.isEmpty() || !WireFormat::toVariant(results.at(0), value))
            return RPC_E_INVALID_DATAPACKET;
        return hr;
    }
};

class PropertyCollectionProxy final : public Proxy<IDevicePropertyCollection>
{
public:
    using Proxy::Proxy;

    HRESULT GetCount(std::int32_t* count) override { return callForInt32("properties.count", count); }
    HRESULT GetItem(Variant index, IDeviceProperty** property) override
    {
        return callForObject<PropertyProxy>("properties.item", {WireFormat::fromVariant(index)}, property);
    }
};

class DeviceProxy final : public Proxy<IDevice>
{
public:
    using Proxy::Proxy;

    HRESULT GetProperties(IDevicePropertyCollection** properties) override
    {
        return callForObject<PropertyCollectionProxy>("device.properties", {}, properties);
    }

    HRESULT OpenChannel(const char16_t* name, IChannelEvents* sink, IChannel** channel) override
    {
        if (!name || !channel)
            return E_POINTER;
        *channel = nullptr;
        // Registered before the request: the service reports the opening before it answers.
        ComPtr<IChannelEvents> heldSink(sink);
        const qint64 sinkId = sink ? m_connection->registerSink(sink) : 0;
        QCborArray results;
        const HRESULT hr = call("device.openChannel", {QString::fromUtf16(name), sinkId}, &results);
        qint64 handle = 0;
        if (FAILED(hr) || !handleFrom(results, &handle)) {
            m_connection->unregisterSink(sinkId);
            return FAILED(hr) ? hr : RPC_E_INVALID_DATAPACKET;
        }
        *channel = new ChannelProxy(m_connection, handle, sink, sinkId);
        return hr;
    }
};

class DeviceCollectionProxy final : public Proxy<IDeviceCollection>
{
public:
    using Proxy::Proxy;

    HRESULT GetCount(std::int32_t* count) override { return callForInt32("devices.count", count); }
    HRESULT GetItem(std::int32_t index, IDevice** device) override
    {
        return callForObject<DeviceProxy>("devices.item", {index}, device);
    }
};

class ManagerProxy final : public Proxy<IDeviceManager>
{
public:
    using Proxy::Proxy;

    HRESULT GetDevices(IDeviceCollection** devices) override
    {
        return callForObject<DeviceCollectionProxy>("manager.devices", {}, devices);
    }
};

} // namespace

namespace DeviceServiceClient {

void setCallTimeout(int milliseconds)
{
    g_callTimeoutMs = qMax(1, milliseconds);
}

bool serviceAnswers(const QString& socketPath, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        QLocalSocket socket;
        WireFormat::FrameReader reader;
        QEventLoop loop;
        bool answered = false;
        QObject::connect(&socket, &QLocalSocket::connected, &loop, [&socket] {
            QCborMap ping;
            ping.insert(QStringLiteral("id"), 1);
            ping.insert(QStringLiteral("op"), QStringLiteral("ping"));
            ping.insert(QStringLiteral("h"), 0);
            ping.insert(QStringLiteral("a"), QCborArray());
            socket.write(WireFormat::encodeFrame(ping));
        });
        QObject::connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
            QCborMap reply;
            answered = reader.readFrom(&socket, &reply) == WireFormat::FrameReader::Status::Frame;
            if (answered || !reader.isMidFrame())
                loop.quit();
        });
        QObject::connect(&socket, &QLocalSocket::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000)), &loop, &QEventLoop::quit);
        socket.connectToServer(socketPath);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (answered)
            return true;
        if (deadline.hasExpired())
            return false;
        QEventLoop pause;
        QTimer::singleShot(int(std::clamp<qint64>(deadline.remainingTime(), 1, 200)), &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

int callTimeout()
{
    return g_callTimeoutMs;
}

} // namespace DeviceServiceClient

HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, std::uint32_t clsContext, const Guid& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!isComInitializedOnThisThread())
        return CO_E_NOTINITIALIZED;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    // The service is a local server; nothing else is registered.
    if (!(clsid == CLSID_DeviceManagerService) || !(clsContext & CLSCTX_LOCAL_SERVER))
        return REGDB_E_CLASSNOTREG;

    Connection connection;
    HRESULT hr = ServiceConnection::connect(Paths::deviceServiceSocket(), g_callTimeoutMs, &connection);
    if (FAILED(hr))
        return hr;
    QCborArray results;
    hr = connection->call(QStringLiteral("create"), 0, {clsid.toString()}, &results);
    if (FAILED(hr))
        return hr;
    qint64 handle = 0;
    if (!handleFrom(results, &handle))
        return RPC_E_INVALID_DATAPACKET;
    auto* manager = new ManagerProxy(connection, handle);
    hr = manager->QueryInterface(iid, object);
    manager->Release();
    return hr;
}

HRESULT OleRun(IUnknown* object)
{
    if (!object)
        return E_INVALIDARG;
    ComPtr<IRemoteObject> remote;
    if (FAILED(object->QueryInterface(IID_IRemoteObject, remote.putVoid())))
        return S_OK; // an object of this process is running by definition
    return remote->Ping();
}
