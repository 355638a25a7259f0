#include "RecipientListModel.h"

#include <algorithm>

namespace {

const char* const kHeaders[] = {"Number", "Message", "Use Port", "Sending Status", "Current Status", "Status"};

} // namespace

RecipientListModel::RecipientListModel(QObject* parent) : QAbstractTableModel(parent) {}

int RecipientListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RecipientListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RecipientListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return {};
    const Row& r = m_rows.at(index.row());
    switch (index.column()) {
    case Number:
        return r.number;
    case Message:
        return r.message;
    case SendingStatus:
        return r.status == RowStatus::None ? QString() : r.statusTime.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    case Status: {
        QString text = r.statusDetail.isEmpty()
                           ? rowStatusText(r.status)
                           : QStringLiteral("%1 (%2)").arg(rowStatusText(r.status), r.statusDetail);
        // A run with several modems names the one that sent the row.
        if (!r.statusLane.isEmpty() && r.status != RowStatus::None)
            text += QStringLiteral(" (%1)").arg(r.statusLane);
        return text;
    }
    default:
        return QString();
    }
}

QVariant RecipientListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromLatin1(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool RecipientListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    if (index.column() == Number)
        setNumber(index.row(), value.toString());
    else if (index.column() == Message)
        setMessage(index.row(), value.toString());
    else
        return false;
    return true;
}

void RecipientListModel::insertRecipient(int position, const QString& number, const QString& message)
{
    position = std::clamp(position, 0, count());
    beginInsertRows({}, position, position);
    m_rows.insert(position, Row{number, message});
    m_index.add(number);
    endInsertRows();
    markRecovered(position, position);
    emit countChanged(count());
}

void RecipientListModel::appendRecipients(const QList<Row>& rows)
{
    insertRecipients(count(), rows);
}

void RecipientListModel::insertRecipients(int position, const QList<Row>& rows)
{
    for (const Row& r : rows)
        m_index.add(r.number);
    insertRecipientsUnindexed(position, rows);
}

void RecipientListModel::insertRecipientsUnindexed(int position, const QList<Row>& rows)
{
    if (rows.isEmpty())
        return;
    position = std::clamp(position, 0, count());
    beginInsertRows({}, position, position + int(rows.size()) - 1);
    m_rows.insert(position, rows.size(), Row{});
    std::copy(rows.begin(), rows.end(), m_rows.begin() + position);
    endInsertRows();
    markRecovered(position, position + int(rows.size()) - 1);
    emit countChanged(count());
}

void RecipientListModel::setNumber(int row, const QString& number)
{
    Row& r = m_rows[row];
    if (r.number == number)
        return;
    m_index.remove(r.number);
    r.number = number;
    m_index.add(number);
    const bool recovered = restatus(r);
    emit dataChanged(index(row, Number), index(row, Status));
    if (recovered)
        emit recoveredRowsMarked(1);
}

void RecipientListModel::setMessage(int row, const QString& message)
{
    setMessages({row}, message);
}

void RecipientListModel::setMessages(const QList<int>& rows, const QString& message)
{
    int first = count(), last = -1, recovered = 0;
    for (int row : rows) {
        Row& r = m_rows[row];
        if (r.message == message)
            continue;
        r.message = message;
        recovered += int(restatus(r));
        first = std::min(first, row);
        last = std::max(last, row);
    }
    if (last < 0)
        return;
    emit dataChanged(index(first, Message), index(last, Status));
    if (recovered > 0)
        emit recoveredRowsMarked(recovered);
}

void RecipientListModel::setStatus(const QList<int>& rows, RowStatus status, const QDateTime& time)
{
    int first = count(), last = -1;
    for (int row : rows) {
        if (row < 0 || row >= count())
            continue;
        m_rows[row].status = status;
        m_rows[row].statusTime = time;
        m_rows[row].statusDetail.clear();
        m_rows[row].statusLane.clear();
        first = std::min(first, row);
        last = std::max(last, row);
    }
    if (last >= 0)
        emit dataChanged(index(first, SendingStatus), index(last, Status));
}

