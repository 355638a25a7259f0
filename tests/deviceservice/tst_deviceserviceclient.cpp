// The device service client against the real DesktopMgr.exe.

#include "ServiceFixture.h"
#include "platform/com/DesktopApi.h"
#include "platform/TextCodec.h"
#include "platform/deviceservice/DeviceServiceClient.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QByteArray kTwoHandsets = R"(; two handsets, the second one first in nothing but its PIN
[office]
PIN=43981
Description=Ulmex Office
Attached=true
ModuleInstalled=false
Property.bbpin=17

[spare]
PIN=0x1234
Description=Ulmex Spare
ModuleInstalled=true
)";

// Records the channel events in the order they arrive.
class RecordingSink final : public IChannelEvents
{
public:
    HRESULT QueryInterface(const Guid& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IUnknown) && !(iid == IID_IChannelEvents))
            return E_NOINTERFACE;
        *object = static_cast<IChannelEvents*>(this);
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT OnChannelReset() override { return note(QStringLiteral("reset")); }
    HRESULT OnPacketAccepted(std::int32_t n, std::int32_t bytes) override
    {
        return note(QStringLiteral("accepted %1/%2").arg(n).arg(bytes));
    }
    HRESULT OnChannelOpened() override { return note(QStringLiteral("opened")); }
    HRESULT OnChannelClosed() override { return note(QStringLiteral("closed")); }

    QStringList events;
    std::uint32_t refs = 1;

private:
    HRESULT note(const QString& what)
    {
        events.append(what);
        return S_OK;
    }
};

struct Device
{
    ComPtr<IDeviceManager> manager;
    ComPtr<IDeviceCollection> devices;
    ComPtr<IDevice> device;
};

// The first steps of the device routine: service, collection, device at index.
HRESULT openDevice(int index, Device* out)
{
    ComPtr<IUnknown> service;
    HRESULT hr = CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_ALL, IID_IUnknown, service.putVoid());
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = OleRun(service.get())) || FAILED(hr = service.as(&out->manager)))
        return hr;
    if (FAILED(hr = out->manager->GetDevices(out->devices.put())))
        return hr;
    return out->devices->GetItem(index, out->device.put());
}

QString pinOf(IDevice* device)
{
    ComPtr<IDevicePropertyCollection> properties;
    std::int32_t count = 0;
    if (FAILED(device->GetProperties(properties.put())) || FAILED(properties->GetCount(&count)))
        return QStringLiteral("error");
    for (std::int32_t i = 0; i < count; ++i) {
        ComPtr<IDeviceProperty> property;
        BSTR name;
        Variant value;
        Variant asInt;
        if (FAILED(properties->GetItem(Variant::fromInt32(i), property.put())) || FAILED(property->GetName(&name)))
            return QStringLiteral("error");
        if (name != QLatin1String("BBPIN"))
            continue;
        if (FAILED(property->GetValue(&value)) || FAILED(VariantChangeType(&asInt, &value, 0, VT_I4)))
            return QStringLiteral("error");
        return QString::number(static_cast<std::uint32_t>(asInt.lVal), 16).toUpper();
    }
    return QString();
}

HRESULT write(IChannel* channel, const QByteArray& packet)
{
    return channel->WritePacket(reinterpret_cast<const std::uint8_t*>(packet.constData()),
                                static_cast<std::int32_t>(packet.size()));
}

QList<QJsonObject> outbox(const ServiceFixture& fixture, const QString& pin)
{
    QList<QJsonObject> records;
    const ServiceFixture::Run run = fixture.control({QStringLiteral("outbox"), pin});
    for (const QString& line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        records.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return records;
}

} // namespace

class TestDeviceServiceClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void collectionListsAttachedHandsetsInConfigOrder();
    void pinIsAnInt32AndLookalikeNamesStaySeparate();
    void channelOpensOnlyOnceTheModuleIsInstalled();
    void channelOpenFailsForOtherNamesAndOnRequest();
    void messagePacketsReachTheOutboxWhole();
    void packetsBeforeTheStartOrWithoutSeparatorAreNotSent();
    void detachingDuringASendFailsTheNextWrite();
    void writeFailsAfterTheRequestedNumberOfPackets();
    void releasingEverythingFreesTheServiceHandles();
    void serviceDyingMidSessionFailsWithinTheTimeOut();
    void stalledReplyTimesOut();
    void garbageReplyFailsTheCall();
    void serviceNotRunningFailsQuickly();
    void creationNeedsComAndTheRightClass();

