#pragma once

#include "SendRun.h"

#include "device/modem/ModemChannel.h"
#include "sending/DeliveryTracker.h"

#include <atomic>

#include <memory>
#include <mutex>
#include <vector>

class GsmModem;

// What a run through a GSM modem asks of the main window beyond the send run.
class ModemLinkHost
{
public:
    virtual ~ModemLinkHost() = default;
    // The modem's run stopped on a failure: the device line says that no device
    // is selected and the text is shown; returns when the user has read it.
    virtual void modemLost(const QString& text) = 0;
    // "Request delivery reports" is ticked.
    virtual bool deliveryReportsRequested() { return false; }
    // A status report changed what is known of the message on the row (sent
    // to that number with that message). Rows may have moved since.
    virtual void deliveryReported(int /*row*/, const QString& /*number*/, const QByteArray& /*fingerprint*/,
                                  const Delivery& /*delivery*/)
    {
    }
};

// Lets the GUI thread end the modems' waits at once, when the program closes.
// A run through several modems attaches each of them.
class ModemRunControl
{
public:
    void attach(GsmModem* modem);
    // Lets go of every attached modem.
    void detach();
    void cancel();
    // cancel() was called (for listeners that have no modem to stop).
    bool cancelled();

private:
    std::mutex m_mutex;
    std::vector<GsmModem*> m_modems;
    bool m_cancelled = false;
};

// After a run with delivery reports, the modem stays open and listens for the
// reports still to come, until every part has its outcome or cancel().
class ReportListener
{
public:
    virtual ~ReportListener() = default;
    // On a worker thread; returns when nothing is outstanding, the modem is gone, or on cancel.
    virtual void listen(ModemRunControl& control) = 0;
    virtual bool outstanding() const = 0;
};

// The send worker's device step for a GSM modem: opens the modem on the port,
// runs the send run through it and wraps up as the handset's step does. A
// failure that ends the run (the modem gone or silent, a SIM waiting for its
// PIN, a refused message) closes the progress dialog, forgets the modem choice
// and reports through modemLost.
//
// With delivery reports requested, each report updates the row and is written
// to the send journal; what is still outstanding when the run ends comes back
// as a listener that owns the open modem (nothing when nothing is outstanding).
std::shared_ptr<ReportListener> RunModemSendStep(int portNumber, SendRunHost& host, ModemLinkHost& modemHost,
                                                 StopGate& gate, SendClock& clock, ModemRunControl* control = nullptr);

// The modems of a run through several at once (a lane each) with the delivery
// reports each has had: each lane's tracker is fed on that lane's thread while
// it runs; afterwards, as a listener, it waits for the reports still to come on
// every modem. Owns the modems' channels and closes them.
class ModemLanes final : public ReportListener
{
public:
    struct Lane
    {
        ComPtr<ModemChannel> channel;
        DeliveryTracker tracker;
        std::atomic<int> row{-1}; // the row the lane is writing
    };

    explicit ModemLanes(ModemLinkHost& host) : m_host(host) {}
    ~ModemLanes() override;

    // Before the channel opens: with reports, each part asks for its report and each report finds its row.
    Lane& add(const ComPtr<ModemChannel>& channel, bool reports);
    // Drops the last lane added (its modem could not be readied).
    void dropLast() { m_lanes.pop_back(); }
    // The run's rows, before it starts.
    void setRows(const QList<RecipientRow>& rows) { m_rows = rows; }
    // On the lane's thread: it hands the row to its modem now; then the row was sent.
    void writing(int lane, int row);
    void rowSent(int row);

    void listen(ModemRunControl& control) override;
    bool outstanding() const override;
    void close();

private:
    ModemLinkHost& m_host;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    QList<RecipientRow> m_rows;
};
