#pragma once

#include "NumberRules.h"
#include "SendStatus.h"

#include <QAbstractTableModel>
#include <QList>

// The recipient rows: the one store of the list (number, message, and what the
// last send run did with each row: "Status", its time in "Sending Status").
// "Use Port" and "Current Status" carry no data. Number lookups go through a
// hash index kept in step with column 0.
class RecipientListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Number = 0,
        Message,
        UsePort,
        SendingStatus,
        CurrentStatus,
        Status,
        ColumnCount
    };

    struct Row
    {
        Row() = default;
        Row(QString n, QString m) : number(std::move(n)), message(std::move(m)) {}
        QString number;
        QString message;
        RowStatus status = RowStatus::None;
        QDateTime statusTime;
        QString statusDetail = {}; // the reason of NotDelivered
        QString statusLane = {};   // the modem that sent it, in a run with several ("COM7")
    };

    explicit RecipientListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    int count() const { return int(m_rows.size()); }
    QString number(int row) const { return m_rows.at(row).number; }
    QString message(int row) const { return m_rows.at(row).message; }
    const Row& row(int row) const { return m_rows.at(row); }
    QList<Row> rows() const { return m_rows; }

    void insertRecipient(int position, const QString& number, const QString& message);
    void appendRecipients(const QList<Row>& rows);
    // Inserts the rows as one block starting at `position`, in their order.
    void insertRecipients(int position, const QList<Row>& rows);
    // For imports: blocks go in without touching the number index, and the
    // index the importer built alongside (the list's numbers before it plus
    // every number it inserted) replaces it at the end, so the GUI thread never
    // hashes the numbers a second time. Nothing may look numbers up between.
    void insertRecipientsUnindexed(int position, const QList<Row>& rows);
    void adoptIndex(NumberIndex index) { m_index = std::move(index); }
    void setNumber(int row, const QString& number);
    void setMessage(int row, const QString& message);
    // Sets the message of the given rows (ascending or not) in one change.
    void setMessages(const QList<int>& rows, const QString& message);
    // Removes the given rows; the list may be in any order and hold repeats.
    void removeRecipients(QList<int> rows);
    void clear();

    RowStatus status(int row) const { return m_rows.at(row).status; }
    QDateTime statusTime(int row) const { return m_rows.at(row).statusTime; }
    void setStatus(const QList<int>& rows, RowStatus status, const QDateTime& time = QDateTime::currentDateTime());
    // A status report's outcome; "Not delivered (<detail>)" shows its reason.
    void setStatus(int row, RowStatus status, const QDateTime& time, const QString& detail);
    // The lane of a run with several that settled the row: "Sent (COM7)". Cleared with the next status.
    void setStatusLane(int row, const QString& lane);
    QString statusText(int row) const;
    void clearStatuses();

    // Outcomes of an interrupted run, by sendKey: rows inserted or edited later
    // whose number and message match take the outcome as their status.
    void setRecoveredOutcomes(const QHash<QString, RecoveredOutcome>& outcomes);
    bool hasRecoveredOutcomes() const { return !m_recovered.isEmpty(); }

    const NumberIndex& numbers() const { return m_index; }
    // Rows other than `exceptRow` whose number equals the text (letter case ignored).
    bool isListedElsewhere(const QString& number, int exceptRow) const;

signals:
    void countChanged(int count);
    // Rows took a status from the interrupted run's outcomes.
    void recoveredRowsMarked(int count);

private:
    // An edit of the number or message: the old status no longer applies. True when a recovered outcome applies.
    bool restatus(Row& row);
    // Marks the rows [first, last] that match a recovered outcome.
    void markRecovered(int first, int last);

    QList<Row> m_rows;
    NumberIndex m_index;
    QHash<QString, RecoveredOutcome> m_recovered;
    QString m_fingerprintOf; // the message m_fingerprint belongs to
    QByteArray m_fingerprint;
};

// Rows move in memory as bytes when the list grows (shared strings, a status and its time).
Q_DECLARE_TYPEINFO(RecipientListModel::Row, Q_RELOCATABLE_TYPE);
