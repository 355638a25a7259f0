#include "USBClient.h"

#include "DeviceLinkHost.h"
#include "MessagePacket.h"
#include "ModuleInstaller.h"
#include "app/core/AppState.h"
#include "platform/TextCodec.h"

#include <QFile>

namespace {

constexpr std::uint32_t kServiceContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                          CLSCTX_REMOTE_SERVER; // 23

// COM for this thread for as long as the routine runs.
struct Apartment
{
    Apartment() : ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~Apartment()
    {
        if (ok)
            CoUninitialize();
    }
    bool ok;
};

// The service object, asked first for IUnknown, started with OleRun; an empty
// pointer on any failure.
ComPtr<IDeviceManager> connectToService()
{
    ComPtr<IUnknown> unknown;
    ComPtr<IDeviceManager> manager;
    if (FAILED(CoCreateInstance(CLSID_DeviceManagerService, nullptr, kServiceContext, IID_IUnknown, unknown.putVoid())))
        return manager;
    if (FAILED(OleRun(unknown.get())))
        return manager;
    unknown.as(&manager);
    return manager;
}

// A property name as the program holds it: in the ANSI code page, at most 255 bytes.
QString narrowName(const QString& name)
{
    QByteArray bytes = TextCodec::toAnsi(name);
    bytes.truncate(255);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return TextCodec::fromAnsi(bytes);
}

void storePin(const QString& pin, DeviceLinkHost& host)
{
    const QString old = g_strDevicePin.get();
    if (pin != old && !old.isEmpty()) {
        g_strDevicePin.clear();
        g_strDeviceName.clear();
    }
    g_strDevicePin.set(pin);
    if (!g_strDevicePin.isEmpty() && !g_strDesktopManager.isEmpty())
        host.hideStatusLine();
}

// The PIN of the property at index i, or nothing when the property is not "BBPIN".
std::optional<QString> readPinProperty(IDevicePropertyCollection* properties, std::int32_t i)
{
    ComPtr<IDeviceProperty> property;
    checkHr(properties->GetItem(Variant::fromInt32(i), property.put()), IID_IDevicePropertyCollection);
    checkPointer(property, IID_IDeviceProperty);
    Variant value;
    checkHr(property->GetValue(&value), IID_IDeviceProperty);
    BSTR name;
    checkHr(property->GetName(&name), IID_IDeviceProperty);
    if (narrowName(name) != QLatin1String("BBPIN"))
        return std::nullopt;
    Variant asInt;
    checkHr(VariantChangeType(&asInt, &value, 0, VT_I4), IID_IDeviceProperty);
    return PinText(asInt.lVal);
}

// The service objects down to the first handset's properties, released in
// reverse order when the holder goes.
struct FirstHandset
{
    ComPtr<IDeviceManager> manager;
    ComPtr<IDeviceCollection> devices;
    ComPtr<IDevice> device;
    ComPtr<IDevicePropertyCollection> properties;
    std::int32_t propertyCount = 0;
};

// Connects and walks to the first handset's properties; false when no handset
// is attached. Device errors throw ComError.
bool openFirstHandset(FirstHandset& h)
{
    h.manager = connectToService();
    checkPointer(h.manager, IID_IDeviceManager);
    checkHr(h.manager->GetDevices(h.devices.put()), IID_IDeviceManager);
    checkPointer(h.devices, IID_IDeviceCollection);
    std::int32_t count = 0;
    checkHr(h.devices->GetCount(&count), IID_IDeviceCollection);
    if (count == 0)
        return false;
    checkHr(h.devices->GetItem(0, h.device.put()), IID_IDeviceCollection);
    checkPointer(h.device, IID_IDevice);
    checkHr(h.device->GetProperties(h.properties.put()), IID_IDevice);
    checkPointer(h.properties, IID_IDevicePropertyCollection);
    checkHr(h.properties->GetCount(&h.propertyCount), IID_IDevicePropertyCollection);
    return true;
}

} // namespace

void SignalEvent::set()
{
    QMutexLocker lock(&m_mutex);
    m_set = true;
    m_cond.wakeAll();
}

bool SignalEvent::isSet() const
{
    QMutexLocker lock(&m_mutex);
    return m_set;
}

bool SignalEvent::wait(int ms)
{
    QMutexLocker lock(&m_mutex);
    if (!m_set)
        m_cond.wait(&m_mutex, ms);
    const bool was = m_set;
    if (!m_manual)
        m_set = false;
    return was;
}

QString PinText(std::int32_t value)
{
    return QString::number(static_cast<std::uint32_t>(value), 16).toUpper();
}

USBClient::USBClient(DeviceLinkHost& host) : m_host(host) {}

USBClient::~USBClient() = default;

