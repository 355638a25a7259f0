#include "app/core/RecipientListModel.h"

#include <QSignalSpy>
#include <QTest>

// The rows' send statuses: what clears them, and how rows loaded after an
// interrupted run take its outcomes.
class TestRecipientListModel : public QObject
{
    Q_OBJECT

    const QDateTime m_sentAt = QDateTime(QDate(2024, 5, 1), QTime(9, 30, 5));

    static QList<int> all(const RecipientListModel& model)
    {
        QList<int> rows;
        for (int r = 0; r < model.count(); ++r)
            rows.append(r);
        return rows;
    }

    static QList<RowStatus> statuses(const RecipientListModel& model)
    {
        QList<RowStatus> out;
        for (int r = 0; r < model.count(); ++r)
            out.append(model.status(r));
        return out;
    }

private slots:
    void statusColumnsShowWhatTheRunDid()
    {
        RecipientListModel model;
        model.appendRecipients(
            {{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}});
        model.setStatus({1}, RowStatus::SkippedDuplicate, m_sentAt);
        const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
        QCOMPARE(cell(1, RecipientListModel::Status), QStringLiteral("Skipped (duplicate)"));
        QCOMPARE(cell(1, RecipientListModel::SendingStatus), QStringLiteral("01/05/2024 09:30:05"));
        QCOMPARE(cell(0, RecipientListModel::Status), QString());
        QCOMPARE(cell(0, RecipientListModel::SendingStatus), QString());
        QCOMPARE(cell(1, RecipientListModel::UsePort), QString());
        QCOMPARE(cell(1, RecipientListModel::CurrentStatus), QString());
    }

    // A status report's outcome: its reason shows only with "Not delivered", and a new run's status drops it.
    void reportedOutcomesShowTheirReason()
    {
        RecipientListModel model;
        model.appendRecipients(
            {{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}});
        model.setStatus(0, RowStatus::NotDelivered, m_sentAt, QStringLiteral("validity period expired"));
        model.setStatus(1, RowStatus::Delivered, m_sentAt.addSecs(60), QStringLiteral("ignored"));
        QCOMPARE(model.statusText(0), QStringLiteral("Not delivered (validity period expired)"));
        QCOMPARE(model.statusText(1), QStringLiteral("Delivered"));
        QCOMPARE(model.index(1, RecipientListModel::SendingStatus).data().toString(),
                 QStringLiteral("01/05/2024 09:31:05"));
        model.setStatus({0}, RowStatus::Sent, m_sentAt);
        QCOMPARE(model.statusText(0), QStringLiteral("Sent"));
        model.setRecoveredOutcomes({{sendKey(QStringLiteral("3"), QStringLiteral("c")),
                                     {RowStatus::NotDelivered, m_sentAt, QStringLiteral("not obtainable")}}});
        model.appendRecipients({{QStringLiteral("3"), QStringLiteral("c")}});
        QCOMPARE(model.statusText(2), QStringLiteral("Not delivered (not obtainable)"));
        QVERIFY(isSentOrUncertain(model.status(2))); // a resumed run passes it over
    }

    void editsClearTheStatus_data()
    {
        QTest::addColumn<int>("edit");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("new number") << 0 << true;
        QTest::newRow("same number") << 1 << false;
        QTest::newRow("new message") << 2 << true;
        QTest::newRow("same message") << 3 << false;
        QTest::newRow("composer applied to the rows") << 4 << true;
        QTest::newRow("composer text the row had") << 5 << false;
    }

    void editsClearTheStatus()
    {
        QFETCH(int, edit);
        QFETCH(bool, cleared);
        RecipientListModel model;
        model.appendRecipients(
            {{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}});
        model.setStatus(all(model), RowStatus::Sent, m_sentAt);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        switch (edit) {
        case 0:
            model.setNumber(1, QStringLiteral("3"));
            break;
        case 1:
            model.setNumber(1, QStringLiteral("2"));
            break;
        case 2:
            model.setMessage(1, QStringLiteral("b2"));
            break;
        case 3:
            model.setMessage(1, QStringLiteral("b"));
            break;
        case 4:
            model.setMessages({1}, QStringLiteral("composer"));
            break;
        case 5:
            model.setMessages({1}, QStringLiteral("b"));
            break;
        }
        QCOMPARE(model.status(1), cleared ? RowStatus::None : RowStatus::Sent);
        QCOMPARE(model.statusTime(1).isValid(), !cleared);
        QCOMPARE(model.status(0), RowStatus::Sent);
        QCOMPARE(changed.isEmpty(), !cleared);
        if (cleared)
            QCOMPARE(changed.first().at(1).toModelIndex().column(), int(RecipientListModel::Status));
    }

    void rowsLoadedAgainTakeTheInterruptedRunsOutcomes()
    {
        const QString text = QStringLiteral("Dear parent,\r\nschool opens at 9");
        RecipientListModel model;
        model.setRecoveredOutcomes({{sendKey(QStringLiteral("0044111"), text), {RowStatus::Sent, m_sentAt}},
                                    {sendKey(QStringLiteral("222"), text), {RowStatus::Uncertain, m_sentAt}}});
        QSignalSpy marked(&model, &RecipientListModel::recoveredRowsMarked);

        // Typed and imported rows alike; another message to the same number is not the same message.
        model.insertRecipient(0, QStringLiteral("0044111"), text);
        model.appendRecipients({{QStringLiteral(" 222 "), text},
                                {QStringLiteral("333"), text},
                                {QStringLiteral("0044111"), text + QLatin1Char(' ')},
                                {QStringLiteral("222"), QString()}});
        using S = RowStatus;
        QCOMPARE(statuses(model), (QList<S>{S::Sent, S::Uncertain, S::None, S::None, S::None}));
        QCOMPARE(model.statusTime(0), m_sentAt);
        QCOMPARE(marked.size(), 2);
        QCOMPARE(marked.at(1).at(0).toInt(), 1);

        // Numbers loaded without messages match once the composer's text reaches them.
        model.setMessages({3, 4}, text);
        QCOMPARE(statuses(model), (QList<S>{S::Sent, S::Uncertain, S::None, S::Sent, S::Uncertain}));
        QCOMPARE(marked.last().at(0).toInt(), 2);
        model.setMessage(4, QStringLiteral("other"));
        QCOMPARE(model.status(4), S::None);

        // A new run takes over: later rows no longer match.
        model.setRecoveredOutcomes({});
        model.insertRecipient(0, QStringLiteral("222"), text);
        QCOMPARE(model.status(0), S::None);
        QCOMPARE(model.status(2), S::Uncertain);
    }

    void clearingTheListClearsEverything()
    {
        RecipientListModel model;
        model.appendRecipients({{QStringLiteral("1"), QStringLiteral("a")}});
        model.setStatus({0, 7, -1}, RowStatus::Failed, m_sentAt); // rows out of range are ignored
        model.clearStatuses();
        QCOMPARE(model.status(0), RowStatus::None);
        model.setStatus({0}, RowStatus::Failed, m_sentAt);
        model.clear();
        model.appendRecipients({{QStringLiteral("1"), QStringLiteral("a")}});
        QCOMPARE(model.status(0), RowStatus::None);
    }
};

QTEST_GUILESS_MAIN(TestRecipientListModel)
#include "test_recipientlistmodel.moc"