void RecipientListModel::setStatus(int row, RowStatus status, const QDateTime& time, const QString& detail)
{
    if (row < 0 || row >= count())
        return;
    m_rows[row].status = status;
    m_rows[row].statusTime = time;
    m_rows[row].statusDetail = status == RowStatus::NotDelivered ? detail : QString();
    emit dataChanged(index(row, SendingStatus), index(row, Status));
}

void RecipientListModel::setStatusLane(int row, const QString& lane)
{
    if (row < 0 || row >= count())
        return;
    m_rows[row].statusLane = lane;
    emit dataChanged(index(row, Status), index(row, Status));
}

QString RecipientListModel::statusText(int row) const
{
    return data(index(row, Status)).toString();
}

void RecipientListModel::clearStatuses()
{
    for (Row& r : m_rows) {
        r.status = RowStatus::None;
        r.statusTime = {};
        r.statusDetail.clear();
        r.statusLane.clear();
    }
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, SendingStatus), index(count() - 1, Status));
}

void RecipientListModel::setRecoveredOutcomes(const QHash<QString, RecoveredOutcome>& outcomes)
{
    m_recovered = outcomes;
    if (!m_rows.isEmpty())
        markRecovered(0, count() - 1);
}

bool RecipientListModel::restatus(Row& row)
{
    row.status = RowStatus::None;
    row.statusTime = {};
    row.statusDetail.clear();
    row.statusLane.clear();
    if (m_recovered.isEmpty())
        return false;
    // Lists mostly carry one message for every row: hash it once.
    if (row.message != m_fingerprintOf) {
        m_fingerprintOf = row.message;
        m_fingerprint = messageFingerprint(row.message);
    }
    const auto found = m_recovered.constFind(sendKey(row.number, m_fingerprint));
    if (found == m_recovered.cend())
        return false;
    row.status = found->status;
    row.statusTime = found->time;
    row.statusDetail = found->status == RowStatus::NotDelivered ? found->detail : QString();
    return true;
}

void RecipientListModel::markRecovered(int first, int last)
{
    if (m_recovered.isEmpty())
        return;
    int marked = 0;
    for (int i = first; i <= last; ++i) {
        if (m_rows.at(i).status == RowStatus::None && !m_rows.at(i).message.isEmpty())
            marked += int(restatus(m_rows[i]));
    }
    if (marked == 0)
        return;
    emit dataChanged(index(first, SendingStatus), index(last, Status));
    emit recoveredRowsMarked(marked);
}

void RecipientListModel::removeRecipients(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= count(); }), rows.end());
    if (rows.isEmpty())
        return;
    if (rows.size() == 1 || rows.last() - rows.first() + 1 == rows.size()) {
        beginRemoveRows({}, rows.first(), rows.last());
        for (int r : rows)
            m_index.remove(m_rows.at(r).number);
        m_rows.remove(rows.first(), rows.size());
        endRemoveRows();
    } else {
        // Scattered rows: one compaction pass instead of one removal per row.
        beginResetModel();
        QList<Row> kept;
        kept.reserve(m_rows.size() - rows.size());
        qsizetype next = 0;
        for (qsizetype i = 0; i < m_rows.size(); ++i) {
            if (next < rows.size() && rows.at(next) == i) {
                m_index.remove(m_rows.at(i).number);
                ++next;
            } else {
                kept.append(std::move(m_rows[i]));
            }
        }
        m_rows = std::move(kept);
        endResetModel();
    }
    emit countChanged(count());
}

void RecipientListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_index.clear();
    endResetModel();
    emit countChanged(0);
}

bool RecipientListModel::isListedElsewhere(const QString& number, int exceptRow) const
{
    int hits = m_index.count(number);
    if (exceptRow >= 0 && exceptRow < count() &&
        NumberIndex::key(m_rows.at(exceptRow).number) == NumberIndex::key(number))
        --hits;
    return hits > 0;
}
