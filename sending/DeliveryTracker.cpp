#include "DeliveryTracker.h"

#include <algorithm>

namespace {

QString digitsOf(const QString& number)
{
    QString digits;
    for (QChar c : number)
        if (c.isDigit())
            digits += c;
    if (digits.startsWith(QLatin1String("00")))
        digits.remove(0, 2);
    return digits;
}

} // namespace

bool DeliveryTracker::sameRecipient(const QString& a, const QString& b)
{
    const QString x = digitsOf(a), y = digitsOf(b);
    if (x.isEmpty() || y.isEmpty())
        return false;
    if (x == y)
        return true;
    // A national form and an international one share the subscriber's last digits.
    const QString xs = x.startsWith(QLatin1Char('0')) ? x.mid(1) : x;
    const QString ys = y.startsWith(QLatin1Char('0')) ? y.mid(1) : y;
    const qsizetype tail = std::min<qsizetype>({xs.size(), ys.size(), 9});
    return tail >= 7 && xs.right(tail) == ys.right(tail);
}

void DeliveryTracker::submitted(int row, const QString& number, const QByteArray& fingerprint, int part, int total,
                                int reference)
{
    total = std::max(1, total);
    const QString key = sendKey(number, fingerprint) + QLatin1Char('#') + QString::number(row);
    auto found = m_lastOnRow.constFind(key);
    // A new message starts with its first part; a message finished later goes on under its own entry.
    if (found == m_lastOnRow.cend() || part == 1 || m_messages.at(found.value()).total != total) {
        Message m;
        m.row = row;
        m.number = number;
        m.fingerprint = fingerprint;
        m.total = total;
        m.settled = QList<bool>(total, false);
        m_messages.append(m);
        found = m_lastOnRow.insert(key, int(m_messages.size()) - 1);
        m_rowMessage.insert(row, found.value());
    }
    m_byReference.insert(reference & 0xFF, {found.value(), part});
    ++m_open;
}

std::optional<DeliveryTracker::Update> DeliveryTracker::reported(const Pdu::StatusReport& report)
{
    const SentPart* best = nullptr;
    for (auto it = m_byReference.constFind(report.reference);
         it != m_byReference.cend() && it.key() == report.reference; ++it) {
        const Message& m = m_messages.at(it->message);
        if (it->part < 1 || it->part > m.total || m.settled.at(it->part - 1) ||
            !sameRecipient(m.number, report.recipient))
            continue;
        if (!best || it->message < best->message)
            best = &it.value();
    }
    if (!best)
        return std::nullopt;
    Message& m = m_messages[best->message];
    const PartReport part{best->part, m.total, report.status, report.dischargeTime};
    auto same =
        std::find_if(m.reports.begin(), m.reports.end(), [&](const PartReport& r) { return r.part == part.part; });
    if (same != m.reports.end())
        *same = part;
    else
        m.reports.append(part);
    if (reportedStatus(report.status) != RowStatus::Pending) {
        m.settled[part.part - 1] = true;
        --m_open;
    }
    return Update{m.row, m.number, m.fingerprint, part, report.reference, ::deliveryOf(m.reports)};
}

bool DeliveryTracker::outstanding() const
{
    return m_open > 0;
}

Delivery DeliveryTracker::deliveryOf(int row) const
{
    const auto found = m_rowMessage.constFind(row);
    return found == m_rowMessage.cend() ? Delivery{} : ::deliveryOf(m_messages.at(found.value()).reports);
}
