#pragma once

#include "app/core/NumberRules.h"
#include "store/DataFiles.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <algorithm>

// Removes the given rows of a model in contiguous blocks, from the last to the first.
template <typename RemoveBlock> void removeRowBlocks(QList<int> rows, RemoveBlock removeBlock)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    qsizetype end = rows.size();
    while (end > 0) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows.at(begin - 1) == rows.at(begin) - 1)
            --begin;
        removeBlock(rows.at(begin), rows.at(end - 1));
        end = begin;
    }
}

// A one-column list of texts (list names, exclusion numbers) in the order given,
// with a letter-case-blind lookup.
class TextListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    TextListModel(const QString& header, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int count() const { return int(m_rows.size()); }
    QString text(int row) const { return m_rows.at(row); }
    const QStringList& texts() const { return m_rows; }
    bool containsIgnoringCase(const QString& text) const { return m_index.contains(text); }

    void setTexts(const QStringList& texts);
    void insertTexts(int position, const QStringList& texts);
    void appendText(const QString& text) { insertTexts(count(), {text}); }
    void setText(int row, const QString& text);
    void removeTextRows(const QList<int>& rows);
    void clear() { setTexts({}); }

signals:
    void countChanged(int count);

private:
    QString m_header;
    QStringList m_rows;
    NumberIndex m_index;
};

// The templates: one column kept sorted by text, each text once (exact comparison).
class TemplateListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TemplateListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int count() const { return int(m_rows.size()); }
    QString text(int row) const { return m_rows.at(row); }
    const QStringList& texts() const { return m_rows; }
    bool contains(const QString& text) const;

    // Inserts the text where the order puts it and returns its row; -1 when it is there already.
    int insertSorted(const QString& text);
    // Replaces the text of a row and moves it to its place; returns its new row.
    int replaceText(int row, const QString& text);
    void removeTextRows(const QList<int>& rows);
    void setTexts(const QStringList& texts);
    void clear() { setTexts({}); }

private:
    qsizetype lowerBound(const QString& text) const;

    QStringList m_rows;
};

// The sent items: number, message and date.
class SentItemsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Number = 0,
        Message,
        Date,
        ColumnCount
    };

    explicit SentItemsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int count() const { return int(m_items.size()); }
    const DataFiles::SentItem& item(int row) const { return m_items.at(row); }
    const QList<DataFiles::SentItem>& items() const { return m_items; }

    void setItems(QList<DataFiles::SentItem> items);
    void removeItemRows(const QList<int>& rows);
    void clear() { setItems({}); }

private:
    QList<DataFiles::SentItem> m_items;
};
