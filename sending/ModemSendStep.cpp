#include "ModemSendStep.h"

#include "app/core/AppState.h"
#include "device/modem/ModemChannel.h"
#include "device/modem/ModemSelection.h"
#include "sending/DeliveryTracker.h"
#include "sending/SendJournal.h"

void ModemRunControl::attach(GsmModem* modem)
{
    std::lock_guard lock(m_mutex);
    if (!modem)
        return;
    m_modems.push_back(modem);
    if (m_cancelled)
        modem->cancel();
}

void ModemRunControl::detach()
{
    std::lock_guard lock(m_mutex);
    m_modems.clear();
}

void ModemRunControl::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    for (GsmModem* modem : m_modems)
        modem->cancel();
}

bool ModemRunControl::cancelled()
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

namespace {

constexpr int kLastReportsWaitMs = 300;

// A status report the tracker matched goes into the send journal and to the row.
void handReport(DeliveryTracker& tracker, const Pdu::StatusReport& report, ModemLinkHost& modemHost)
{
    const std::optional<DeliveryTracker::Update> update = tracker.reported(report);
    if (!update)
        return;
    SendJournal::Report line;
    line.entry = {update->row,
                  update->number,
                  update->fingerprint,
                  QDateTime::currentDateTime(),
                  {update->part.part, update->part.total, update->reference}};
    line.tpStatus = update->part.tpStatus;
    line.discharge = update->part.time;
    QString error;
    if (!SendJournal::defaultPath().isEmpty() && !SendJournal::appendReport(SendJournal::defaultPath(), line, &error))
        qWarning("Status report not journalled: %s", qPrintable(error));
    modemHost.deliveryReported(update->row, update->number, update->fingerprint, update->delivery);
}

// The send run's host for a run with delivery reports: knows which row the
// run is writing, so each part's message reference finds its row.
class ReportingHost final : public ForwardingHost<>
{
public:
    ReportingHost(SendRunHost& inner, ModemLinkHost& modemHost, DeliveryTracker& tracker)
        : ForwardingHost(inner), m_modemHost(modemHost), m_tracker(tracker)
    {
    }

    void partSubmitted(const QString& number, int part, int total, int reference)
    {
        if (m_row >= 0 && m_row < m_rows.size())
            m_tracker.submitted(m_row, number, messageFingerprint(m_rows.at(m_row).message), part, total, reference);
    }

    QList<RecipientRow> recipients() override { return m_rows = m_inner.recipients(); }
    void showRow(int row, int total, const QString& number) override
    {
        m_row = row;
        m_inner.showRow(row, total, number);
    }
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        m_inner.setRowStatus(rows, status);
        // A report that came before the run marked its row must not be covered by "Sent".
        for (int row : rows) {
            const Delivery delivery = m_tracker.deliveryOf(row);
            if (status == RowStatus::Sent && delivery.status != RowStatus::Sent && row < m_rows.size())
                m_modemHost.deliveryReported(row, m_rows.at(row).number.trimmed(),
                                             messageFingerprint(m_rows.at(row).message), delivery);
        }
    }

private:
    ModemLinkHost& m_modemHost;
    DeliveryTracker& m_tracker;
    QList<RecipientRow> m_rows;
    int m_row = -1;
};

class ModemReportListener final : public ReportListener
{
public:
    ModemReportListener(int portNumber, ModemLinkHost& modemHost)
        : channel(ComPtr<ModemChannel>::attach(new ModemChannel(portNumber))), m_modemHost(modemHost)
    {
        channel->modem().setReportSink([this](const Pdu::StatusReport& report) { reported(report); });
    }
    ~ModemReportListener() override { channel->Close(); }

    void listen(ModemRunControl& control) override
    {
        control.attach(&channel->modem());
        try {
            while (tracker.outstanding())
                channel->modem().pollReports(1000);
        } catch (const ModemError&) {
            // Gone or let go: what was reported so far stays in the journal.
        }
        control.detach();
        channel->Close();
    }
    bool outstanding() const override { return tracker.outstanding(); }

    const ComPtr<ModemChannel> channel;
    DeliveryTracker tracker;

private:
    void reported(const Pdu::StatusReport& report) { handReport(tracker, report, m_modemHost); }

    ModemLinkHost& m_modemHost;
};

} // namespace

