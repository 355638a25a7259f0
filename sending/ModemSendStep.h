#pragma once

#include "SendRun.h"

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
