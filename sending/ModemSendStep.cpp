#include "ModemSendStep.h"

#include "app/core/AppState.h"
#include "device/modem/ModemChannel.h"
#include "device/modem/ModemSelection.h"

void ModemRunControl::attach(GsmModem* modem)
{
    std::lock_guard lock(m_mutex);
    m_modem = modem;
    if (m_cancelled && m_modem)
        m_modem->cancel();
}

void ModemRunControl::detach()
{
    std::lock_guard lock(m_mutex);
    m_modem = nullptr;
}

void ModemRunControl::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    if (m_modem)
        m_modem->cancel();
}

void RunModemSendStep(int portNumber, SendRunHost& host, ModemLinkHost& modemHost, StopGate& gate, SendClock& clock,
                      ModemRunControl* control)
{
    g_nSendRequest = 0;
    const auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(portNumber));
    if (control)
        control->attach(&channel->modem());
    struct Detach
    {
        ModemRunControl* control;
        ~Detach()
        {
            if (control)
                control->detach();
        }
    } detach{control};

    auto stopWith = [&](const QString& text, bool cancelled) {
        host.hideDeviceInitDialog();
        host.closeProgressDialog();
        if (!cancelled) {
            g_bDeviceSelected = false;
            ModemSelection::clear();
            modemHost.modemLost(text);
        }
        host.setMainWindowEnabled(true);
    };

    try {
        channel->open();
    } catch (const ModemError& e) {
        stopWith(e.text(), e.kind() == ModemError::Kind::Cancelled);
        return;
    }
    try {
        SendRun(channel.get(), host, gate, clock);
    } catch (const ComError& e) {
        const QString reason = channel->lastError().isEmpty() ? e.message() : channel->lastError();
        const QString outcome =
            channel->lastOutcomeUnknown()
                ? QStringLiteral("\n\nSending has stopped; the messages before this one were sent. This one may have "
                                 "been sent: it is marked \"Uncertain\" and is not sent again unless you choose to.")
                : QStringLiteral("\n\nSending has stopped; the messages before this one were sent.");
        stopWith(reason + outcome, e.error() == E_ABORT);
    }
    channel->Close();
    if (g_bStopRequested)
        host.closeProgressDialog();
}