std::shared_ptr<ReportListener> RunModemSendStep(int portNumber, SendRunHost& host, ModemLinkHost& modemHost,
                                                 StopGate& gate, SendClock& clock, ModemRunControl* control)
{
    g_nSendRequest = 0;
    auto listener = std::make_shared<ModemReportListener>(portNumber, modemHost);
    const ComPtr<ModemChannel>& channel = listener->channel;
    const bool reports = modemHost.deliveryReportsRequested();
    channel->modem().requestStatusReports(reports);
    ReportingHost reporting(host, modemHost, listener->tracker);
    channel->modem().setPartSubmitted([&reporting](const QString& number, int part, int total, int reference) {
        reporting.partSubmitted(number, part, total, reference);
    });
    SendRunHost& runHost = reports ? static_cast<SendRunHost&>(reporting) : host;
    if (control)
        control->attach(&channel->modem());
    struct Detach
    {
        ModemRunControl* control;
        GsmModem& modem;
        ~Detach()
        {
            modem.setPartSubmitted({});
            if (control)
                control->detach();
        }
    } detach{control, channel->modem()};

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
        return nullptr;
    }
    bool lost = false;
    try {
        SendRun(channel.get(), runHost, gate, clock);
    } catch (const ComError& e) {
        const QString reason = channel->lastError().isEmpty() ? e.message() : channel->lastError();
        const QString outcome =
            channel->lastOutcomeUnknown()
                ? QStringLiteral("\n\nSending has stopped; the messages before this one were sent. This one may have "
                                 "been sent: it is marked \"Uncertain\" and is not sent again unless you choose to.")
                : QStringLiteral("\n\nSending has stopped; the messages before this one were sent.");
        stopWith(reason + outcome, e.error() == E_ABORT);
        lost = true;
    }
    if (g_bStopRequested)
        host.closeProgressDialog();
    // The last message's reports may be on their way already.
    if (!lost && reports && listener->tracker.outstanding()) {
        try {
            channel->modem().pollReports(kLastReportsWaitMs);
        } catch (const ModemError&) {
            lost = true;
        }
    }
    if (lost || !reports || channel->modem().reportRoute() == GsmModem::ReportRoute::None ||
        !listener->tracker.outstanding()) {
        channel->Close();
        return nullptr;
    }
    return listener;
}

ModemLanes::~ModemLanes()
{
    close();
}

ModemLanes::Lane& ModemLanes::add(const ComPtr<ModemChannel>& channel, bool reports)
{
    m_lanes.push_back(std::make_unique<Lane>());
    Lane& lane = *m_lanes.back();
    lane.channel = channel;
    GsmModem& modem = channel->modem();
    modem.requestStatusReports(reports);
    if (!reports)
        return lane;
    modem.setPartSubmitted([this, &lane](const QString& number, int part, int total, int reference) {
        const int row = lane.row.load();
        if (row >= 0 && row < m_rows.size())
            lane.tracker.submitted(row, number, messageFingerprint(m_rows.at(row).message), part, total, reference);
    });
    modem.setReportSink([this, &lane](const Pdu::StatusReport& report) { handReport(lane.tracker, report, m_host); });
    return lane;
}

void ModemLanes::writing(int lane, int row)
{
    if (lane >= 0 && lane < int(m_lanes.size()))
        m_lanes.at(size_t(lane))->row = row;
}

void ModemLanes::rowSent(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        if (lane->row.load() != row)
            continue;
        // A report that came before the run marked its row must not be covered by "Sent".
        const Delivery delivery = lane->tracker.deliveryOf(row);
        if (delivery.status != RowStatus::Sent)
            m_host.deliveryReported(row, m_rows.at(row).number.trimmed(), messageFingerprint(m_rows.at(row).message),
                                    delivery);
    }
}

bool ModemLanes::outstanding() const
{
    for (const std::unique_ptr<Lane>& lane : m_lanes)
        if (lane->tracker.outstanding() && lane->channel->modem().reportRoute() != GsmModem::ReportRoute::None)
            return true;
    return false;
}

void ModemLanes::listen(ModemRunControl& control)
{
    for (const std::unique_ptr<Lane>& lane : m_lanes)
        control.attach(&lane->channel->modem());
    std::vector<bool> gone(m_lanes.size(), false);
    bool cancelled = false;
    for (bool waiting = true; waiting && !cancelled;) {
        waiting = false;
        for (size_t i = 0; i < m_lanes.size() && !cancelled; ++i) {
            Lane& lane = *m_lanes.at(i);
            if (gone.at(i) || !lane.tracker.outstanding() ||
                lane.channel->modem().reportRoute() == GsmModem::ReportRoute::None)
                continue;
            waiting = true;
            try {
                lane.channel->modem().pollReports(kLastReportsWaitMs);
            } catch (const ModemError& e) {
                // Gone, or let go of: what was reported so far stays in the journal.
                gone[i] = true;
                cancelled = e.kind() == ModemError::Kind::Cancelled;
            }
        }
    }
    control.detach();
    close();
}

void ModemLanes::close()
{
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        lane->channel->modem().setPartSubmitted({});
        lane->channel->Close();
    }
}
