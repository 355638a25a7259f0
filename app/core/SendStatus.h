#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What a send run did with a recipient row; shown in the list's "Status"
// column, with the time in "Sending Status".
enum class RowStatus
{
    None,
    Sent,
    Excluded,
    SkippedDuplicate,
    Blank,
    Failed,
    NotSentStopped,
    Uncertain
};

QString rowStatusText(RowStatus status);

// Sent, or perhaps sent by a run that was cut off: a resumed run leaves such rows alone.
inline bool isSentOrUncertain(RowStatus status)
{
    return status == RowStatus::Sent || status == RowStatus::Uncertain;
}

// Still waiting for its message: never tried, failed, or left behind by a run that stopped.
inline bool isAwaitingSend(RowStatus status)
{
    return status == RowStatus::None || status == RowStatus::Failed || status == RowStatus::NotSentStopped;
}

// The message as the send journal remembers it: SHA-256 of its UTF-8 form, hex.
QByteArray messageFingerprint(const QString& message);

// Rows and journal entries are the same message to the same recipient when
// their numbers (trimmed, letter-case-blind) and message fingerprints agree.
QString sendKey(const QString& number, const QByteArray& fingerprint);
inline QString sendKey(const QString& number, const QString& message)
{
    return sendKey(number, messageFingerprint(message));
}

// A remembered outcome of an earlier run, for rows that are loaded again.
struct RecoveredOutcome
{
    RowStatus status = RowStatus::None;
    QDateTime time;
};