private:
    std::unique_ptr<ServiceFixture> m_fixture;
};

void TestDeviceServiceClient::init()
{
    m_fixture = std::make_unique<ServiceFixture>();
    m_fixture->writeConfig(kTwoHandsets);
    QVERIFY(m_fixture->start());
    DeviceServiceClient::setCallTimeout(DeviceServiceClient::kDefaultCallTimeoutMs);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

void TestDeviceServiceClient::cleanup()
{
    CoUninitialize();
    m_fixture.reset();
    DeviceServiceClient::setCallTimeout(DeviceServiceClient::kDefaultCallTimeoutMs);
}

void TestDeviceServiceClient::collectionListsAttachedHandsetsInConfigOrder()
{
    Device first;
    QCOMPARE(openDevice(0, &first), S_OK);
    std::int32_t count = 0;
    QCOMPARE(first.devices->GetCount(&count), S_OK);
    QCOMPARE(count, 2);
    QCOMPARE(pinOf(first.device.get()), QStringLiteral("ABCD"));
    ComPtr<IDevice> second;
    QCOMPARE(first.devices->GetItem(1, second.put()), S_OK);
    QCOMPARE(pinOf(second.get()), QStringLiteral("1234"));
    ComPtr<IDevice> beyond;
    QCOMPARE(first.devices->GetItem(2, beyond.put()), E_INVALIDARG);
    QVERIFY(!beyond);

    // A detached handset leaves the collection; the next one moves up.
    QCOMPARE(m_fixture->control({QStringLiteral("detach"), QStringLiteral("43981")}).exitCode, 0);
    Device after;
    QCOMPARE(openDevice(0, &after), S_OK);
    QCOMPARE(after.devices->GetCount(&count), S_OK);
    QCOMPARE(count, 1);
    QCOMPARE(pinOf(after.device.get()), QStringLiteral("1234"));
}

void TestDeviceServiceClient::pinIsAnInt32AndLookalikeNamesStaySeparate()
{
    Device d;
    QCOMPARE(openDevice(0, &d), S_OK);
    ComPtr<IDevicePropertyCollection> properties;
    QCOMPARE(d.device->GetProperties(properties.put()), S_OK);
    std::int32_t count = 0;
    QCOMPARE(properties->GetCount(&count), S_OK);

    QHash<QString, Variant> byName;
    for (std::int32_t i = 0; i < count; ++i) {
        ComPtr<IDeviceProperty> property;
        QCOMPARE(properties->GetItem(Variant::fromInt32(i), property.put()), S_OK);
        BSTR name;
        Variant value;
        QCOMPARE(property->GetName(&name), S_OK);
        QCOMPARE(property->GetValue(&value), S_OK);
        byName.insert(name, value);
    }
    QCOMPARE(count, 3);
    QCOMPARE(byName.value(QStringLiteral("BBPIN")), Variant::fromInt32(43981));
    QCOMPARE(byName.value(QStringLiteral("bbpin")), Variant::fromInt32(17));
    QCOMPARE(byName.value(QStringLiteral("Description")), Variant::fromString(QStringLiteral("Ulmex Office")));

    ComPtr<IDeviceProperty> property;
    QCOMPARE(properties->GetItem(Variant::fromInt32(count), property.put()), E_INVALIDARG);
    QCOMPARE(properties->GetItem(Variant::fromString(QStringLiteral("first")), property.put()), DISP_E_TYPEMISMATCH);
    QCOMPARE(properties->GetItem(Variant::fromString(QStringLiteral("1")), property.put()), S_OK);
}

void TestDeviceServiceClient::channelOpensOnlyOnceTheModuleIsInstalled()
{
    Device d;
    QCOMPARE(openDevice(0, &d), S_OK);
    RecordingSink sink;
    ComPtr<IChannel> channel;
    QVERIFY(FAILED(d.device->OpenChannel(kHandsetChannelName, &sink, channel.put())));
    QVERIFY(!channel);
    QCOMPARE(sink.refs, 1u);

    const ServiceFixture::Run load = ServiceFixture::runTool(
        QStringLiteral("JavaLoader.exe"),
        {QStringLiteral("-usb"), QStringLiteral("load"), ServiceFixture::binary(QStringLiteral("UlmexVevaSMS.cod"))});
    QCOMPARE(load.exitCode, 0);

    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, &sink, channel.put()), S_OK);
    QCOMPARE(sink.events, QStringList{QStringLiteral("opened")});
    QCOMPARE(sink.refs, 2u);
    BSTR name;
    std::int32_t maxBytes = 0;
    QCOMPARE(channel->GetName(&name), S_OK);
    QCOMPARE(name, QStringLiteral("JDE_USBClient"));
    QCOMPARE(channel->GetMaxPacketSize(&maxBytes), S_OK);
    QCOMPARE(maxBytes, kMaxChannelPacketBytes);

    channel.reset();
    QCOMPARE(sink.events.last(), QStringLiteral("closed"));
    QCOMPARE(sink.refs, 1u);
    QVERIFY(m_fixture->control({QStringLiteral("list")}).out.contains(QStringLiteral("ABCD\t43981\tattached\tmodule")));
}

