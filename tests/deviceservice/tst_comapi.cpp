// The COM layer of the device API: identifiers, errors, counted pointers and
// VARIANT conversion.

#include "platform/com/DesktopApi.h"

#include <QtTest>

namespace {

// Counts its references and its destruction.
class Counted final : public IDevice
{
public:
    explicit Counted(int* destroyed) : m_destroyed(destroyed) {}
    HRESULT QueryInterface(const Guid& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IUnknown) && !(iid == IID_IDevice))
            return E_NOINTERFACE;
        *object = static_cast<IDevice*>(this);
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --refs;
        if (left == 0) {
            ++*m_destroyed;
            delete this;
        }
        return left;
    }
    HRESULT GetProperties(IDevicePropertyCollection**) override { return E_NOTIMPL; }
    HRESULT OpenChannel(const char16_t*, IChannelEvents*, IChannel**) override { return E_NOTIMPL; }

    std::uint32_t refs = 1;

private:
    int* m_destroyed;
};

} // namespace

class TestComApi : public QObject
{
    Q_OBJECT

private slots:
    void identifiersPrintAndParse();
    void comErrorCarriesCodeAndInterface();
    void counterPointerBalancesReferences();
    void variantChangeTypeToInt32_data();
    void variantChangeTypeToInt32();
    void comInitialisationIsCountedPerThread();
};

void TestComApi::identifiersPrintAndParse()
{
    QCOMPARE(CLSID_DeviceManagerService.toString(), QStringLiteral("{BA3D0120-E617-4F66-ADCA-585CC2FB86DB}"));
    QCOMPARE(IID_IUnknown.toString(), QStringLiteral("{00000000-0000-0000-C000-000000000046}"));
    QCOMPARE(IID_IDeviceManager.toString(), QStringLiteral("{C716830B-A0F4-46DF-B82A-548CFB08755E}"));
    QCOMPARE(IID_IChannelEvents.toString(), QStringLiteral("{C7168312-A0F4-46DF-B82A-548CFB08755E}"));
    const Guid ids[] = {IID_IDeviceManager,  IID_IDeviceCollection, IID_IDevice,       IID_IDevicePropertyCollection,
                        IID_IDeviceProperty, IID_IChannel,          IID_IChannelEvents};
    // All distinct: a mix-up of two identifiers would let a proxy answer for the wrong interface.
    for (const Guid& a : ids) {
        QVERIFY(!(a == IID_IUnknown));
        QCOMPARE(std::count(std::begin(ids), std::end(ids), a), 1);
    }
}

void TestComApi::comErrorCarriesCodeAndInterface()
{
    QCOMPARE(checkHr(S_FALSE, IID_IChannel), S_FALSE);
    try {
        checkHr(RPC_E_DISCONNECTED, IID_IChannel);
        QFAIL("no exception");
    } catch (const ComError& e) {
        QCOMPARE(e.error(), RPC_E_DISCONNECTED);
        QVERIFY(e.interfaceId() == IID_IChannel);
        const QString text = QString::fromUtf8(e.what());
        QVERIFY2(text.contains(QStringLiteral("0x80010108")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("{C7168311-A0F4-46DF-B82A-548CFB08755E}")));
        QVERIFY(text.contains(QStringLiteral("disconnected")));
    }
    IDevice* none = nullptr;
    QVERIFY_THROWS_EXCEPTION(ComError, checkPointer(none, IID_IDevice));
    try {
        checkPointer(ComPtr<IDevice>(), IID_IDevice);
        QFAIL("no exception");
    } catch (const ComError& e) {
        QCOMPARE(e.error(), E_POINTER);
    }
    QVERIFY(
        QString::fromUtf8(ComError(makeHResult(0x80001234), IID_IUnknown).what()).contains(QStringLiteral("unknown")));
}

void TestComApi::counterPointerBalancesReferences()
{
    int destroyed = 0;
    auto* raw = new Counted(&destroyed);
    {
        ComPtr<IDevice> owner = ComPtr<IDevice>::attach(raw);
        QCOMPARE(raw->refs, 1u);
        ComPtr<IDevice> copy = owner;
        ComPtr<IUnknown> asUnknown;
        QCOMPARE(owner.as(&asUnknown), S_OK);
        QCOMPARE(raw->refs, 3u);
        ComPtr<IChannel> wrong;
        QCOMPARE(owner.as(&wrong), E_NOINTERFACE);
        QVERIFY(!wrong);

        ComPtr<IDevice> moved = std::move(copy);
        QVERIFY(!copy);
        QCOMPARE(raw->refs, 3u);
        copy = moved; // copy-assign over an empty pointer
        moved = copy; // self-equal assign keeps the count
        QCOMPARE(raw->refs, 4u);
        void** slot = moved.putVoid(); // drops what it held before handing out the slot
        QVERIFY(slot && !*slot);
        QCOMPARE(raw->refs, 3u);
    }
    QCOMPARE(destroyed, 1);
}

