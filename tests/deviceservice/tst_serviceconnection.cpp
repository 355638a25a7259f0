// The client transport against a fake service that answers what each test
// scripts: broken frames, oversized frames, silence, hang-ups and events.

#include "platform/com/DesktopApi.h"
#include "platform/Paths.h"
#include "platform/deviceservice/DeviceServiceClient.h"
#include "platform/deviceservice/WireFormat.h"

#include <QCborArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <functional>

namespace {

// What the fake answers to one request: raw bytes to send (empty: nothing),
// and whether to hang up afterwards.
struct Answer
{
    QByteArray bytes;
    bool hangUp = false;
};
using Script = std::function<Answer(const QCborMap& request)>;

QByteArray reply(const QCborMap& request, HRESULT hr, const QCborArray& results = {})
{
    QCborMap map;
    map.insert(QStringLiteral("id"), request.value(QStringLiteral("id")));
    map.insert(QStringLiteral("hr"), hr);
    map.insert(QStringLiteral("r"), results);
    return WireFormat::encodeFrame(map);
}

QByteArray eventFrame(qint64 sink, int kind)
{
    QCborMap map;
    map.insert(QStringLiteral("ev"), kind);
    map.insert(QStringLiteral("sink"), sink);
    return WireFormat::encodeFrame(map);
}

// Serves on the device service socket from a thread of its own, so the
// client's blocking calls on the test thread have someone to talk to.
class FakeService
{
public:
    explicit FakeService(Script script) : m_script(std::move(script))
    {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->start();
        QElapsedTimer clock;
        clock.start();
        while (!m_listening.loadAcquire() && clock.elapsed() < 5000)
            QThread::msleep(5);
    }
    ~FakeService()
    {
        m_thread->quit();
        m_thread->wait(5000);
    }
    qint64 bytesSent() const { return m_sent.loadAcquire(); }

private:
    void run()
    {
        QLocalServer server;
        QLocalServer::removeServer(Paths::deviceServiceSocket());
        server.listen(Paths::deviceServiceSocket());
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this, &server] {
            QLocalSocket* socket = server.nextPendingConnection();
            auto reader = std::make_shared<WireFormat::FrameReader>();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, reader] {
                QCborMap request;
                while (socket->isOpen() &&
                       reader->readFrom(socket, &request) == WireFormat::FrameReader::Status::Frame) {
                    const Answer answer = m_script(request);
                    socket->write(answer.bytes);
                    socket->flush();
                    m_sent.fetchAndAddRelease(answer.bytes.size());
                    if (answer.hangUp) {
                        socket->disconnectFromServer();
                        return;
                    }
                }
            });
        });
        m_listening.storeRelease(1);
        QEventLoop loop;
        loop.exec();
    }

    Script m_script;
    std::unique_ptr<QThread> m_thread;
    QAtomicInt m_listening;
    QAtomicInteger<qint64> m_sent;
};

// A fake that creates the service object and answers "devices" requests with
// the given script, so each test reaches a collection proxy first.
Script withCollection(std::function<Answer(const QCborMap&)> onCollection)
{
    return [onCollection](const QCborMap& request) -> Answer {
        const QString op = request.value(QStringLiteral("op")).toString();
        if (op == QLatin1String("create"))
            return {reply(request, S_OK, {1})};
        if (op == QLatin1String("manager.devices"))
            return {reply(request, S_OK, {2})};
        if (op == QLatin1String("release"))
            return {reply(request, S_OK)};
        return onCollection(request);
    };
}

class CountingSink final : public IChannelEvents
{
public:
    HRESULT QueryInterface(const Guid&, void**) override { return E_NOINTERFACE; }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT OnChannelReset() override { return ++resets, S_OK; }
    HRESULT OnPacketAccepted(std::int32_t, std::int32_t) override { return S_OK; }
    HRESULT OnChannelOpened() override { return ++opened, S_OK; }
    HRESULT OnChannelClosed() override { return S_OK; }
    std::uint32_t refs = 1;
    int opened = 0;
    int resets = 0;
};

} // namespace

class TestServiceConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void brokenRepliesFailTheCall_data();
    void brokenRepliesFailTheCall();
    void oversizedFrameIsRefusedWithoutReadingIt();
    void hangUpMidCallFailsAndLaterCallsFailAtOnce();
    void silenceAndTricklingTimeOut();
    void eventsReachTheSinkWhileTheCallWaits();
    void callsFromAnotherThreadAreRefused();