void TestDeviceServiceClient::channelOpenFailsForOtherNamesAndOnRequest()
{
    Device d;
    QCOMPARE(openDevice(1, &d), S_OK); // the spare has its module
    ComPtr<IChannel> channel;
    QVERIFY(FAILED(d.device->OpenChannel(u"JDE_USBClient2", nullptr, channel.put())));
    QVERIFY(FAILED(d.device->OpenChannel(u"jde_usbclient", nullptr, channel.put())));
    QCOMPARE(d.device->OpenChannel(nullptr, nullptr, channel.put()), E_POINTER);

    QCOMPARE(m_fixture->control({QStringLiteral("fail-next-open"), QStringLiteral("0x1234")}).exitCode, 0);
    QVERIFY(FAILED(d.device->OpenChannel(kHandsetChannelName, nullptr, channel.put())));
    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, nullptr, channel.put()), S_OK);
    QVERIFY(m_fixture->stat(QStringLiteral("opens.failed")) >= 3);
}

void TestDeviceServiceClient::messagePacketsReachTheOutboxWhole()
{
    Device d;
    QCOMPARE(openDevice(1, &d), S_OK);
    RecordingSink sink;
    ComPtr<IChannel> channel;
    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, &sink, channel.put()), S_OK);

    const QString text = QStringLiteral("Fees \u00a7 4.2 due\r\nThanks \u00e9");
    QCOMPARE(write(channel.get(), "Sign"), S_OK);
    QCOMPARE(write(channel.get(), TextCodec::toAnsi(text) + '\xA7' + "+4412345"), S_OK);
    QCOMPARE(write(channel.get(), QByteArray("second") + '\xA7' + "0044-99"), S_OK);
    std::int32_t written = 0;
    QCOMPARE(channel->GetPacketsWritten(&written), S_OK);
    QCOMPARE(written, 3);
    QVERIFY(sink.events.contains(QStringLiteral("accepted 2/%1").arg(TextCodec::toAnsi(text).size() + 9)));

    const QList<QJsonObject> sent = outbox(*m_fixture, QStringLiteral("0x1234"));
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(0).value(QStringLiteral("text")).toString(), text);
    QCOMPARE(sent.at(0).value(QStringLiteral("number")).toString(), QStringLiteral("+4412345"));
    QCOMPARE(sent.at(1).value(QStringLiteral("number")).toString(), QStringLiteral("0044-99"));
    QVERIFY(QDateTime::fromString(sent.at(0).value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
    QVERIFY(outbox(*m_fixture, QStringLiteral("43981")).isEmpty());
}

void TestDeviceServiceClient::packetsBeforeTheStartOrWithoutSeparatorAreNotSent()
{
    Device d;
    QCOMPARE(openDevice(1, &d), S_OK);
    ComPtr<IChannel> channel;
    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, nullptr, channel.put()), S_OK);
    QCOMPARE(write(channel.get(), QByteArray("early") + '\xA7' + "123"), S_OK);
    QCOMPARE(write(channel.get(), "Sign"), S_OK);
    QCOMPARE(write(channel.get(), "no separator"), S_OK);
    QCOMPARE(write(channel.get(), QByteArray("bad number") + '\xA7' + "12a"), S_OK);
    QCOMPARE(write(channel.get(), QByteArray(kMaxChannelPacketBytes - 4, 'x') + '\xA7' + "123"), S_OK);

    const QByteArray tooLong(kMaxChannelPacketBytes + 1, 'x');
    QCOMPARE(write(channel.get(), tooLong), E_INVALIDARG);
    QCOMPARE(channel->WritePacket(nullptr, 3), E_POINTER);

    QCOMPARE(m_fixture->stat(QStringLiteral("packets.rejected")), 3);
    QCOMPARE(m_fixture->stat(QStringLiteral("sms.sent")), 1);
    QCOMPARE(outbox(*m_fixture, QStringLiteral("0x1234")).size(), 1);
}

