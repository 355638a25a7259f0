#include "ParallelSendRun.h"

#include "app/core/AppState.h"
#include "app/core/NumberRules.h"
#include "device/link/MessagePacket.h"
#include "device/link/USBClient.h"
#include "sending/SendRunParts.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace SendRunParts;

RowQueue::RowQueue(const QList<RecipientRow>& rows, const SendOptions& options,
                   const std::function<bool(const QString& number)>& isExcluded)
{
    const int total = int(rows.size());
    // Where each number first occurs: a later row with the same number is a duplicate.
    QHash<QString, int> firstRow;
    if (options.skipDuplicates) {
        firstRow.reserve(total);
        for (int i = total - 1; i >= 0; --i)
            firstRow.insert(NumberIndex::key(rows.at(i).number), i);
    }
    for (int i = 0; i < total; ++i) {
        const RecipientRow& r = rows.at(i);
        if (isSentOrUncertain(r.keep))
            continue;
        if (r.message.isEmpty()) {
            m_decided.append({i, RowStatus::Blank});
            continue;
        }
        const QString number = r.number.trimmed();
        if (options.useExclusion && isExcluded && isExcluded(number)) {
            m_decided.append({i, RowStatus::Excluded});
            continue;
        }
        if (options.skipDuplicates) {
            const auto found = firstRow.constFind(NumberIndex::key(number));
            if (found != firstRow.cend() && found.value() != i) {
                m_decided.append({i, RowStatus::SkippedDuplicate});
                continue;
            }
        }
        m_toSend.append(i);
    }
}

std::optional<int> RowQueue::take()
{
    QMutexLocker lock(&m_mutex);
    if (m_closed || m_next >= m_toSend.size())
        return std::nullopt;
    return m_toSend.at(m_next++);
}

void RowQueue::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
}

bool RowQueue::isEmpty() const
{
    QMutexLocker lock(&m_mutex);
    return m_closed || m_next >= m_toSend.size();
}

QList<int> RowQueue::remaining() const
{
    QMutexLocker lock(&m_mutex);
    return m_toSend.mid(m_next);
}

namespace {

// The run's state the lanes share; each member guarded as its comment says.
class SharedRun
{
public:
    SharedRun(const QList<SendLane>& lanes, ParallelRunHost& host, StopGate& gate, SendClock& clock,
              const QList<RecipientRow>& rows, const SendOptions& options, SendJournal& journal,
              const EarlierRuns& earlier, RowQueue& queue)
        : m_lanes(lanes), m_host(host), m_gate(gate), m_clock(clock), m_rows(rows), m_options(options),
          m_journal(journal), m_earlier(earlier), m_queue(queue), m_records(journal.isOpen()),
          m_pause(ParsePauseSettings(g_strPauseEvery.get(), g_strPauseFor.get()))
    {
    }

    void runLane(int lane);
    bool stopping() const { return g_bStopRequested || m_quit.load(); }
    bool quit() const { return m_quit.load(); }
    QStringList lostLanes() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lost;
    }
    // Rows a lane took and never started: Stop came between.
    QList<int> abandoned() const
    {
        QMutexLocker lock(&m_mutex);
        return m_abandoned;
    }
    void laneLost(int lane, const QString& reason);

private:
    QString laneText(const QString& head, int sent) const { return QStringLiteral("%1 (%2 sent)").arg(head).arg(sent); }
    // The user chose to stop over a journal or record file that cannot be written.
    void quitRun()
    {
        m_quit = true;
        m_queue.close();
    }
    void abandon(int row)
    {
        QMutexLocker lock(&m_mutex);
        m_abandoned.append(row);
    }
    void pauseLane(int lane, int sent);

    const QList<SendLane>& m_lanes;
    ParallelRunHost& m_host;
    StopGate& m_gate;
    SendClock& m_clock;
    const QList<RecipientRow>& m_rows;
    const SendOptions m_options;
    SendJournal& m_journal; // serialises its own appends
    const EarlierRuns& m_earlier;
    RowQueue& m_queue;
    QMutex m_recordsMutex; // the records and their one question
    RunRecords m_records;
    const PauseSettings m_pause;
    std::atomic<bool> m_quit{false};
    mutable QMutex m_mutex; // m_lost, m_abandoned, m_shown
    QStringList m_lost;
    QList<int> m_abandoned;
    int m_shown = -1; // the furthest row the progress bar shows
};

