#pragma once

#include "platform/com/DesktopApi.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <memory>
#include <functional>

class DeviceLinkHost;

// A one-shot event, auto- or manual-reset.
class SignalEvent
{
public:
    explicit SignalEvent(bool manualReset) : m_manual(manualReset) {}
    void set();
    bool isSet() const;
    // Waits up to ms; an auto-reset event is reset by a successful wait.
    bool wait(int ms);

private:
    mutable QMutex m_mutex;
    QWaitCondition m_cond;
    bool m_manual;
    bool m_set = false;
};

// The PC end of the handset channel: the channel's event sink and the owner of
// the open channel. RunDeviceLink does everything in order: connect to the
// device service, find the first handset, read its PIN, open the channel and,
// when a send run was requested, run it.
class USBClient final : public IChannelEvents
{
public:
    // Runs the send run on the open channel (the send worker provides it).
    using SendRun = std::function<void(USBClient& client)>;
    // Runs the send worker's whole device step once more (a new client and its
    // wrap-up) after a device error while a send was requested.
    using RepeatDeviceStep = std::function<void()>;

    explicit USBClient(DeviceLinkHost& host);
    USBClient(const USBClient&) = delete;
    USBClient& operator=(const USBClient&) = delete;

    // IUnknown
    HRESULT QueryInterface(const Guid& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    // IChannelEvents
    HRESULT OnChannelReset() override;
    HRESULT OnPacketAccepted(std::int32_t packetNumber, std::int32_t byteCount) override;
    HRESULT OnChannelOpened() override;
    HRESULT OnChannelClosed() override;

    void setSendRun(SendRun run) { m_sendRun = std::move(run); }
    void setRepeatDeviceStep(RepeatDeviceStep repeat) { m_repeat = std::move(repeat); }

    // 0 when the routine ended without a completed send run, 1 after one.
    int RunDeviceLink();
    // True when a handset was found (its properties were read) in the last call.
    bool foundHandset() const { return m_propertyFlag; }

    IChannel* channel() const { return m_channel.get(); }
    void setChannel(IChannel* channel) { m_channel = ComPtr<IChannel>(channel); }
    void releaseChannel() { m_channel.reset(); }

    // Writes a packet through the channel; a failure throws ComError.
    static bool WritePacket(const QByteArray& bytes, IChannel* channel);

    SignalEvent* firstEvent() const { return m_first.get(); }
    SignalEvent* secondEvent() const { return m_second.get(); }

private:
    ~USBClient();
    void openChannel(IDevice* device);
    void installModuleAndReopen(IDevice* device);
    void onComError(const ComError& error, bool sendRequestedAtStart);
    void noHandset();

    DeviceLinkHost& m_host;
    ComPtr<IChannel> m_channel;
    std::uint32_t m_refs = 1;
    std::unique_ptr<SignalEvent> m_first;
    std::unique_ptr<SignalEvent> m_second;
    SendRun m_sendRun;
    RepeatDeviceStep m_repeat;
    bool m_propertyFlag = false;
};

// Creates a client (one reference) and, when the holder goes, releases the
// channel and then the client. The open channel holds a reference to its event
// sink, the client: releasing the channel first breaks that cycle.
struct USBClientHolder
{
    explicit USBClientHolder(DeviceLinkHost& host) : client(new USBClient(host)) {}
    ~USBClientHolder()
    {
        client->releaseChannel();
        client->Release();
    }
    USBClient* operator->() const { return client; }
    USBClient* client;
};

// The periodic handset probe: empties the PIN, then reads the first handset's
// "BBPIN" property into it. Opens no channel and reports nothing on failure.
void ProbeHandsetPin(DeviceLinkHost& host);

// The PIN text of a property value: upper-case hexadecimal without leading zeros.
QString PinText(std::int32_t value);
