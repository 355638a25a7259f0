#pragma once

#include "SendRun.h"

#include <mutex>

class GsmModem;

// What a run through a GSM modem asks of the main window beyond the send run.
class ModemLinkHost
{
public:
    virtual ~ModemLinkHost() = default;
    // The modem's run stopped on a failure: the device line says that no device
    // is selected and the text is shown; returns when the user has read it.
    virtual void modemLost(const QString& text) = 0;
};

// Lets the GUI thread end the modem's waits at once, when the program closes.
class ModemRunControl
{
public:
    void attach(GsmModem* modem);
    void detach();
    void cancel();

private:
    std::mutex m_mutex;
    GsmModem* m_modem = nullptr;
    bool m_cancelled = false;
};

// The send worker's device step for a GSM modem: opens the modem on the port,
// runs the send run through it and wraps up as the handset's step does. A
// failure that ends the run (the modem gone or silent, a SIM waiting for its
// PIN, a refused message) closes the progress dialog, forgets the modem choice
// and reports through modemLost.
void RunModemSendStep(int portNumber, SendRunHost& host, ModemLinkHost& modemHost, StopGate& gate, SendClock& clock,
                      ModemRunControl* control = nullptr);