void SharedRun::laneLost(int lane, const QString& reason)
{
    const QString text = m_lanes.at(lane).name + QStringLiteral(": ") + reason;
    {
        QMutexLocker lock(&m_mutex);
        m_lost.append(text);
    }
    m_host.laneLost(lane, text);
}

void SharedRun::pauseLane(int lane, int sent)
{
    const qint64 length = m_pause.lengthMs();
    if (length <= 0 || m_queue.isEmpty())
        return;
    // Each lane keeps its own pause on its own line; the others go on.
    for (qint64 left = length; left > 0 && !stopping(); left -= 1000) {
        m_host.showLane(lane, laneText(PauseText(left), sent));
        m_clock.sleepMs(int(std::min<qint64>(left, 1000)));
        m_gate.waitWhileHeld();
    }
}

void SharedRun::runLane(int lane)
{
    const SendLane& way = m_lanes.at(lane);
    const int total = int(m_rows.size());
    int sent = 0;
    int sentSincePause = 0;
    m_host.showLane(lane, laneText(QStringLiteral("Waiting"), 0));
    while (true) {
        m_gate.waitWhileHeld();
        if (stopping())
            break;
        const std::optional<int> next = m_queue.take();
        if (!next)
            break;
        const int row = *next;
        const QString number = m_rows.at(row).number.trimmed();
        const QString message = m_rows.at(row).message;
        {
            // Rows are taken in order; the bar never steps back for a lane that was a little slower.
            QMutexLocker lock(&m_mutex);
            if (row > m_shown) {
                m_shown = row;
                m_host.showRow(row, total, number);
            }
        }
        m_host.showLane(lane, laneText(QStringLiteral("Sending to ") + number, sent));

        m_gate.waitWhileHeld();
        if (stopping()) {
            abandon(row);
            break;
        }
        const QByteArray fingerprint = messageFingerprint(message);
        const SendJournal::Parts from = m_earlier.resumeFrom(m_rows.at(row), number, fingerprint);
        if (!m_journal.sending(row, number, fingerprint, way.name)) {
            QMutexLocker lock(&m_recordsMutex);
            if (!m_records.journalLost(m_host, m_journal)) {
                quitRun();
                abandon(row);
                break;
            }
        }
        PartTracker tracker(m_journal, row, number, fingerprint, way.name);
        tracker.parts = from;
        // The lane's channel failed on the row: the row is settled as the run with one device would, the lane is out.
        auto fail = [&](bool unknown, QString reason) {
            if (unknown)
                m_journal.uncertain(row, number, fingerprint, tracker.parts, way.name);
            else
                m_journal.failed(row, number, fingerprint, tracker.parts, way.name);
            m_host.setRowStatus({row}, unknown ? RowStatus::Uncertain : RowStatus::Failed);
            m_host.setRowLane(row, way.name);
            if (auto* modem = dynamic_cast<ModemChannel*>(way.channel); modem && !modem->lastError().isEmpty())
                reason = modem->lastError();
            laneLost(lane, reason);
        };
        QString sentText;
        m_host.laneWriting(lane, row);
        try {
            sentText = writeMessage(way.channel, message, number, from, tracker);
        } catch (const ComError& e) {
            // Handed over and never confirmed, it may have gone out: "Uncertain", never "Failed".
            fail(isOutcomeUnknown(e.error()) || e.error() == E_MODEM_OUTCOME_UNKNOWN, e.message());
            return;
        } catch (const std::exception& e) {
            fail(true, QString::fromUtf8(e.what()));
            return;
        } catch (...) {
            fail(true, QStringLiteral("unknown failure"));
            return;
        }
        const bool journalled = m_journal.sent(row, number, fingerprint, way.name) && !tracker.journalFailed;
        m_host.setRowStatus({row}, RowStatus::Sent);
        m_host.setRowLane(row, way.name);
        ++sent;
        ++sentSincePause;
        {
            QMutexLocker lock(&m_recordsMutex);
            if ((!journalled && !m_records.journalLost(m_host, m_journal)) ||
                !m_records.save(m_host, m_options, m_rows.at(row).number, sentText)) {
                quitRun();
                break;
            }
        }
        m_host.showLane(lane, laneText(QStringLiteral("Sent to ") + number, sent));
        if (stopping())
            break;
        m_clock.sleepMs(way.pacingMs);
        if (m_options.delayedDelivery && sentSincePause == m_pause.every) {
            sentSincePause = 0;
            pauseLane(lane, sent);
        }
    }
    m_host.showLane(lane, laneText(stopping() ? QStringLiteral("Stopped") : QStringLiteral("Done"), sent));
}

} // namespace

