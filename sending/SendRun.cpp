#include "SendRun.h"

#include "app/core/AppState.h"
#include "app/core/NumberRules.h"
#include "device/link/MessagePacket.h"
#include "device/link/USBClient.h"
#include "device/modem/ModemChannel.h"
#include "platform/TextCodec.h"
#include "sending/SendJournal.h"
#include "store/DataFiles.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <optional>

namespace {

class RealClock : public SendClock
{
public:
    void sleepMs(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
};

constexpr int kPacingMs = 1000;

// Follows the parts of a long message as a modem accepts them, into the journal.
class PartTracker final : public PartListener
{
public:
    PartTracker(SendJournal& journal, int row, const QString& number, const QByteArray& fingerprint)
        : m_journal(journal), m_row(row), m_number(number), m_fingerprint(fingerprint)
    {
    }
    void partAccepted(int part, int total, int reference) override
    {
        parts = {part, total, reference};
        if (total > 1 && !m_journal.part(m_row, m_number, m_fingerprint, parts))
            journalFailed = true;
    }
    SendJournal::Parts parts;
    bool journalFailed = false;

private:
    SendJournal& m_journal;
    int m_row;
    QString m_number;
    QByteArray m_fingerprint;
};

// A channel that takes the message as typed (a GSM modem) gets it in Unicode,
// from the part after those an earlier run had accepted; the handset gets its
// narrow message packet. Returns the text as it went out, for the records.
QString writeMessage(IChannel* channel, const QString& message, const QString& number, const SendJournal::Parts& from,
                     PartTracker& tracker)
{
    ComPtr<ITextMessageChannel> text;
    if (channel && SUCCEEDED(channel->QueryInterface(IID_ITextMessageChannel, text.putVoid())) && text) {
        const bool resume = from.isPartial();
        checkHr(
            text->WriteTextMessage(message, number, resume ? from.accepted : 0, resume ? from.reference : -1, &tracker),
            IID_ITextMessageChannel);
        return message;
    }
    USBClient::WritePacket(Packets::MessagePacket(message, number), channel);
    return TextCodec::throughAnsi(message);
}

// What the journal of earlier runs hands on to this one: the outcomes to carry
// and the long messages that were cut short, by sendKey.
struct EarlierRuns
{
    QList<SendJournal::Outcome> carry;
    QHash<QString, SendJournal::Parts> partial;
};

EarlierRuns earlierRuns(const QList<RecipientRow>& rows, const QString& journalPath)
{
    EarlierRuns out;
    QHash<QString, RowStatus> kept;    // rows of this list an earlier run took care of
    QSet<QString> again;               // rows the user sends again whatever was known
    QHash<QString, QByteArray> prints; // one fingerprint per message text
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < rows.size(); ++i) {
        const RecipientRow& r = rows.at(i);
        if (!isSentOrUncertain(r.keep) && !r.sendAgain)
            continue;
        auto print = prints.constFind(r.message);
        if (print == prints.cend())
            print = prints.insert(r.message, messageFingerprint(r.message));
        const QString number = r.number.trimmed();
        const QString key = sendKey(number, print.value());
        if (r.sendAgain) {
            again.insert(key);
        } else {
            kept.insert(key, r.keep);
            out.carry.append({{i, number, print.value(), now, {}}, r.keep, SendJournal::Origin::Kept});
        }
    }
    const std::optional<SendJournal::Contents> earlier = SendJournal::read(journalPath);
    if (!earlier)
        return out;
    const QList<SendJournal::Outcome> unresolved = earlier->unresolved();
    QSet<QString> sent;
    for (const SendJournal::Outcome& o : unresolved)
        if (o.status == RowStatus::Sent)
            sent.insert(sendKey(o.entry.number, o.entry.fingerprint));
    for (SendJournal::Outcome o : unresolved) {
        const QString key = sendKey(o.entry.number, o.entry.fingerprint);
        if (again.contains(key) || kept.contains(key))
            continue;
        if (o.status == RowStatus::Failed) {
            if (sent.contains(key) || !o.entry.parts.isPartial())
                continue;
            out.partial.insert(key, o.entry.parts);
        }
        o.origin = SendJournal::Origin::Carried;
        out.carry.append(o);
    }
    return out;
}

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
    if (!journal.begin(total, earlier.carry)) {
        // With no data folder nothing can be kept, as for the other record files.
        if (!SendJournal::defaultPath().isEmpty() && !host.askToGoOn(JournalUnwritableQuestion(journal.lastError()))) {
            host.hideDeviceInitDialog();
            host.closeProgressDialog();
            host.setMainWindowEnabled(true);
            return false;
        }
        qWarning("Sending without a journal: %s", qPrintable(journal.lastError()));
    }
    // The journal or a record file failed during the run: asked once, then the run goes on without them.
    bool journalAsked = !journal.isOpen();
    bool recordsAsked = false;
    // Read at the first message saved, then kept current by this run's appends.
    DataFiles::TemplateSet templates(DataFiles::templatesPath());

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
    auto journalLost = [&]() {
        if (journalAsked)
            return true;
        journalAsked = true;
        return host.askToGoOn(JournalUnwritableQuestion(journal.lastError()));
    };
    auto recordLost = [&](const QString& path, const QString& error) {
        if (recordsAsked)
            return true;
        recordsAsked = true;
        QString reason = error;
        if (reason.startsWith(path + QStringLiteral(": ")))
            reason = reason.mid(path.size() + 2);
        return host.askToGoOn(RecordUnwritableQuestion(QFileInfo(path).fileName(), reason));
    };

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
            const SendJournal::Parts from =
                rows.at(i).sendAgain ? SendJournal::Parts{}
                                     : earlier.partial.value(sendKey(number, fingerprint), SendJournal::Parts{});
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

            QString error;
            if (options.saveTemplates && !sentText.trimmed().isEmpty() && !templates.saveIfNew(sentText, &error) &&
                !error.isEmpty() && !recordLost(DataFiles::templatesPath(), error))
                return stop(i + 1);
            error.clear();
            if (options.saveSentItems &&
                !DataFiles::AppendSentItem(rows.at(i).number, sentText, QDate::currentDate(), &error) &&
                !recordLost(DataFiles::sentItemsPath(), error))
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
