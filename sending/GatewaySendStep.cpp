#include "GatewaySendStep.h"

#include "app/core/AppState.h"
#include "device/gateway/DeliveryListener.h"
#include "device/gateway/GatewayChannel.h"
#include "sending/SendJournal.h"

#include <QHash>
#include <QThread>

namespace {

// The lane threads tell which row they are on before they write, and the
// channel tells which message id it gave the write: together they find the
// row a report is about.
thread_local int t_row = -1;
thread_local quint64 t_lastId = 0;

// Takes the gateway's reports for one run, journals them and hands them to
// the window; outlives the run while reports are outstanding.
class GatewayReports final : public ReportListener
{
public:
    explicit GatewayReports(ModemLinkHost& linkHost)
        : listener([this](const DeliveryListener::Update& u) { reported(u); }), m_linkHost(linkHost)
    {
    }

    void listen(ModemRunControl& control) override
    {
        while (listener.outstanding() && !control.cancelled())
            QThread::msleep(200);
    }
    bool outstanding() const override { return listener.outstanding(); }

    // What the reports said of the row so far (Sent while none came).
    Delivery deliveryOf(int row) const
    {
        QMutexLocker lock(&m_mutex);
        return m_rows.value(row);
    }

    DeliveryListener listener;

private:
    void reported(const DeliveryListener::Update& u)
    {
        if (u.delivery.status == RowStatus::Sent)
            return;
        {
            QMutexLocker lock(&m_mutex);
            if (u.row >= 0)
                m_rows.insert(u.row, u.delivery);
        }
        SendJournal::Report line;
        line.entry = {u.row, u.number, u.fingerprint, QDateTime::currentDateTime(), {1, 1, 0}};
        line.tpStatus = u.tpStatus;
        line.discharge = u.time;
        QString error;
        if (!SendJournal::defaultPath().isEmpty() &&
            !SendJournal::appendReport(SendJournal::defaultPath(), line, &error))
            qWarning("Delivery report not journalled: %s", qPrintable(error));
        m_linkHost.deliveryReported(u.row, u.number, u.fingerprint, u.delivery);
    }

    ModemLinkHost& m_linkHost;
    mutable QMutex m_mutex;
    QHash<int, Delivery> m_rows;
};

// The run's host: the window's own when it knows about lanes, else the lanes
// go unshown and the run reports as a single one would. Notes the row each
// lane thread is on.
class GatewayLaneHost final : public ForwardingHost<ParallelRunHost>
{
public:
    GatewayLaneHost(SendRunHost& inner, ModemLinkHost& linkHost, GatewayReports* reports)
        : ForwardingHost(inner), m_lanes(dynamic_cast<ParallelRunHost*>(&inner)), m_linkHost(linkHost), m_reports(reports)
    {
    }

    // ParallelRunHost
    void setupLanes(const QStringList& names) override
    {
        if (m_lanes)
            m_lanes->setupLanes(names);
    }
    void showLane(int lane, const QString& text) override
    {
        if (m_lanes)
            m_lanes->showLane(lane, text);
    }
    void laneLost(int lane, const QString& text) override
    {
        if (m_lanes)
            m_lanes->laneLost(lane, text);
        else
            qWarning("Gateway lane %d lost: %s", lane + 1, qPrintable(text));
    }
    void setRowLane(int row, const QString& lane) override
    {
        t_row = row;
        if (m_lanes)
            m_lanes->setRowLane(row, lane);
    }

    // SendRunHost
    QList<RecipientRow> recipients() override
    {
        QList<RecipientRow> rows = m_inner.recipients();
        QMutexLocker lock(&m_mutex);
        m_rows = rows;
        return rows;
    }
    void showRow(int row, int total, const QString& number) override
    {
        t_row = row;
        m_inner.showRow(row, total, number);
    }
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        // The lane that wrote the message now names its row: its report goes there.
        if (m_reports && rows.size() == 1 && t_lastId != 0 &&
            (status == RowStatus::Sent || status == RowStatus::Uncertain)) {
            m_reports->listener.setRow(t_lastId, rows.first());
            t_lastId = 0;
        }
        m_inner.setRowStatus(rows, status);
        if (!m_reports || status != RowStatus::Sent)
            return;
        // A report that beat the "Sent" mark must not be covered by it.
        QMutexLocker lock(&m_mutex);
        for (int row : rows) {
            const Delivery delivery = m_reports->deliveryOf(row);
            if (delivery.status != RowStatus::Sent && row >= 0 && row < m_rows.size())
                m_linkHost.deliveryReported(row, m_rows.at(row).number.trimmed(),
                                            messageFingerprint(m_rows.at(row).message), delivery);
        }
    }

private:
    ParallelRunHost* m_lanes;
    ModemLinkHost& m_linkHost;
    GatewayReports* m_reports;
    QMutex m_mutex;
    QList<RecipientRow> m_rows;
};

} // namespace

QList<SendLane> GatewayLanes(IChannel* channel, int count)
{
    QList<SendLane> lanes;
    for (int i = 0; i < count; ++i)
        lanes.append({count == 1 ? QStringLiteral("gateway") : QStringLiteral("gateway %1").arg(i + 1), channel, 0});
    return lanes;
}

std::shared_ptr<ReportListener> RunGatewaySendStep(const GatewaySettings& settings, SendRunHost& host,
                                                   ModemLinkHost& linkHost, StopGate& gate, SendClock& clock,
                                                   QString* failure)
{
    g_nSendRequest = 0;
    std::shared_ptr<GatewayReports> reports;
    if (linkHost.deliveryReportsRequested()) {
        reports = std::make_shared<GatewayReports>(linkHost);
        QString error;
        if (!reports->listener.start(&error)) {
            qWarning("Sending without delivery reports: %s", qPrintable(error));
            reports.reset();
        }
    }
    const ComPtr<GatewayChannel> channel = ComPtr<GatewayChannel>::attach(new GatewayChannel(settings));
    if (reports) {
        channel->requestDeliveryReports(reports->listener.urlPrefix());
        GatewayReports* r = reports.get();
        channel->setSubmitted([r](quint64 id, const QString& number, const QString& text) {
            t_lastId = id;
            r->listener.expect(id, t_row, number, messageFingerprint(text));
        });
        channel->setWithdrawn([r](quint64 id) {
            t_lastId = 0;
            r->listener.withdraw(id);
        });
    }

    GatewayLaneHost laneHost(host, linkHost, reports.get());
    const ParallelRunResult result =
        ParallelSendRun(GatewayLanes(channel.get(), std::max(1, settings.inFlight)), laneHost, gate, clock);
    channel->Close();
    // A window that shows lanes was told of each lost one; otherwise the first loss is the reason to give.
    const bool shownAlready = dynamic_cast<ParallelRunHost*>(&host) != nullptr;
    if (!result.lostLanes.isEmpty() && failure && (!result.completed || !shownAlready))
        *failure = channel->hidePassword(result.lostLanes.first());
    if (g_bStopRequested)
        host.closeProgressDialog();
    if (!reports || !reports->outstanding())
        return nullptr;
    return reports;
}
