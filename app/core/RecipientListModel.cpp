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
    emit countChanged(count());
}

void RecipientListModel::setNumber(int row, const QString& number)
{
    Row& r = m_rows[row];
    m_index.remove(r.number);
    r.number = number;
    m_index.add(number);
    emit dataChanged(index(row, Number), index(row, Number));
}

void RecipientListModel::setMessage(int row, const QString& message)
{
    m_rows[row].message = message;
    emit dataChanged(index(row, Message), index(row, Message));
}

void RecipientListModel::setMessages(const QList<int>& rows, const QString& message)
{
    if (rows.isEmpty())
        return;
    int first = count(), last = -1;
    for (int row : rows) {
        m_rows[row].message = message;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    emit dataChanged(index(first, Message), index(last, Message));
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
    if (exceptRow >= 0 && exceptRow < count() && NumberIndex::key(m_rows.at(exceptRow).number) == NumberIndex::key(number))
        --hits;
    return hits > 0;
}
