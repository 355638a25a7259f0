#pragma once

#include "GatewaySettings.h"
#include "RateLimiter.h"
#include "platform/com/DesktopApi.h"
#include "device/modem/ModemChannel.h"

#include <QHash>
#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// What a gateway that refused a message returns to the send run: the message
// did not go out (an HTTP 4xx, a refusal in the answer).
inline constexpr HRESULT E_GATEWAY_REFUSED = E_FAIL;
// Nothing of the request reached the gateway (connection refused, unknown host).
inline constexpr HRESULT E_GATEWAY_UNREACHABLE = E_DEVICE_NOT_CONNECTED;
// The request went out and no clear answer came: the gateway may have taken it.
inline constexpr HRESULT E_GATEWAY_OUTCOME_UNKNOWN = E_MODEM_OUTCOME_UNKNOWN;

// The send run's channel to an SMS gateway's HTTP send interface (Kannel's
// "sendsms"). Every message is one GET with the text in UTF-8; the caller's
// thread waits for the gateway's answer. Safe to use from several threads at
// once: each submission takes one of `inFlight` connections (kept alive), and
// a rate limiter shared by all spaces them out. The HTTP work runs on a thread
// of the channel's own.
//
// Accepted ("0: Accepted for delivery", "3: Queued for later delivery" with
// HTTP 2xx) returns S_OK; a refusal (HTTP 4xx, 3xx) E_GATEWAY_REFUSED; a
// gateway nothing reached E_GATEWAY_UNREACHABLE; a request that went out and
// got no answer, a broken one, or HTTP 5xx, E_GATEWAY_OUTCOME_UNKNOWN. The text
// of the failure is in lastError() on the thread that made the call; it never
// holds the password.
class GatewayChannel final : public TextChannelBase
{
public:
    static constexpr int kDefaultTimeoutMs = 30000;
    // Kannel's report types asked for: delivered (1), undelivered (2), queued
    // at the service centre (4), refused by the service centre (16).
    static constexpr int kReportMask = 1 | 2 | 4 | 16;

    explicit GatewayChannel(const GatewaySettings& settings, int timeoutMs = kDefaultTimeoutMs);
    GatewayChannel(const GatewayChannel&) = delete;
    GatewayChannel& operator=(const GatewayChannel&) = delete;

    // Each submission asks for reports at urlPrefix + <message id> + "?type=%d".
    // Set before the first message.
    void requestDeliveryReports(const QString& urlPrefix, int mask = kReportMask);
    // Told of each message just before its request goes out (so a report that
    // beats the answer finds it), with the id that its reports will carry, and
    // when the gateway refused it or nothing reached it (no report will come).
    // Called on the sending thread. Set before the first message.
    void setSubmitted(std::function<void(quint64 id, const QString& number, const QString& text)> submitted);
    void setWithdrawn(std::function<void(quint64 id)> withdrawn);

    // The failure of the calling thread's last message; empty after a success.
    QString lastError() const;
    bool lastOutcomeUnknown() const;

    int inFlight() const { return m_inFlight.load(); }
    int peakInFlight() const { return m_peak.load(); }
    qint64 accepted() const { return m_accepted.load(); }
    const GatewaySettings& settings() const { return m_settings; }

    // The query of one message, as sent (tests and the benchmark read it).
    QByteArray messageQuery(const QString& text, const QString& number, quint64 id) const;
    // The password shown as "****": for any text that might hold it.
    QString hidePassword(const QString& text) const;

    // A request that sends nothing (the user and password without a
    // recipient), to tell the user what answers at the address.
    struct Probe
    {
        enum class Result
        {
            Works,
            WrongLogin,
            NothingAnswers,
            NotAGateway
        };
        Result result = Result::NothingAnswers;
        QString text; // for the user; "" when it works
    };
    Probe probe();

    // IChannel
    HRESULT Close() override;
    // ITextMessageChannel: the gateway splits a long message itself, so a
    // message is always sent whole (firstPart and reference are not used) and
    // the listener hears of it as one accepted part.
    HRESULT WriteTextMessage(const QString& text, const QString& number, int firstPart = 0, int reference = -1,
                             PartListener* listener = nullptr) override;

private:
    QString channelName() const override { return QStringLiteral("gateway"); }
    qint64 messagesWritten() const override { return m_accepted.load(); }

    struct Engine;
    struct Answer;
    ~GatewayChannel() override;

    // One GET of `query` on a free connection; blocks until it is done.
    Answer exchange(const QByteArray& query);
    void setFailure(const QString& text, bool unknown);

    const GatewaySettings m_settings;
    const int m_timeoutMs;
    QString m_host;
    quint16 m_port = 80;
    bool m_tls = false;
    QByteArray m_path; // path and query of the URL as given, before ours
    QString m_reportPrefix;
    int m_reportMask = kReportMask;
    std::function<void(quint64, const QString&, const QString&)> m_submitted;
    std::function<void(quint64)> m_withdrawn;

    std::unique_ptr<QThread> m_thread;
    Engine* m_engine = nullptr;
    RateLimiter m_rate;

    mutable QMutex m_mutex;
    QWaitCondition m_slotFreed;
    QList<int> m_freeSlots;
    struct Failure
    {
        QString text;
        bool unknown = false;
    };
    QHash<Qt::HANDLE, Failure> m_failures;

    std::atomic<quint64> m_nextId{1};
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_peak{0};
    std::atomic<qint64> m_accepted{0};
    std::atomic<bool> m_closed{false};
};
