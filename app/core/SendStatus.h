#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
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
    Uncertain,
    // From the network's status reports on a message sent through a GSM modem.
    Delivered,
    NotDelivered, // shown with its reason: "Not delivered (<reason>)"
    Pending       // the service centre still tries
};

QString rowStatusText(RowStatus status);

// Sent, or perhaps sent by a run that was cut off: a resumed run leaves such rows alone.
inline bool isSentOrUncertain(RowStatus status)
{
    return status == RowStatus::Sent || status == RowStatus::Uncertain || status == RowStatus::Delivered ||
           status == RowStatus::NotDelivered || status == RowStatus::Pending;
}

// What a status report's TP-ST (3GPP TS 23.040 9.2.3.15) says of a message:
// Delivered (0x00-0x1F), Pending while the service centre still tries
// (0x20-0x3F), NotDelivered for the rest.
RowStatus reportedStatus(int tpStatus);
// The reason of a failure or a delay, for example "validity period expired".
QString reportReason(int tpStatus);

// One status report of one part of a message.
struct PartReport
{
    int part = 1; // 1-based
    int total = 1;
    int tpStatus = 0;
    QDateTime time; // the discharge time the report gives
};
// The message's state from the newest report of each part: NotDelivered when
// any part failed, Delivered once every part is, else Pending while any part
// waits, else Sent (some parts not reported yet).
struct Delivery
{
    RowStatus status = RowStatus::Sent;
    QDateTime time;
    QString reason;
};
Delivery deliveryOf(const QList<PartReport>& reports);

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
    QString detail = {}; // the reason of NotDelivered
};
