#pragma once

// What the run through one device and the run over several lanes share: the
// journal's part lines, the message write, what earlier runs hand on, and the
// saving of sent items and templates. Internal to the sending library.

#include "SendRun.h"

#include "device/modem/ModemChannel.h"
#include "sending/SendJournal.h"
#include "store/DataFiles.h"

#include <QHash>

namespace SendRunParts {

// The wait after each message (and after each excluded or skipped row of a run with one device).
inline constexpr int kPacingMs = 1000;

// Follows the parts of a long message as a modem accepts them, into the journal.
class PartTracker final : public PartListener
{
public:
    PartTracker(SendJournal& journal, int row, const QString& number, const QByteArray& fingerprint,
                const QString& lane = {})
        : m_journal(journal), m_row(row), m_number(number), m_fingerprint(fingerprint), m_lane(lane)
    {
    }
    void partAccepted(int part, int total, int reference) override;
    SendJournal::Parts parts;
    bool journalFailed = false;

private:
    SendJournal& m_journal;
    int m_row;
    QString m_number;
    QByteArray m_fingerprint;
    QString m_lane;
};

// A channel that takes the message as typed (a GSM modem) gets it in Unicode,
// from the part after those an earlier run had accepted; the handset gets its
// narrow message packet. Returns the text as it went out, for the records.
// Device errors propagate as ComError.
QString writeMessage(IChannel* channel, const QString& message, const QString& number, const SendJournal::Parts& from,
                     PartTracker& tracker);

// What the journal of earlier runs hands on to this one: the outcomes to carry
// and the long messages that were cut short, by sendKey.
struct EarlierRuns
{
    QList<SendJournal::Outcome> carry;
    QHash<QString, SendJournal::Parts> partial;
    // Where a row's message starts: after the parts an earlier run had accepted.
    SendJournal::Parts resumeFrom(const RecipientRow& row, const QString& number, const QByteArray& fingerprint) const;
};
EarlierRuns earlierRuns(const QList<RecipientRow>& rows, const QString& journalPath);

// Opens the run's journal with what earlier runs hand on. When it cannot be
// written the user is asked; false when they chose not to send, with the
// windows back as they were before the run.
bool beginJournal(SendJournal& journal, int rows, const EarlierRuns& earlier, SendRunHost& host);

// The sent-items file and the templates a run appends to, with the question
// asked once when one of them (or the journal) cannot be written.
class RunRecords
{
public:
    explicit RunRecords(bool journalOpen) : m_journalAsked(!journalOpen) {}
    // The journal failed: asked once, then the run goes on without it. False to stop.
    bool journalLost(SendRunHost& host, const SendJournal& journal);
    // Saves a message that went out as the options ask. False when the user chose to stop.
    bool save(SendRunHost& host, const SendOptions& options, const QString& number, const QString& sentText);

private:
    bool recordLost(SendRunHost& host, const QString& path, const QString& error);

    bool m_journalAsked;
    bool m_recordsAsked = false;
    // Read at the first message saved, then kept current by this run's appends.
    DataFiles::TemplateSet m_templates{DataFiles::templatesPath()};
};

} // namespace SendRunParts
