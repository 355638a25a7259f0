#include "SendRun.h"

#include "app/core/AppState.h"
#include "app/core/NumberRules.h"
#include "device/link/MessagePacket.h"
#include "device/link/USBClient.h"
#include "device/modem/ModemChannel.h"
#include "platform/TextCodec.h"
#include "sending/SendJournal.h"
#include "sending/SendRunParts.h"
#include "store/DataFiles.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <optional>

using namespace SendRunParts;

namespace {

class RealClock : public SendClock
{
public:
    void sleepMs(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
};

} // namespace

QString JournalUnwritableQuestion(const QString& reason)
{
    return QStringLiteral("The send journal cannot be written: %1.\n\nWithout it, a crash or a power cut during the "
                          "run would leave no record of which messages went out, and they could be sent twice. "
                          "Send anyway?")
        .arg(reason);
}

QString RecordUnwritableQuestion(const QString& fileName, const QString& reason)
{
    return QStringLiteral("A sent message could not be saved in %1: %2.\n\nThe message itself was sent, and the "
                          "records saved before it are unchanged. Go on sending without saving the rest?")
        .arg(fileName, reason);
}

SendClock& SendClock::real()
{
    static RealClock clock;
    return clock;
}

void StopGate::hold()
{
    QMutexLocker lock(&m_mutex);
    m_held = true;
}

void StopGate::release()
{
    QMutexLocker lock(&m_mutex);
    m_held = false;
    m_released.wakeAll();
}

bool StopGate::isHeld() const
{
    QMutexLocker lock(&m_mutex);
    return m_held;
}

void StopGate::waitWhileHeld()
{
    QMutexLocker lock(&m_mutex);
    while (m_held)
        m_released.wait(&m_mutex);
}

int ParsePauseEvery(const QString& text)
{
    // Text to integer as the C library reads it: blanks, a sign, then digits.
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        negative = t[i++] == QLatin1Char('-');
    qint64 value = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 0x80; ++i) {
        value = value * 10 + (t[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return int(negative ? -value : value);
}

PauseSettings ParsePauseSettings(const QString& pauseEvery, const QString& pauseFor)
{
    PauseSettings s;
    s.every = ParsePauseEvery(pauseEvery);
    const QString text = pauseFor.trimmed();
    const QString head = text.left(2);
    s.value = (head.isEmpty() || head == QLatin1String("No")) ? 0 : ParsePauseEvery(head);
    s.unit = text.size() > 3 ? text.at(3) : QChar();
    return s;
}

qint64 PauseSettings::lengthMs() const
{
    if (unit == QLatin1Char('S'))
        return qint64(value) * 1000;
    if (unit == QLatin1Char('M'))
        return qint64(value) * 60000;
    // " 1  Hour" pauses for one hour, as its countdown shows.
    if (unit == QLatin1Char('H'))
        return qint64(value) * 3600000;
    return 0;
}

QString PauseText(qint64 remainingMs)
{
    const qint64 s = remainingMs / 1000;
    const qint64 h = s / 3600;
    const qint64 m = (s - h * 3600) / 60;
    const qint64 sec = (s - h * 3600) % 60;
    QString text = QStringLiteral("Pausing the process for ");
    if (h > 0)
        text += QStringLiteral("%1 Hour %2 Minute %3 Second.").arg(h).arg(m).arg(sec);
    else if (m > 0)
        text += QStringLiteral("%1 Minute %2 Second.").arg(m).arg(sec);
    else
        text += QStringLiteral("%1 Second.").arg(sec);
    return text;
}

bool SendRun(IChannel* channel, SendRunHost& host, StopGate& gate, SendClock& clock)
{
    g_nSendRequest = 0;
    const QList<RecipientRow> rows = host.recipients();
    const int total = int(rows.size());
    if (total == 0)
        return false;

    SendJournal journal;
    const EarlierRuns earlier = earlierRuns(rows, SendJournal::defaultPath());
    if (!beginJournal(journal, total, earlier, host))
        return false;
    // The journal or a record file failed during the run: asked once, then the run goes on without them.
    RunRecords records(journal.isOpen());

    // Rows from `next` on were not reached; those an earlier run sent keep their status.
    auto markUnreached = [&](int next) {
        QList<int> unreached;
        for (int i = next; i < total; ++i)
            if (!isSentOrUncertain(rows.at(i).keep))
                unreached.append(i);
        if (!unreached.isEmpty())
            host.setRowStatus(unreached, RowStatus::NotSentStopped);
        host.showStatusColumn();
    };
    auto stop = [&](int next) {
        markUnreached(next);
        journal.end(SendJournal::End::Stopped);
        g_bStartPacketSent = false;
        host.closeProgressDialog();
        host.setMainWindowEnabled(true);
        return false;
    };
    auto journalLost = [&]() { return records.journalLost(host, journal); };

    host.setMainWindowEnabled(false);
    if (host.hasDeviceInitDialog()) {
        clock.sleepMs(3000);
        host.hideDeviceInitDialog();
    }
    host.showProgressDialog();
    host.setupProgress(total, rows.first().number);

    gate.waitWhileHeld();
    if (g_bStopRequested)
        return stop(0);
    int current = 0;  // the row being worked on
    int writing = -1; // the row whose message is being written
    std::optional<PartTracker> tracker;
    QByteArray fingerprint;
    QString number;
    // Refused (the row's message, or the start packet before any row): the device's handling takes over.
    auto settleFailure = [&](bool unknown) {
        if (writing >= 0) {
            if (unknown)
                journal.uncertain(writing, number, fingerprint, tracker->parts);
            else
                journal.failed(writing, number, fingerprint, tracker->parts);
            host.setRowStatus({writing}, unknown ? RowStatus::Uncertain : RowStatus::Failed);
        }
        markUnreached(writing >= 0 ? writing + 1 : current);
        journal.end(SendJournal::End::Failed);
    };
    try {
        if (!g_bStartPacketSent) {
            USBClient::WritePacket(Packets::startPacket(), channel);
            g_bStartPacketSent = true;
        }

        const PauseSettings pause = ParsePauseSettings(g_strPauseEvery.get(), g_strPauseFor.get());
        // Where each number first occurs: a later row with the same number is a duplicate.
        QHash<QString, int> firstRow;
        firstRow.reserve(total);
        for (int i = total - 1; i >= 0; --i)
            firstRow.insert(NumberIndex::key(rows.at(i).number), i);

        int sentSincePause = 0;
        for (int i = 0; i < total; ++i) {
            current = i;
            gate.waitWhileHeld();
            if (g_bStopRequested)
                return stop(i);
            number = rows.at(i).number.trimmed();
            host.showRow(i, total, number);
            if (isSentOrUncertain(rows.at(i).keep))
                continue;

            const QString message = rows.at(i).message;
            if (message.isEmpty()) {
                host.setRowStatus({i}, RowStatus::Blank);
                continue;
            }

            const SendOptions options = host.options();
            bool excluded = false;
            bool skipped = false;
            if (options.useExclusion && host.isExcluded(number)) {
                excluded = true;
            } else if (options.skipDuplicates) {
                const auto found = firstRow.constFind(NumberIndex::key(number));
                skipped = found != firstRow.cend() && found.value() != i;
            }
            if (excluded || skipped) {
                host.setRowStatus({i}, excluded ? RowStatus::Excluded : RowStatus::SkippedDuplicate);
                host.setStatusLine(QStringLiteral("Currently sending to : ") + number +
                                   (excluded ? QStringLiteral(" is Excluded.") : QStringLiteral(" is Skipped.")));
                clock.sleepMs(kPacingMs);
                continue;
            }

            gate.waitWhileHeld();
            if (g_bStopRequested)
                return stop(i);
            fingerprint = messageFingerprint(message);
            const SendJournal::Parts from = earlier.resumeFrom(rows.at(i), number, fingerprint);
            if (!journal.sending(i, number, fingerprint) && !journalLost())
                return stop(i);
            tracker.emplace(journal, i, number, fingerprint);
            tracker->parts = from;
            writing = i;
            const QString sentText = writeMessage(channel, message, number, from, *tracker);
            writing = -1;
            if ((!journal.sent(i, number, fingerprint) || tracker->journalFailed) && !journalLost()) {
                host.setRowStatus({i}, RowStatus::Sent);
                return stop(i + 1);
            }
            host.setRowStatus({i}, RowStatus::Sent);
            ++sentSincePause;

            if (!records.save(host, options, rows.at(i).number, sentText))
                return stop(i + 1);

            if (g_bStopRequested)
                return stop(i + 1);
            clock.sleepMs(kPacingMs);

            if (options.delayedDelivery && sentSincePause == pause.every) {
                sentSincePause = 0;
                const qint64 length = pause.lengthMs();
                if (i + 1 != total && length > 0) {
                    host.beginPause(int(std::min<qint64>(length, std::numeric_limits<int>::max())));
                    qint64 left = length - 1000;
                    while (left > 0 && !g_bStopRequested && g_nPauseRemainingMs != 0) {
                        clock.sleepMs(1000);
                        left -= 1000;
                        gate.waitWhileHeld();
                    }
                    if (!g_bStopRequested)
                        clock.sleepMs(1000);
                    host.endPause();
                }
            }
        }
    } catch (const ComError& e) {
        // A message left the PC and no confirmation came: it may have gone out, so it is never "Failed".
        settleFailure(isOutcomeUnknown(e.error()) || e.error() == E_MODEM_OUTCOME_UNKNOWN);
        throw;
    } catch (...) {
        settleFailure(true);
        throw;
    }

    journal.end(g_bStopRequested ? SendJournal::End::Stopped : SendJournal::End::Completed);
    host.closeProgressDialog();
    if (!g_bStopRequested)
        host.showSuccess();
    else
        host.showStatusColumn();
    host.setMainWindowEnabled(true);
    return true;
}

void RunSendWorkerDeviceStep(DeviceLinkHost& device, SendRunHost& host, StopGate& gate, SendClock& clock,
                             bool allowRepeat)
{
    USBClientHolder client(device);
    client->setSendRun([&](USBClient& c) { SendRun(c.channel(), host, gate, clock); });
    if (allowRepeat)
        client->setRepeatDeviceStep([&] { RunSendWorkerDeviceStep(device, host, gate, clock, false); });
    client->RunDeviceLink();
    const bool found = client->foundHandset();
    if (!found && !g_bDeviceSeen)
        host.restoreAfterNoHandset();
    if ((found || !g_bDeviceSeen) && g_bStopRequested)
        host.closeProgressDialog();
}