void TestDeviceServiceClient::detachingDuringASendFailsTheNextWrite()
{
    Device d;
    QCOMPARE(openDevice(1, &d), S_OK);
    RecordingSink sink;
    ComPtr<IChannel> channel;
    ComPtr<IDevicePropertyCollection> properties;
    QCOMPARE(d.device->GetProperties(properties.put()), S_OK);
    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, &sink, channel.put()), S_OK);
    QCOMPARE(write(channel.get(), "Sign"), S_OK);
    QCOMPARE(write(channel.get(), QByteArray("one") + '\xA7' + "1"), S_OK);

    QCOMPARE(m_fixture->control({QStringLiteral("detach"), QStringLiteral("0x1234")}).exitCode, 0);
    QCOMPARE(write(channel.get(), QByteArray("two") + '\xA7' + "2"), E_DEVICE_NOT_CONNECTED);
    QCOMPARE(sink.events.last(), QStringLiteral("reset"));
    std::int32_t count = 0;
    QCOMPARE(properties->GetCount(&count), E_DEVICE_NOT_CONNECTED);

    // Plugging it back in does not revive objects from before.
    QCOMPARE(m_fixture->control({QStringLiteral("attach"), QStringLiteral("0x1234")}).exitCode, 0);
    QCOMPARE(write(channel.get(), QByteArray("three") + '\xA7' + "3"), E_DEVICE_NOT_CONNECTED);
    QCOMPARE(outbox(*m_fixture, QStringLiteral("0x1234")).size(), 1);
    QVERIFY(m_fixture->control({QStringLiteral("list")}).out.contains(QStringLiteral("1234\t4660\tattached")));
}

void TestDeviceServiceClient::writeFailsAfterTheRequestedNumberOfPackets()
{
    Device d;
    QCOMPARE(openDevice(1, &d), S_OK);
    ComPtr<IChannel> channel;
    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, nullptr, channel.put()), S_OK);
    QCOMPARE(
        m_fixture->control({QStringLiteral("fail-write-after"), QStringLiteral("4660"), QStringLiteral("2")}).exitCode,
        0);
    QCOMPARE(write(channel.get(), "Sign"), S_OK);
    QCOMPARE(write(channel.get(), QByteArray("a") + '\xA7' + "1"), S_OK);
    QCOMPARE(write(channel.get(), QByteArray("b") + '\xA7' + "2"), E_WRITE_FAULT);
    QCOMPARE(write(channel.get(), QByteArray("c") + '\xA7' + "3"), S_OK);
    const QList<QJsonObject> sent = outbox(*m_fixture, QStringLiteral("4660"));
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(1).value(QStringLiteral("text")).toString(), QStringLiteral("c"));
}

void TestDeviceServiceClient::releasingEverythingFreesTheServiceHandles()
{
    {
        Device d;
        QCOMPARE(openDevice(1, &d), S_OK);
        ComPtr<IChannel> channel;
        QCOMPARE(d.device->OpenChannel(kHandsetChannelName, nullptr, channel.put()), S_OK);
        ComPtr<IChannel> copy = channel;
        channel.reset();
        QCOMPARE(m_fixture->stat(QStringLiteral("handles.open")), 4); // service, collection, device, channel
        QCOMPARE(m_fixture->stat(QStringLiteral("closes")), 0);
    }
    QCOMPARE(m_fixture->stat(QStringLiteral("handles.open")), 0);
    QCOMPARE(m_fixture->stat(QStringLiteral("closes")), 1);
}

