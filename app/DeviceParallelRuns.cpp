// The runs through several GSM modems at once and through an SMS gateway, and the lanes they show.
#include "DeviceController.h"

#include "CCorvaneDlg.h"
#include "DeviceControllerParts.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "device/gateway/GatewaySettings.h"
#include "device/modem/ModemChannel.h"
#include "device/modem/ModemSelection.h"
#include "sending/GatewaySendStep.h"
#include "sending/ParallelSendRun.h"

#include <vector>

using namespace DeviceControllerParts;

namespace {

// The main window's answers for a run through several modems; the lane lines go to the progress window.
class ParallelModemHost final : public ForwardingHost<ParallelRunHost>
{
public:
    // With modems left out, the success message waits for the one notice that names them.
    ParallelModemHost(DeviceController& c, ModemLanes& modems, bool modemsLeftOut)
        : ForwardingHost(c), m_c(c), m_modems(modems), m_leftOut(modemsLeftOut)
    {
    }
    bool succeeded = false;

    QList<RecipientRow> recipients() override
    {
        const QList<RecipientRow> rows = m_c.recipients();
        m_modems.setRows(rows);
        return rows;
    }
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        m_c.setRowStatus(rows, status);
        if (status == RowStatus::Sent)
            for (int row : rows)
                m_modems.rowSent(row);
    }
    void showSuccess() override
    {
        succeeded = true;
        if (!m_leftOut)
            m_c.showSuccess();
    }
    void setupLanes(const QStringList& names) override { m_c.setupLanes(names); }
    void showLane(int lane, const QString& text) override { m_c.showLane(lane, text); }
    void laneLost(int lane, const QString& text) override { m_c.laneLost(lane, text); }
    void setRowLane(int row, const QString& lane) override { m_c.setRowLane(row, lane); }
    void laneWriting(int lane, int row) override { m_modems.writing(lane, row); }

private:
    DeviceController& m_c;
    ModemLanes& m_modems;
    bool m_leftOut;
};

QString portName(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

} // namespace

// --- Run through an SMS gateway --------------------------------------------------

void DeviceController::startGatewaySendWorker(const GatewaySettings& settings)
{
    runOnSendThread([this, settings] {
        QString failure;
        m_finishedRunListener = RunGatewaySendStep(settings, *this, *this, m_gate, *m_clock, &failure);
        if (!failure.isEmpty())
            onGui([this, failure] { gatewayLost(failure); });
    });
}

void DeviceController::gatewayLost(const QString& text)
{
    // The gateway stays the chosen device: it may answer again once it is back.
    hideDeviceInitDialog();
    closeProgressDialog();
    setMainWindowEnabled(true);
    Ui::notice(m_main, text + QStringLiteral("\n\nA message the gateway may have taken is marked \"Uncertain\" and is "
                                             "not sent again unless you choose to."));
}

// --- Run through several modems --------------------------------------------------

void DeviceController::startParallelSendWorker(const QList<SelectedModem>& modems)
{
    m_modemRun = std::make_shared<ModemRunControl>();
    runOnSendThread([this, modems, control = m_modemRun] { runParallelModems(modems, *control); });
}

QString DeviceController::lostModemsNotice(const QStringList& unopened, const QStringList& lost)
{
    QString text;
    if (!unopened.isEmpty())
        text += QStringLiteral("These GSM modems could not be readied and were left out of the run:\n") +
                unopened.join(QLatin1Char('\n')) + QStringLiteral("\n\n");
    if (!lost.isEmpty())
        text += QStringLiteral("These GSM modems failed during the run and were taken out of it; the others went "
                               "on:\n") +
                lost.join(QLatin1Char('\n')) +
                QStringLiteral("\n\nThe message each of them was sending is marked \"Uncertain\" when it may have "
                               "gone out, \"Failed\" when it was refused.\n\n");
    return text + QStringLiteral("The status column shows what became of each message.");
}

void DeviceController::runParallelModems(const QList<SelectedModem>& modems, ModemRunControl& control)
{
    g_nSendRequest = 0;
    const bool reports = deliveryReportsRequested();
    // Owns the modems; with reports still to come after the run, it listens for them.
    auto channels = std::make_shared<ModemLanes>(*this);
    QList<SendLane> lanes;
    QStringList unopened;
    QList<int> failedPorts;
    std::vector<ComPtr<ModemChannel>> unready; // kept until the control lets go of their modems
    bool cancelled = false;
    for (const SelectedModem& modem : modems) {
        auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(modem.port));
        channels->add(channel, reports);
        control.attach(&channel->modem());
        try {
            channel->open();
        } catch (const ModemError& e) {
            cancelled = cancelled || e.kind() == ModemError::Kind::Cancelled;
            unopened << portName(modem.port) + QStringLiteral(": ") + e.text();
            failedPorts << modem.port;
            channels->dropLast();
            unready.push_back(channel);
            continue;
        }
        lanes.append({portName(modem.port), channel.get(), SendLane().pacingMs});
    }
    ParallelRunResult result;
    bool succeeded = false;
    if (!lanes.isEmpty() && !cancelled) {
        ParallelModemHost host(*this, *channels, !unopened.isEmpty());
        result = ParallelSendRun(lanes, host, m_gate, *m_clock);
        succeeded = host.succeeded;
    } else {
        hideDeviceInitDialog();
        closeProgressDialog();
        setMainWindowEnabled(true);
    }
    control.detach();
    for (const ComPtr<ModemChannel>& channel : unready)
        channel->Close();
    if (reports && !cancelled && channels->outstanding())
        m_finishedRunListener = channels;
    else
        channels->close();
    for (const QString& lost : result.lostLanes)
        for (const SelectedModem& modem : modems)
            if (lost.startsWith(portName(modem.port) + QStringLiteral(": ")))
                failedPorts << modem.port;
    if (g_bStopRequested)
        closeProgressDialog();
    if ((unopened.isEmpty() && result.lostLanes.isEmpty()) || cancelled)
        return;
    onGui([this, unopened, lost = result.lostLanes, failedPorts, succeeded] {
        if (m_closing)
            return;
        forgetModems(failedPorts);
        m_lastRunCompleted = m_lastRunCompleted || succeeded;
        const QString head = succeeded ? QStringLiteral("Message sent successfully.\n\n") : QString();
        Ui::notice(m_main, head + lostModemsNotice(unopened, lost));
    });
}

void DeviceController::forgetModems(const QList<int>& ports)
{
    QList<SelectedModem> left;
    for (const SelectedModem& modem : ModemSelection::all())
        if (!ports.contains(modem.port))
            left.append(modem);
    if (left.isEmpty()) {
        g_bDeviceSelected = false;
        ModemSelection::clear();
        m_main->setDeviceLine(kNoDevice);
    } else {
        ModemSelection::selectAll(left);
        g_strDeviceName.set(ModemSelection::deviceLine(left));
        m_main->setDeviceLine(g_strDeviceName.get());
    }
    showModemOptions();
}

// --- Lanes of a run through several modems ------------------------------------------------

void DeviceController::setupLanes(const QStringList& names)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setupLanes(names);
    });
}

void DeviceController::showLane(int lane, const QString& text)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setLaneText(lane, text);
    });
}

void DeviceController::laneLost(int lane, const QString& text)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setLaneText(lane,
                                    QStringLiteral("Taken out of the run: ") + text.section(QStringLiteral(": "), 1));
    });
}

void DeviceController::setRowLane(int row, const QString& lane)
{
    onGui([=, this] { m_main->recipients()->setStatusLane(row, lane); });
}
