#include "SendStatus.h"

#include "NumberRules.h"

#include <QCryptographicHash>

#include <algorithm>
#include <iterator>

QString rowStatusText(RowStatus status)
{
    switch (status) {
    case RowStatus::None:
        return {};
    case RowStatus::Sent:
        return QStringLiteral("Sent");
    case RowStatus::Excluded:
        return QStringLiteral("Excluded");
    case RowStatus::SkippedDuplicate:
        return QStringLiteral("Skipped (duplicate)");
    case RowStatus::Blank:
        return QStringLiteral("Blank");
    case RowStatus::Failed:
        return QStringLiteral("Failed");
    case RowStatus::NotSentStopped:
        return QStringLiteral("Not sent (stopped)");
    case RowStatus::Uncertain:
        return QStringLiteral("Uncertain");
    case RowStatus::Delivered:
        return QStringLiteral("Delivered");
    case RowStatus::NotDelivered:
        return QStringLiteral("Not delivered");
    case RowStatus::Pending:
        return QStringLiteral("Pending");
    }
    return {};
}

RowStatus reportedStatus(int tpStatus)
{
    if (tpStatus >= 0x00 && tpStatus <= 0x1F)
        return RowStatus::Delivered;
    if (tpStatus >= 0x20 && tpStatus <= 0x3F)
        return RowStatus::Pending;
    return RowStatus::NotDelivered;
}

QString reportReason(int tpStatus)
{
    // The low bits name the same trouble whether the centre still tries (0x2n) or gave up (0x6n).
    static const char* const temporary[] = {"congestion",
                                            "recipient busy",
                                            "no response from the recipient",
                                            "service rejected",
                                            "quality of service not available",
                                            "error in the recipient's phone"};
    static const char* const permanent[] = {"remote procedure error",
                                            "incompatible destination",
                                            "connection rejected by the recipient",
                                            "not obtainable",
                                            "quality of service not available",
                                            "no interworking available",
                                            "validity period expired",
                                            "deleted by the sender",
                                            "deleted by the service centre",
                                            "message does not exist"};
    const int low = tpStatus & 0x1F;
    if ((tpStatus & 0x60) == 0x20 || (tpStatus & 0x60) == 0x60) {
        if (low < int(std::size(temporary)))
            return QLatin1String(temporary[low]);
    } else if ((tpStatus & 0x60) == 0x40 && low < int(std::size(permanent))) {
        return QLatin1String(permanent[low]);
    }
    return QStringLiteral("status %1").arg(tpStatus, 2, 16, QLatin1Char('0'));
}

Delivery deliveryOf(const QList<PartReport>& reports)
{
    Delivery d;
    if (reports.isEmpty())
        return d;
    const int total = std::max(1, reports.first().total);
    QList<const PartReport*> newest(total, nullptr);
    for (const PartReport& r : reports) {
        if (r.part >= 1 && r.part <= total)
            newest[r.part - 1] = &r;
    }
    bool all = true, pending = false;
    for (const PartReport* r : newest) {
        if (!r) {
            all = false;
            continue;
        }
        const RowStatus status = reportedStatus(r->tpStatus);
        if (status == RowStatus::NotDelivered)
            return {RowStatus::NotDelivered, r->time, reportReason(r->tpStatus)};
        if (status == RowStatus::Pending) {
            pending = true;
            all = false;
            d.reason = reportReason(r->tpStatus);
            d.time = r->time;
        } else if (!d.time.isValid() || (!pending && r->time > d.time)) {
            d.time = r->time;
        }
    }
    if (all)
        return {RowStatus::Delivered, d.time, {}};
    if (pending)
        return {RowStatus::Pending, d.time, d.reason};
    return {RowStatus::Sent, {}, {}};
}

QByteArray messageFingerprint(const QString& message)
{
    return QCryptographicHash::hash(message.toUtf8(), QCryptographicHash::Sha256).toHex();
}

QString sendKey(const QString& number, const QByteArray& fingerprint)
{
    return NumberIndex::key(number.trimmed()) + QLatin1Char('\t') + QLatin1String(fingerprint);
}