private:
    HRESULT collection(ComPtr<IDeviceCollection>* out);

    QTemporaryDir m_dir;
};

void TestServiceConnection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("VEVA_SMS_RUNTIME_DIR", m_dir.path().toLocal8Bit());
}

void TestServiceConnection::init()
{
    DeviceServiceClient::setCallTimeout(1000);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

void TestServiceConnection::cleanup()
{
    CoUninitialize();
    DeviceServiceClient::setCallTimeout(DeviceServiceClient::kDefaultCallTimeoutMs);
}

HRESULT TestServiceConnection::collection(ComPtr<IDeviceCollection>* out)
{
    ComPtr<IDeviceManager> manager;
    HRESULT hr =
        CoCreateInstance(CLSID_DeviceManagerService, nullptr, CLSCTX_ALL, IID_IDeviceManager, manager.putVoid());
    if (SUCCEEDED(hr))
        hr = manager->GetDevices(out->put());
    return hr;
}

void TestServiceConnection::brokenRepliesFailTheCall_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("expected");

    QCborMap wrongId;
    wrongId.insert(QStringLiteral("id"), 999);
    wrongId.insert(QStringLiteral("hr"), 0);
    QByteArray overLimit(4, '\0');
    qToBigEndian<quint32>(quint32(WireFormat::kMaxFrameBytes + 1), overLimit.data());

    QByteArray notCbor = QByteArray(4, '\0') + "\xff\xfe\xfd\xfc";
    qToBigEndian<quint32>(4, notCbor.data());
    QByteArray trailing = WireFormat::encodeFrame(QCborMap{{QStringLiteral("hr"), 0}});
    trailing.append('\x01');
    qToBigEndian<quint32>(quint32(trailing.size() - 4), trailing.data());

    QTest::newRow("text instead of a frame")
        << QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n") << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("zero length") << QByteArray(4, '\0') << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("one byte over the limit") << overLimit << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("body not CBOR") << notCbor << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("bytes after the map") << trailing << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("array, not map") << QByteArray() << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("reply to another call") << WireFormat::encodeFrame(wrongId) << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("no result code") << QByteArray("no-hr") << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("count is text") << QByteArray("text-count") << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("count beyond 32 bits") << QByteArray("huge-count") << int(RPC_E_INVALID_DATAPACKET);
    QTest::newRow("failure passes through") << QByteArray("fail") << int(E_WRITE_FAULT);
}

void TestServiceConnection::brokenRepliesFailTheCall()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, expected);
    FakeService fake(withCollection([answer](const QCborMap& request) -> Answer {
        const auto withId = [&](QCborMap map) {
            map.insert(QStringLiteral("id"), request.value(QStringLiteral("id")));
            return WireFormat::encodeFrame(map);
        };
        if (answer.isEmpty()) {
            QByteArray body = QCborValue(QCborArray{1, 2}).toCbor();
            QByteArray frame(4, '\0');
            qToBigEndian<quint32>(quint32(body.size()), frame.data());
            return {frame + body};
        }
        if (answer == "no-hr")
            return {withId(QCborMap{{QStringLiteral("r"), QCborArray{1}}})};
        if (answer == "text-count")
            return {
                withId(QCborMap{{QStringLiteral("hr"), 0}, {QStringLiteral("r"), QCborArray{QStringLiteral("2")}}})};
        if (answer == "huge-count")
            return {withId(QCborMap{{QStringLiteral("hr"), 0}, {QStringLiteral("r"), QCborArray{qint64(1) << 40}}})};
        if (answer == "fail")
            return {reply(request, E_WRITE_FAULT)};
        return {answer};
    }));
    ComPtr<IDeviceCollection> devices;
    QCOMPARE(collection(&devices), S_OK);
    std::int32_t count = -7;
    QCOMPARE(devices->GetCount(&count), HRESULT(expected));
    QCOMPARE(count, -7);
}

void TestServiceConnection::oversizedFrameIsRefusedWithoutReadingIt()
{
    // Claims a gigabyte and keeps sending: the client must give up after the header.
    FakeService fake(withCollection([](const QCborMap&) -> Answer {
        QByteArray header(4, '\0');
        qToBigEndian<quint32>(1u << 30, header.data());
        return {header + QByteArray(4 * 1024 * 1024, 'j')};
    }));
    ComPtr<IDeviceCollection> devices;
    QCOMPARE(collection(&devices), S_OK);
    QElapsedTimer clock;
    clock.start();
    std::int32_t count = 0;
    QCOMPARE(devices->GetCount(&count), RPC_E_INVALID_DATAPACKET);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(devices->GetCount(&count), RPC_E_DISCONNECTED);
}