void TestComApi::variantChangeTypeToInt32_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<int>("hr");
    QTest::addColumn<int>("value");

    QTest::newRow("I4") << int(VT_I4) << QString() << qint64(43981) << int(S_OK) << 43981;
    QTest::newRow("UI4 in range") << int(VT_UI4) << QString() << qint64(7) << int(S_OK) << 7;
    QTest::newRow("UI4 too big") << int(VT_UI4) << QString() << qint64(0x80000000u) << int(DISP_E_OVERFLOW) << 0;
    QTest::newRow("empty is 0") << int(VT_EMPTY) << QString() << qint64(0) << int(S_OK) << 0;
    QTest::newRow("null") << int(VT_NULL) << QString() << qint64(0) << int(DISP_E_TYPEMISMATCH) << 0;
    QTest::newRow("bool true") << int(VT_BOOL) << QString() << qint64(1) << int(S_OK) << -1;
    QTest::newRow("text number") << int(VT_BSTR) << QStringLiteral(" -12 ") << qint64(0) << int(S_OK) << -12;
    QTest::newRow("text plus") << int(VT_BSTR) << QStringLiteral("+2147483647") << qint64(0) << int(S_OK) << 2147483647;
    QTest::newRow("text too big") << int(VT_BSTR) << QStringLiteral("2147483648") << qint64(0) << int(DISP_E_OVERFLOW)
                                  << 0;
    QTest::newRow("text far too big") << int(VT_BSTR) << QStringLiteral("99999999999999999999999") << qint64(0)
                                      << int(DISP_E_OVERFLOW) << 0;
    QTest::newRow("text hex") << int(VT_BSTR) << QStringLiteral("ABCD") << qint64(0) << int(DISP_E_TYPEMISMATCH) << 0;
    QTest::newRow("text sign only") << int(VT_BSTR) << QStringLiteral("-") << qint64(0) << int(DISP_E_TYPEMISMATCH)
                                    << 0;
    QTest::newRow("text empty") << int(VT_BSTR) << QString() << qint64(0) << int(DISP_E_TYPEMISMATCH) << 0;
    QTest::newRow("text arabic digits") << int(VT_BSTR) << QStringLiteral("\u0661\u0662") << qint64(0)
                                        << int(DISP_E_TYPEMISMATCH) << 0;
}

void TestComApi::variantChangeTypeToInt32()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(qint64, number);
    QFETCH(int, hr);
    QFETCH(int, value);

    Variant source;
    switch (type) {
    case VT_I4:
        source = Variant::fromInt32(std::int32_t(number));
        break;
    case VT_UI4:
        source = Variant::fromUInt32(std::uint32_t(number));
        break;
    case VT_BOOL:
        source = Variant::fromBool(number != 0);
        break;
    case VT_BSTR:
        source = Variant::fromString(text);
        break;
    case VT_NULL:
        source = Variant::null();
        break;
    default:
        break;
    }
    Variant result = Variant::fromString(QStringLiteral("untouched"));
    QCOMPARE(VariantChangeType(&result, &source, 0, VT_I4), HRESULT(hr));
    if (SUCCEEDED(hr))
        QCOMPARE(result, Variant::fromInt32(value));
    else
        QCOMPARE(result, Variant::fromString(QStringLiteral("untouched")));

    // In place, as callers do with one variable.
    Variant inPlace = source;
    QCOMPARE(VariantChangeType(&inPlace, &inPlace, 0, VT_I4), HRESULT(hr));
    QCOMPARE(inPlace.vt, SUCCEEDED(hr) ? VT_I4 : source.vt);
}

void TestComApi::comInitialisationIsCountedPerThread()
{
    QVERIFY(!isComInitializedOnThisThread());
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    bool seenElsewhere = true;
    std::unique_ptr<QThread> thread(QThread::create([&] { seenElsewhere = isComInitializedOnThisThread(); }));
    thread->start();
    QVERIFY(thread->wait(5000));
    QVERIFY(!seenElsewhere);
    CoUninitialize();
    QVERIFY(isComInitializedOnThisThread());
    CoUninitialize();
    QVERIFY(!isComInitializedOnThisThread());
    CoUninitialize(); // one too many does no harm
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
    int reserved = 0;
    QCOMPARE(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
}

QTEST_GUILESS_MAIN(TestComApi)
#include "tst_comapi.moc"
