#pragma once

#include "GsmModem.h"
#include "platform/TextCodec.h"
#include "platform/com/DesktopApi.h"

#include <QMutex>

#include <algorithm>
#include <atomic>
#include <limits>

// A channel that takes a message as the text the user typed, in Unicode, rather
// than as the handset's narrow message packet. The send run uses it when the
// channel offers it.
inline constexpr Guid IID_ITextMessageChannel{
    0x6A0D5E21, 0x3C47, 0x4B9E, {0x9F, 0x12, 0x7E, 0x55, 0x0B, 0xC4, 0x2A, 0x91}};

// Told of each part of a long message the channel has had accepted (1-based).
class PartListener
{
public:
    virtual ~PartListener() = default;
    virtual void partAccepted(int part, int total, int reference) = 0;
};

struct ITextMessageChannel : IUnknown
{
    static constexpr Guid kIid = IID_ITextMessageChannel;
    // Sends the message, every part from `firstPart` (0-based) on, before it
    // returns. A `reference` of 0 to 255 joins the parts to those sent
    // earlier under it; -1 takes a new one.
    virtual HRESULT WriteTextMessage(const QString& text, const QString& number, int firstPart = 0, int reference = -1,
                                     PartListener* listener = nullptr) = 0;
};

// What a channel that takes text shares, whatever it sends through: both
// interfaces, the packet size, and a reference count that deletes it.
class TextChannelBase : public IChannel, public ITextMessageChannel
{
public:
    HRESULT QueryInterface(const Guid& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IChannel)
            *object = static_cast<IChannel*>(this);
        else if (iid == IID_ITextMessageChannel)
            *object = static_cast<ITextMessageChannel*>(this);
        else
            *object = nullptr;
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
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
    HRESULT GetMaxPacketSize(std::int32_t* bytes) override
    {
        if (!bytes)
            return E_POINTER;
        *bytes = kMaxChannelPacketBytes;
        return S_OK;
    }

    // A message packet ("text\xA7number", the text in the code page) goes out as
    // WriteTextMessage; the start packet needs nothing of a text channel.
    HRESULT WritePacket(const std::uint8_t* bytes, std::int32_t count) final
    {
        if (!bytes || count <= 0 || count > kMaxChannelPacketBytes)
            return E_INVALIDARG;
        const QByteArray packet(reinterpret_cast<const char*>(bytes), count);
        if (packet == "Sign")
            return S_OK;
        // The text may hold the separator itself: only the last one divides.
        const qsizetype separator = packet.lastIndexOf('\xA7');
        if (separator < 0)
            return E_INVALIDARG;
        return WriteTextMessage(TextCodec::fromAnsi(packet.left(separator)),
                                QString::fromLatin1(packet.mid(separator + 1)));
    }
    HRESULT GetName(BSTR* name) final
    {
        if (!name)
            return E_POINTER;
        *name = channelName();
        return S_OK;
    }
    HRESULT GetPacketsWritten(std::int32_t* count) final
    {
        if (!count)
            return E_POINTER;
        *count = std::int32_t(std::min<qint64>(messagesWritten(), std::numeric_limits<std::int32_t>::max()));
        return S_OK;
    }

protected:
    TextChannelBase() = default;
    virtual ~TextChannelBase() = default;
    // What GetName and GetPacketsWritten report: the channel's name, and the messages it took.
    virtual QString channelName() const = 0;
    virtual qint64 messagesWritten() const = 0;

private:
    std::atomic<std::uint32_t> m_refs{1};
};

// What a modem failure returns to the send run.
inline constexpr HRESULT E_MODEM_ACCESS_DENIED = makeHResult(0x80070005); // the SIM waits for its PIN
// A part was written to the modem and its answer never came: it may have gone out.
inline constexpr HRESULT E_MODEM_OUTCOME_UNKNOWN = makeHResult(0x800705B4); // as ERROR_TIMEOUT

// The send run's channel over a GSM modem: each message goes out as PDUs with
// AT+CMGS. A message packet is decoded into its text and number; the start
// packet needs nothing of a modem. A failure leaves its text in lastError().
class ModemChannel final : public TextChannelBase
{
public:
    explicit ModemChannel(int portNumber, const ModemTiming& timing = ModemTiming::current());
    ModemChannel(const ModemChannel&) = delete;
    ModemChannel& operator=(const ModemChannel&) = delete;

    // Readies the modem; throws ModemError.
    void open() { m_modem.open(); }
    GsmModem& modem() { return m_modem; }
    QString lastError() const;
    // The last failure left a part whose outcome nobody knows.
    bool lastOutcomeUnknown() const;
    // Parts the modem accepted so far.
    int partsSent() const { return m_parts; }

    // IChannel
    HRESULT Close() override;
    // ITextMessageChannel
    HRESULT WriteTextMessage(const QString& text, const QString& number, int firstPart = 0, int reference = -1,
                             PartListener* listener = nullptr) override;

private:
    ~ModemChannel() override = default;
    QString channelName() const override;
    qint64 messagesWritten() const override { return m_messages; }

    GsmModem m_modem;
    std::int32_t m_messages = 0;
    int m_parts = 0;
    bool m_closed = false;
    mutable QMutex m_mutex;
    QString m_lastError;
    bool m_lastOutcomeUnknown = false;
};
