// Workbooks as LibreOffice Calc and Gnumeric save them (tests/import/data,
// made by make.sh there from contacts.fods), read back cell by cell.

#include "import/workbook/Workbook.h"

#include <QTest>

using Workbook::CellKind;

namespace {

const QString kData = QStringLiteral(VEVA_TEST_DATA);

QString reference(quint32 row, quint32 col)
{
    return QChar(u'A' + col) + QString::number(row + 1);
}

// One line per stored cell holding something: "C2 Number 1.5".
QStringList describe(const Workbook::Sheet& sheet)
{
    static const char* kinds[] = {"Empty", "Text", "Number", "Boolean", "Date", "Error"};
    QStringList out;
    for (const Workbook::Cell& c : sheet.cells()) {
        if (c.kind == CellKind::Empty)
            continue;
        QString line = reference(c.row, c.col) + u' ' + QLatin1String(kinds[int(c.kind)]) + u' ';
        line += c.kind == CellKind::Text || c.kind == CellKind::Error ? sheet.text(c).toString()
                                                                      : QString::number(c.number(), 'g', 15);
        out.append(line);
    }
    return out;
}

// contacts.fods, row by row.
QStringList source()
{
    return {
        "A1 Text Name",
        "B1 Text Mobile",
        "C1 Text Amount",
        "D1 Text Member",
        "E1 Text Code",
        "F1 Text Other",
        "A2 Text Asha",
        "B2 Number 919876543210",
        "C2 Number 1.5",
        "D2 Boolean 1",
        "E2 Text 00123",
        "F2 Date 45356", // 5 March 2024, dd/mm/yyyy
        "A3 Text Ravi",
        "B3 Text +91 98765 43210",
        "C3 Number -42.25",
        "D3 Boolean 0",
        "E3 Text 9876543210",
        "F3 Number 12345", // 0.00E+00
        "A4 Text Zero",
        "B4 Number 0",
        "C4 Number 0.3",
        "D4 Number 12345",
        "E4 Text -7",
        "F4 Number 0.25", // 0%
        "A5 Text Time",
        "B5 Number -1",
        "C5 Number 1", // 0.00E+00
        "D5 Number 1",
        QStringLiteral("E5 Text Ma\u00f1ana"),
        "F5 Date 0.770833333333333", // 18:30, hh:mm
    };
}

} // namespace

class TestSavedWorkbooks : public QObject
{
    Q_OBJECT

private slots:
    void cells_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("cells");

        QTest::newRow("LibreOffice .xlsx") << "libreoffice.xlsx" << source();
        QTest::newRow("LibreOffice .xls") << "libreoffice.xls" << source();
        QTest::newRow("Gnumeric .xlsx") << "gnumeric.xlsx" << source();
        QTest::newRow("Gnumeric .xls") << "gnumeric.xls" << source();
        QTest::newRow("LibreOffice .ods") << "libreoffice.ods" << source();
    }
    void cells()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, cells);
        Workbook::OpenResult opened = Workbook::openFile(kData + u'/' + file);
        QVERIFY2(opened.status == Workbook::OpenStatus::Ok, qPrintable(opened.detail));
        QCOMPARE(opened.file->sheetNames(), QStringList{"Contacts"});
        Workbook::Sheet sheet;
        QString error;
        QVERIFY2(opened.file->loadSheet(0, sheet, error), qPrintable(error));
        QCOMPARE(describe(sheet), cells);
    }
};

QTEST_APPLESS_MAIN(TestSavedWorkbooks)
#include "test_savedworkbooks.moc"
