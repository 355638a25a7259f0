#include "ListModels.h"

#include <algorithm>

namespace {

bool sortsBefore(const QString& a, const QString& b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// A cell shows one line: line breaks show as spaces.
QString oneLine(const QString& text)
{
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return out;
}

bool isShownRole(int role)
{
    return role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::AccessibleTextRole;
}

} // namespace

// --- TextListModel -------------------------------------------------------------

TextListModel::TextListModel(const QString& header, QObject* parent) : QAbstractTableModel(parent), m_header(header) {}

int TextListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int TextListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant TextListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count() || !isShownRole(role))
        return {};
    return m_rows.at(index.row());
}

QVariant TextListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return m_header;
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TextListModel::setTexts(const QStringList& texts)
{
    beginResetModel();
    m_rows = texts;
    m_index.clear();
    m_index.reserve(texts.size());
    for (const QString& t : texts)
        m_index.add(t);
    endResetModel();
    emit countChanged(count());
}

void TextListModel::insertTexts(int position, const QStringList& texts)
{
    if (texts.isEmpty())
        return;
    position = std::clamp(position, 0, count());
    beginInsertRows({}, position, position + int(texts.size()) - 1);
    if (position == 0) {
        m_rows = texts + m_rows;
    } else {
        QStringList rows;
        rows.reserve(m_rows.size() + texts.size());
        rows.append(m_rows.mid(0, position));
        rows.append(texts);
        rows.append(m_rows.mid(position));
        m_rows = std::move(rows);
    }
    for (const QString& t : texts)
        m_index.add(t);
    endInsertRows();
    emit countChanged(count());
}

void TextListModel::setText(int row, const QString& text)
{
    if (row < 0 || row >= count())
        return;
    m_index.remove(m_rows.at(row));
    m_rows[row] = text;
    m_index.add(text);
    emit dataChanged(index(row, 0), index(row, 0));
}

void TextListModel::removeTextRows(const QList<int>& rows)
{
    QList<int> valid;
    for (int r : rows) {
        if (r >= 0 && r < count())
            valid.append(r);
    }
    if (valid.isEmpty())
        return;
    removeRowBlocks(valid, [this](int first, int last) {
        beginRemoveRows({}, first, last);
        for (int r = first; r <= last; ++r)
            m_index.remove(m_rows.at(r));
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
    });
    emit countChanged(count());
}

// --- TemplateListModel ---------------------------------------------------------

TemplateListModel::TemplateListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TemplateListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int TemplateListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant TemplateListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count() || !isShownRole(role))
        return {};
    return role == Qt::DisplayRole ? oneLine(m_rows.at(index.row())) : m_rows.at(index.row());
}

QVariant TemplateListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Templates Message");
    return QAbstractTableModel::headerData(section, orientation, role);
}

qsizetype TemplateListModel::lowerBound(const QString& text) const
{
    return std::lower_bound(m_rows.cbegin(), m_rows.cend(), text, sortsBefore) - m_rows.cbegin();
}

bool TemplateListModel::contains(const QString& text) const
{
    const qsizetype at = lowerBound(text);
    return at < m_rows.size() && m_rows.at(at) == text;
}

int TemplateListModel::insertSorted(const QString& text)
{
    const int at = int(lowerBound(text));
    if (at < count() && m_rows.at(at) == text)
        return -1;
    beginInsertRows({}, at, at);
    m_rows.insert(at, text);
    endInsertRows();
    return at;
}

int TemplateListModel::replaceText(int row, const QString& text)
{
    if (row < 0 || row >= count())
        return -1;
    if (m_rows.at(row) == text)
        return row;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
    const int at = insertSorted(text);
    return at >= 0 ? at : int(lowerBound(text));
}

void TemplateListModel::removeTextRows(const QList<int>& rows)
{
    QList<int> valid;
    for (int r : rows) {
        if (r >= 0 && r < count())
            valid.append(r);
    }
    removeRowBlocks(valid, [this](int first, int last) {
        beginRemoveRows({}, first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
    });
}

void TemplateListModel::setTexts(const QStringList& texts)
{
    QStringList sorted = texts;
    std::sort(sorted.begin(), sorted.end(), sortsBefore);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    beginResetModel();
    m_rows = std::move(sorted);
    endResetModel();
}

// --- SentItemsModel ------------------------------------------------------------

SentItemsModel::SentItemsModel(QObject* parent) : QAbstractTableModel(parent) {}

int SentItemsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int SentItemsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SentItemsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count() || !isShownRole(role))
        return {};
    const DataFiles::SentItem& item = m_items.at(index.row());
    switch (index.column()) {
    case Number:
        return item.number;
    case Message:
        return role == Qt::DisplayRole ? oneLine(item.message) : item.message;
    case Date:
        return item.date;
    default:
        return {};
    }
}

QVariant SentItemsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const headers[] = {"Number", "Message", "Date"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromLatin1(headers[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void SentItemsModel::setItems(QList<DataFiles::SentItem> items)
{
    beginResetModel();
    m_items = std::move(items);
    endResetModel();
}

void SentItemsModel::removeItemRows(const QList<int>& rows)
{
    QList<int> valid;
    for (int r : rows) {
        if (r >= 0 && r < count())
            valid.append(r);
    }
    removeRowBlocks(valid, [this](int first, int last) {
        beginRemoveRows({}, first, last);
        m_items.remove(first, last - first + 1);
        endRemoveRows();
    });
}
