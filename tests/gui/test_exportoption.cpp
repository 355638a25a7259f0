// The export options dialog: its opening range and format, and what OK refuses.
#include "GuiTestSupport.h"

#include "export/dialogs/CExport_Option.h"

#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>

class TestExportOption : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageRecorder> m_messages;

private slots:
    void init() { m_messages = std::make_unique<MessageRecorder>(); }
    void cleanup() { m_messages.reset(); }

    void opensOnTheLast30Days_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("start");
        QTest::newRow("31 March") << QDate(2012, 3, 31) << QStringLiteral("01/03/2012");
        QTest::newRow("1 March, leap year") << QDate(2012, 3, 1) << QStringLiteral("31/01/2012");
        QTest::newRow("new year") << QDate(2013, 1, 10) << QStringLiteral("11/12/2012");
    }
    void opensOnTheLast30Days()
    {
        QFETCH(QDate, today);
        QFETCH(QString, start);
        setExportOptions({ExportFormat::Xlsx, {}});
        CExport_Option dialog(nullptr, {}, today);
        QCOMPARE(byId<QDateEdit>(&dialog, 1109)->text(), start);
        QCOMPARE(byId<QDateEdit>(&dialog, 1110)->text(), today.toString(QStringLiteral("dd/MM/yyyy")));
        QVERIFY(byId<QRadioButton>(&dialog, 1093)->isChecked());
        QCOMPARE(dialog.format(), ExportFormat::Text);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Export"));
    }

    void okChecksTheRange_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<QStringList>("dates");
        QTest::addColumn<int>("radio");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<int>("focus");
        const QDate d(2012, 3, 7);
        QTest::newRow("reversed") << d << d.addDays(-1) << QStringList{"07/03/2012"} << 1093
                                  << "End date should be greater than or equal to Start date." << 1110;
        QTest::newRow("one day, logged") << d << d << QStringList{"01/01/2012", "07/03/2012"} << 1094 << "" << 0;
        QTest::newRow("nothing in range") << d << d.addDays(3) << QStringList{"06/03/2012", "11/03/2012"} << 1141
                                          << "There is no record for selected duration." << 1109;
        QTest::newRow("unreadable dates") << d << d << QStringList{"2012-03-07", "", "7 March 2012"} << 1142
                                          << "There is no record for selected duration." << 1109;
        QTest::newRow("empty log") << d << d << QStringList{} << 1093 << "There is no record for selected duration."
                                   << 1109;
        QTest::newRow("workbook") << d.addDays(-30) << d << QStringList{"7/2/2012"} << 1142 << "" << 0;
    }
    void okChecksTheRange()
    {
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(QStringList, dates);
        QFETCH(int, radio);
        QFETCH(QString, message);
        QFETCH(int, focus);
        QList<DataFiles::SentItem> rows;
        for (const QString& date : dates)
            rows.append({QStringLiteral("123"), QStringLiteral("m"), date});
        CExport_Option dialog(nullptr, rows, QDate(2012, 3, 31));
        dialog.open();
        byId<QDateEdit>(&dialog, 1109)->setDate(start);
        byId<QDateEdit>(&dialog, 1110)->setDate(end);
        byId<QRadioButton>(&dialog, radio)->click();
        byId<QPushButton>(&dialog, 1)->click();

        QCOMPARE(m_messages->last(), message);
        QCOMPARE(dialog.isVisible(), !message.isEmpty());
        QCOMPARE(exportOptions().range, (ExportDateRange{start, end}));
        if (message.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            const ExportFormat chosen = ExportFormat(QList<int>{1093, 1094, 1141, 1142}.indexOf(radio));
            QCOMPARE(dialog.format(), chosen);
            QCOMPARE(exportOptions().format, chosen);
        } else {
            QCOMPARE(dialog.focusWidget(), byId(&dialog, focus));
        }
    }

    void cancelAndEscapeExportNothing()
    {
        const QList<DataFiles::SentItem> rows = {{"1", "m", QDate::currentDate().toString("dd/MM/yyyy")}};
        CExport_Option dialog(nullptr, rows);
        dialog.open();
        byId<QPushButton>(&dialog, 2)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        CExport_Option again(nullptr, rows);
        again.open();
        QTest::keyClick(&again, Qt::Key_Escape);
        QCOMPARE(again.result(), int(QDialog::Rejected));
        QVERIFY(m_messages->shown.isEmpty());
    }
};

QTEST_MAIN(TestExportOption)
#include "test_exportoption.moc"