void TestServiceConnection::hangUpMidCallFailsAndLaterCallsFailAtOnce()
{
    FakeService fake(withCollection([](const QCborMap&) -> Answer { return {QByteArray(), true}; }));
    ComPtr<IDeviceCollection> devices;
    QCOMPARE(collection(&devices), S_OK);
    QElapsedTimer clock;
    clock.start();
    std::int32_t count = 0;
    QCOMPARE(devices->GetCount(&count), RPC_E_DISCONNECTED);
    QCOMPARE(devices->GetCount(&count), RPC_E_DISCONNECTED);
    ComPtr<IDevice> device;
    QCOMPARE(devices->GetItem(0, device.put()), RPC_E_DISCONNECTED);
    QVERIFY(!device);
    QVERIFY(clock.elapsed() < 900);
}

void TestServiceConnection::silenceAndTricklingTimeOut()
{
    // Half a frame, then nothing: the time-out still counts from the request.
    FakeService fake(withCollection([](const QCborMap& request) -> Answer {
        const QByteArray whole = reply(request, S_OK, {3});
        return {whole.left(whole.size() / 2)};
    }));
    DeviceServiceClient::setCallTimeout(300);
    ComPtr<IDeviceCollection> devices;
    QCOMPARE(collection(&devices), S_OK);
    QElapsedTimer clock;
    clock.start();
    std::int32_t count = 0;
    QCOMPARE(devices->GetCount(&count), RPC_E_TIMEOUT);
    QVERIFY(clock.elapsed() >= 250 && clock.elapsed() < 1500);
}

void TestServiceConnection::eventsReachTheSinkWhileTheCallWaits()
{
    FakeService fake([](const QCborMap& request) -> Answer {
        const QString op = request.value(QStringLiteral("op")).toString();
        const QCborArray args = request.value(QStringLiteral("a")).toArray();
        if (op == QLatin1String("device.openChannel")) {
            const qint64 sink = args.at(1).toInteger();
            // An unknown sink and an unknown event kind are passed over.
            return {eventFrame(sink + 100, 3) + eventFrame(sink, 9) + eventFrame(sink, 3) + reply(request, S_OK, {5})};
        }
        if (op == QLatin1String("channel.write"))
            return {eventFrame(1, 1) + reply(request, E_DEVICE_NOT_CONNECTED)};
        return {reply(request, S_OK, {int(request.value(QStringLiteral("h")).toInteger()) + 1})};
    });
    ComPtr<IDeviceCollection> devices;
    QCOMPARE(collection(&devices), S_OK);
    ComPtr<IDevice> device;
    QCOMPARE(devices->GetItem(0, device.put()), S_OK);
    CountingSink sink;
    ComPtr<IChannel> channel;
    QCOMPARE(device->OpenChannel(kHandsetChannelName, &sink, channel.put()), S_OK);
    QCOMPARE(sink.opened, 1);
    QCOMPARE(sink.refs, 2u);
    const std::uint8_t packet[] = {'S', 'i', 'g', 'n'};
    QCOMPARE(channel->WritePacket(packet, 4), E_DEVICE_NOT_CONNECTED);
    QCOMPARE(sink.resets, 1);
    channel.reset();
    QCOMPARE(sink.refs, 1u);
}

void TestServiceConnection::callsFromAnotherThreadAreRefused()
{
    FakeService fake(withCollection([](const QCborMap& request) -> Answer { return {reply(request, S_OK, {4})}; }));
    ComPtr<IDeviceCollection> devices;
    QCOMPARE(collection(&devices), S_OK);
    HRESULT elsewhere = S_OK;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        std::int32_t count = 0;
        elsewhere = devices->GetCount(&count);
    }));
    thread->start();
    QVERIFY(thread->wait(5000));
    QCOMPARE(elsewhere, RPC_E_WRONG_THREAD);
    std::int32_t count = 0;
    QCOMPARE(devices->GetCount(&count), S_OK);
    QCOMPARE(count, 4);
}

QTEST_GUILESS_MAIN(TestServiceConnection)
#include "tst_serviceconnection.moc"