void TestDeviceServiceClient::serviceDyingMidSessionFailsWithinTheTimeOut()
{
    DeviceServiceClient::setCallTimeout(1000);
    Device d;
    QCOMPARE(openDevice(1, &d), S_OK);
    ComPtr<IChannel> channel;
    QCOMPARE(d.device->OpenChannel(kHandsetChannelName, nullptr, channel.put()), S_OK);
    QCOMPARE(write(channel.get(), "Sign"), S_OK);

    m_fixture->kill();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(FAILED(write(channel.get(), QByteArray("x") + '\xA7' + "1")));
    std::int32_t count = 0;
    QCOMPARE(d.devices->GetCount(&count), RPC_E_DISCONNECTED);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestDeviceServiceClient::stalledReplyTimesOut()
{
    DeviceServiceClient::setCallTimeout(300);
    Device d;
    QCOMPARE(openDevice(0, &d), S_OK);
    QCOMPARE(m_fixture->control({QStringLiteral("stall-next"), QStringLiteral("3000")}).exitCode, 0);
    QElapsedTimer clock;
    clock.start();
    std::int32_t count = 0;
    QCOMPARE(d.devices->GetCount(&count), RPC_E_TIMEOUT);
    QVERIFY2(clock.elapsed() >= 250 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    // The connection is out of step now; it does not pretend otherwise.
    QCOMPARE(d.devices->GetCount(&count), RPC_E_DISCONNECTED);

    // A stall shorter than the time-out is only a slow reply.
    DeviceServiceClient::setCallTimeout(3000);
    Device again;
    QCOMPARE(openDevice(0, &again), S_OK);
    QCOMPARE(m_fixture->control({QStringLiteral("stall-next"), QStringLiteral("200")}).exitCode, 0);
    QCOMPARE(again.devices->GetCount(&count), S_OK);
    QCOMPARE(count, 2);
}

void TestDeviceServiceClient::garbageReplyFailsTheCall()
{
    Device d;
    QCOMPARE(openDevice(0, &d), S_OK);
    QCOMPARE(m_fixture->control({QStringLiteral("garbage-next")}).exitCode, 0);
    ComPtr<IDevicePropertyCollection> properties;
    QCOMPARE(d.device->GetProperties(properties.put()), RPC_E_INVALID_DATAPACKET);
    QVERIFY(!properties);
    QCOMPARE(d.device->GetProperties(properties.put()), RPC_E_DISCONNECTED);
    QCOMPARE(m_fixture->stat(QStringLiteral("faults.garbage")), 1);
    QVERIFY(m_fixture->isRunning());
}

void TestDeviceServiceClient::serviceNotRunningFailsQuickly()
{
    m_fixture->kill(); // leaves its socket file behind, as a crash would
    QElapsedTimer clock;
    clock.start();
    ComPtr<IUnknown> service;
    QCOMPARE(CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_ALL, IID_IUnknown, service.putVoid()),
             RPC_S_SERVER_UNAVAILABLE);
    QVERIFY(!service);
    QVERIFY(clock.elapsed() < 1000);
}

void TestDeviceServiceClient::creationNeedsComAndTheRightClass()
{
    ComPtr<IUnknown> service;
    QCOMPARE(CoCreateInstance(IID_IDevice, nullptr, CLSCTX_ALL, IID_IUnknown, service.putVoid()), REGDB_E_CLASSNOTREG);
    QCOMPARE(
        CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, service.putVoid()),
        REGDB_E_CLASSNOTREG);
    QCOMPARE(CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_ALL, IID_IChannel, service.putVoid()),
             E_NOINTERFACE);
    QCOMPARE(CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_ALL, IID_IDeviceManager, service.putVoid()),
             S_OK);
    ComPtr<IDevice> notADevice;
    QCOMPARE(service.as(&notADevice), E_NOINTERFACE);

    // Another thread has its own apartment: without CoInitializeEx there is nothing to create.
    HRESULT onOtherThread = S_OK;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        ComPtr<IUnknown> other;
        onOtherThread =
            CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_ALL, IID_IUnknown, other.putVoid());
    }));
    thread->start();
    QVERIFY(thread->wait(5000));
    QCOMPARE(onOtherThread, CO_E_NOTINITIALIZED);
}

QTEST_GUILESS_MAIN(TestDeviceServiceClient)
#include "tst_deviceserviceclient.moc"