ParallelRunResult ParallelSendRun(const QList<SendLane>& lanes, ParallelRunHost& host, StopGate& gate, SendClock& clock)
{
    ParallelRunResult result;
    g_nSendRequest = 0;
    const QList<RecipientRow> rows = host.recipients();
    const int total = int(rows.size());
    if (total == 0 || lanes.isEmpty())
        return result;

    SendJournal journal;
    journal.setNamesLanes(true);
    const EarlierRuns earlier = earlierRuns(rows, SendJournal::defaultPath());
    if (!beginJournal(journal, total, earlier, host))
        return result;

    host.setMainWindowEnabled(false);
    if (host.hasDeviceInitDialog()) {
        clock.sleepMs(3000);
        host.hideDeviceInitDialog();
    }
    host.showProgressDialog();
    host.setupProgress(total, rows.first().number);
    QStringList names;
    for (const SendLane& lane : lanes)
        names << lane.name;
    host.setupLanes(names);

    // What each row is, decided once for every lane.
    const SendOptions options = host.options();
    RowQueue queue(rows, options, [&host](const QString& number) { return host.isExcluded(number); });
    QMap<RowStatus, QList<int>> decided;
    for (const auto& [row, status] : queue.decided())
        decided[status].append(row);
    for (auto it = decided.cbegin(); it != decided.cend(); ++it)
        host.setRowStatus(it.value(), it.key());

    SharedRun run(lanes, host, gate, clock, rows, options, journal, earlier, queue);
    gate.waitWhileHeld();
    if (!g_bStopRequested) {
        // A channel hears the start of a run once, however many lanes share it.
        QSet<IChannel*> started;
        QList<int> ready;
        for (int i = 0; i < lanes.size(); ++i) {
            IChannel* channel = lanes.at(i).channel;
            if (!channel) {
                run.laneLost(i, QStringLiteral("no channel"));
                continue;
            }
            if (!started.contains(channel)) {
                try {
                    USBClient::WritePacket(Packets::startPacket(), channel);
                } catch (const ComError& e) {
                    run.laneLost(i, e.message());
                    continue;
                }
                started.insert(channel);
            }
            ready.append(i);
        }
        std::vector<std::thread> workers;
        workers.reserve(size_t(ready.size()));
        for (int i : ready)
            workers.emplace_back([&run, i] { run.runLane(i); });
        for (std::thread& worker : workers)
            worker.join();
    }

    result.lostLanes = run.lostLanes();
    const bool allLost = result.lostLanes.size() == lanes.size();
    const bool stopped = g_bStopRequested || run.quit();
    QList<int> unsent = queue.remaining() + run.abandoned();
    std::sort(unsent.begin(), unsent.end());
    if (!unsent.isEmpty())
        host.setRowStatus(unsent, RowStatus::NotSentStopped);
    result.completed = unsent.isEmpty() && !stopped && !allLost;
    // A lost lane leaves an outcome the next run must know of: the run did not complete its list.
    journal.end(!result.lostLanes.isEmpty() ? SendJournal::End::Failed
                : stopped                   ? SendJournal::End::Stopped
                                            : SendJournal::End::Completed);
    host.closeProgressDialog();
    if (result.completed && result.lostLanes.isEmpty())
        host.showSuccess();
    else
        host.showStatusColumn();
    host.setMainWindowEnabled(true);
    return result;
}
