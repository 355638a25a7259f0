#pragma once

#include "platform/com/ComBase.h"
#include "platform/com/Variant.h"

#include <cstdint>

// The device-manager service of the handset's desktop software. Only the
// identifiers and the order of the methods are fixed by the outside party; the
// names are ours. Every method returns an HRESULT; out parameters receive a
// new reference that the caller releases.

inline constexpr Guid CLSID_DeviceManagerService{
    0xBA3D0120, 0xE617, 0x4F66, {0xAD, 0xCA, 0x58, 0x5C, 0xC2, 0xFB, 0x86, 0xDB}};

#define VEVA_DESKTOP_IID(last)                                                                                         \
    Guid                                                                                                               \
    {                                                                                                                  \
        0xC7168300 | (last), 0xA0F4, 0x46DF,                                                                           \
        {                                                                                                              \
            0xB8, 0x2A, 0x54, 0x8C, 0xFB, 0x08, 0x75, 0x5E                                                             \
        }                                                                                                              \
    }
inline constexpr Guid IID_IDeviceManager = VEVA_DESKTOP_IID(0x0B);
inline constexpr Guid IID_IDeviceCollection = VEVA_DESKTOP_IID(0x0D);
inline constexpr Guid IID_IDevice = VEVA_DESKTOP_IID(0x0E);
inline constexpr Guid IID_IDevicePropertyCollection = VEVA_DESKTOP_IID(0x0F);
inline constexpr Guid IID_IDeviceProperty = VEVA_DESKTOP_IID(0x10);
inline constexpr Guid IID_IChannel = VEVA_DESKTOP_IID(0x11);
inline constexpr Guid IID_IChannelEvents = VEVA_DESKTOP_IID(0x12);
#undef VEVA_DESKTOP_IID

// The name of the channel to the sender module on the handset.
inline constexpr char16_t kHandsetChannelName[] = u"JDE_USBClient";
// The largest packet a channel carries.
inline constexpr std::int32_t kMaxChannelPacketBytes = 16389;

struct IDevice;
struct IDeviceCollection;
struct IDevicePropertyCollection;
struct IDeviceProperty;
struct IChannel;
struct IChannelEvents;

struct IDeviceManager : IUnknown
{
    static constexpr Guid kIid = IID_IDeviceManager;
    // The handsets attached now, in the service's order.
    virtual HRESULT GetDevices(IDeviceCollection** devices) = 0;
};

struct IDeviceCollection : IUnknown
{
    static constexpr Guid kIid = IID_IDeviceCollection;
    virtual HRESULT GetCount(std::int32_t* count) = 0;
    // E_INVALIDARG for an index outside [0, count).
    virtual HRESULT GetItem(std::int32_t index, IDevice** device) = 0;
};

struct IDevice : IUnknown
{
    static constexpr Guid kIid = IID_IDevice;
    virtual HRESULT GetProperties(IDevicePropertyCollection** properties) = 0;
    // name: NUL-terminated UTF-16. sink may be null; when given, the channel
    // holds a reference to it and reports its events there until released.
    virtual HRESULT OpenChannel(const char16_t* name, IChannelEvents* sink, IChannel** channel) = 0;
};

struct IDevicePropertyCollection : IUnknown
{
    static constexpr Guid kIid = IID_IDevicePropertyCollection;
    virtual HRESULT GetCount(std::int32_t* count) = 0;
    // index: VT_I4 (or anything VariantChangeType turns into one).
    virtual HRESULT GetItem(Variant index, IDeviceProperty** property) = 0;
};

struct IDeviceProperty : IUnknown
{
    static constexpr Guid kIid = IID_IDeviceProperty;
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetValue(Variant* value) = 0;
};

struct IChannel : IUnknown
{
    static constexpr Guid kIid = IID_IChannel;
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetMaxPacketSize(std::int32_t* bytes) = 0;
    // Packets the handset has accepted on this channel so far.
    virtual HRESULT GetPacketsWritten(std::int32_t* count) = 0;
    // Closes the channel before the last release does; later writes fail.
    virtual HRESULT Close() = 0;
    // One packet, boundaries kept: 1 to GetMaxPacketSize() bytes.
    virtual HRESULT WritePacket(const std::uint8_t* bytes, std::int32_t count) = 0;
};

// A write that failed this way left the PC and was never confirmed (no answer,
// a late or garbled one, the service gone while it worked): the handset may
// have sent the message. Any other failure means it was refused.
inline bool isOutcomeUnknown(HRESULT hr)
{
    return hr == RPC_E_TIMEOUT || hr == RPC_E_INVALID_DATAPACKET || hr == RPC_E_DISCONNECTED;
}

// Implemented by the program; the service calls it on the thread that uses the
// channel, while that thread waits for one of its own calls to return.
struct IChannelEvents : IUnknown
{
    static constexpr Guid kIid = IID_IChannelEvents;
    // The handset dropped the channel (unplugged, or the module stopped).
    virtual HRESULT OnChannelReset() = 0;
    // The handset took packet number packetNumber (counted from 1) of byteCount bytes.
    virtual HRESULT OnPacketAccepted(std::int32_t packetNumber, std::int32_t byteCount) = 0;
    virtual HRESULT OnChannelOpened() = 0;
    virtual HRESULT OnChannelClosed() = 0;
};