HRESULT USBClient::QueryInterface(const Guid& iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IChannelEvents) {
        *object = static_cast<IChannelEvents*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

std::uint32_t USBClient::AddRef()
{
    return ++m_refs;
}

std::uint32_t USBClient::Release()
{
    const std::uint32_t left = --m_refs;
    if (left == 0) {
        m_channel.reset();
        delete this;
    }
    return left;
}

HRESULT USBClient::OnChannelReset()
{
    return S_OK;
}

HRESULT USBClient::OnPacketAccepted(std::int32_t, std::int32_t)
{
    return S_OK;
}

HRESULT USBClient::OnChannelOpened()
{
    if (m_first)
        m_first->set();
    return S_OK;
}

HRESULT USBClient::OnChannelClosed()
{
    if (m_second)
        m_second->set();
    return S_OK;
}

bool USBClient::WritePacket(const QByteArray& bytes, IChannel* channel)
{
    ComPtr<IChannel> held(checkPointer(channel, IID_IChannel));
    const HRESULT hr = held->WritePacket(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                         static_cast<std::int32_t>(bytes.size()));
    checkHr(hr, IID_IChannel);
    return SUCCEEDED(hr);
}

void USBClient::openChannel(IDevice* device)
{
    ComPtr<IChannel> channel;
    checkHr(device->OpenChannel(kHandsetChannelName, this, channel.put()), IID_IDevice);
    checkPointer(channel, IID_IChannel);
    m_channel = channel;
    g_bChannelOpen = true;
}

void USBClient::installModuleAndReopen(IDevice* device)
{
    g_bChannelOpen = false;
    ModuleInstaller::writeBatchFile();
    if (g_nHandsetWarningShown == 1)
        g_nHandsetWarningShown = 2;
    else
        m_host.showSecurityNotice();
    m_host.showDeviceInitDialog();
    ModuleInstaller::runBatchFile();
    m_host.hideDeviceInitDialog();
    QFile::remove(ModuleInstaller::batchFilePath());
    openChannel(device);
}

void USBClient::noHandset()
{
    if (!g_bDeviceSeen)
        return;
    g_bDeviceSeen = false;
    m_host.hideDeviceInitDialog();
    if (m_host.closeProgressDialog())
        m_host.setMainWindowEnabled(true);
    g_strDevicePin.clear();
    g_bDeviceSelected = false;
    g_bHandsetLost = true;
    m_host.handsetLost();
}

void USBClient::onComError(const ComError&, bool sendRequested)
{
    if (sendRequested && g_nSendRequest == 3 && m_repeat) {
        // Once more in full, then give up: the repeated step has no repeat of its own.
        RepeatDeviceStep repeat = std::move(m_repeat);
        repeat();
        g_nSendRequest = 0;
        return;
    }
    m_host.hideDeviceInitDialog();
    m_host.closeProgressDialog();
    if (g_strDevicePin.isEmpty())
        return;
    g_bDeviceSelected = false;
    g_bHandsetLost = true;
    m_host.handsetLost();
}

int USBClient::RunDeviceLink()
{
    m_propertyFlag = false;
    m_first = std::make_unique<SignalEvent>(false);
    m_second = std::make_unique<SignalEvent>(true);
    const Apartment apartment;
    const bool sendRequested = g_nSendRequest == 3;

    FirstHandset handset;
    try {
        if (!openFirstHandset(handset)) {
            noHandset();
            return 0;
        }
        for (std::int32_t i = 0; i < handset.propertyCount; ++i) {
            m_propertyFlag = true;
            g_bDeviceSeen = true;
            const auto pin = readPinProperty(handset.properties.get(), i);
            if (!pin)
                continue;
            storePin(*pin, m_host);
            if (g_bPinProbeOnly)
                return 0;
        }
    } catch (const ComError& error) {
        onComError(error, sendRequested);
        return 0;
    }

    try {
        openChannel(handset.device.get());
    } catch (const ComError&) {
        if (m_host.recipientCount() == 0)
            return 0;
        g_bChannelOpen = false;
        if (g_bInstallModule) {
            try {
                installModuleAndReopen(handset.device.get());
            } catch (const ComError& error) {
                onComError(error, false);
                return 0;
            }
        }
    }

    if (g_nSendRequest != 3)
        return 0;
    g_nSendRequest = 0;
    if (m_host.recipientCount() == 0)
        return 0;
    try {
        if (m_sendRun)
            m_sendRun(*this);
    } catch (const ComError& error) {
        onComError(error, false);
        return 0;
    }
    return 1;
}

void ProbeHandsetPin(DeviceLinkHost& host)
{
    const Apartment apartment;
    // The PIN starts from empty, but is published only once read: a probe
    // running beside this one must never see the empty moment and act on it.
    QString pin;
    try {
        FirstHandset handset;
        if (openFirstHandset(handset)) {
            for (std::int32_t i = 0; i < handset.propertyCount && pin.isEmpty(); ++i) {
                if (const auto found = readPinProperty(handset.properties.get(), i))
                    pin = *found;
            }
        }
    } catch (const ComError&) {
        // The periodic probe only refreshes the PIN; the routines that act on it report failures.
    }
    g_strDevicePin.set(pin);
    if (!pin.isEmpty() && !g_strDesktopManager.isEmpty())
        host.hideStatusLine();
}
