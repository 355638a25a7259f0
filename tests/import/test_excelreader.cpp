#include "FakeWorkbook.h"
#include "import/CellText.h"
#include "import/ExcelReader.h"
#include "import/WorkbookTables.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#ifdef VEVA_TEST_WORKBOOKS
#include "TestWorkbooks.h"
#endif

#include <cerrno>
#include <cstring>

using Workbook::CellKind;

class TestExcelReader : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { TextCodec::setAnsiCodePage("windows-1252"); }

    void openFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("systemError");
        QTest::addColumn<QString>("shown");
        QTest::newRow("not a workbook") << int(Workbook::OpenStatus::NotAWorkbook) << 0
                                        << QStringLiteral("Failed to open Excel file!");
        QTest::newRow("unreadable, with the reason")
            << int(Workbook::OpenStatus::Unreadable) << EACCES
            << QStringLiteral("Failed to open Excel file!\n") + QString::fromLocal8Bit(std::strerror(EACCES));
        QTest::newRow("a kind this build cannot read")
            << int(Workbook::OpenStatus::NoBackend) << 0
            << QStringLiteral("Microsoft Excel must be installed to use this feature.");
    }
    void openFailures()
    {
        QFETCH(int, status);
        QFETCH(int, systemError);
        QFETCH(QString, shown);
        FakeEngine engine;
        engine.fail(QStringLiteral("book.xlsx"), Workbook::OpenStatus(status), systemError);
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(reader.StartExcel());
        QVERIFY(!reader.OpenWorkbook(QStringLiteral("book.xlsx")));
        QCOMPARE(ui.errors, QStringList{shown});
        // The callers end every failed read again; that must be harmless.
        reader.EndExcel();
        reader.EndExcel();
        QCOMPARE(ui.errors.size(), 1);
    }

#ifdef VEVA_TEST_WORKBOOKS
    // A reader that ended leaves the workbook for the next open of the same unchanged file
    // (the wizard opens a file twice); a file changed since is read again.
    void nextOpenOfTheSameFileTakesTheWorkbook()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("book.xls"));
        QVERIFY(writeTestWorkbook(path, {TestSheet(QStringLiteral("Parents")).number(0, 0, 1)}));
        auto sheetNames = [&path]() -> std::optional<QStringList> {
            RecordingExcelUi ui;
            ExcelReader reader(ui);
            if (!reader.StartExcel() || !reader.OpenWorkbook(path))
                return std::nullopt;
            reader.ListSheetNames();
            reader.EndExcel();
            return g_arrSheetNames;
        };
        QCOMPARE(sheetNames(), QStringList{QStringLiteral("Parents")});

        // Same size and time, other bytes: only the kept workbook can answer.
        const QDateTime modified = QFileInfo(path).lastModified();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray garbage(int(file.size()), 'x');
        QCOMPARE(file.write(garbage), garbage.size());
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(sheetNames(), QStringList{QStringLiteral("Parents")});

        // Taken by that read and put back when it ended; a newer time makes it go.
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified.addSecs(5), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(sheetNames(), std::nullopt);
    }
#endif

    void missingEngineIsReportedAtStart()
    {
        FakeEngine engine;
        ExcelReader::setEngineMissingForTests(true);
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(!reader.StartExcel());
        QCOMPARE(ui.errors, QStringList{QStringLiteral("Microsoft Excel must be installed to use this feature.")});
        QVERIFY(!reader.OpenWorkbook(QStringLiteral("x.xlsx")));
        QCOMPARE(engine.opens.load(), 0);
    }

    void encryptedWorkbookRaisesThePasswordDescription()
    {
        FakeEngine engine;
        engine.fail(QStringLiteral("locked.xlsx"), Workbook::OpenStatus::Encrypted);
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(reader.StartExcel());
        try {
            reader.OpenWorkbook(QStringLiteral("locked.xlsx"));
            QFAIL("no automation failure");
        } catch (const ExcelAutomationError& e) {
            QCOMPARE(e.description, QStringLiteral("The password you supplied is not correct. Verify that the CAPS "
                                                   "LOCK key is off and be sure to use the correct capitalization."));
        }
        QVERIFY(ui.errors.isEmpty());
    }

    void sheetsAreListedInWorkbookOrder()
    {
        FakeEngine engine;
        engine.book(QStringLiteral("b.xlsx"), {FakeSheet(QStringLiteral("Zeta")), FakeSheet(QStringLiteral("Alpha")), FakeSheet(QStringLiteral("Mid"))});
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xlsx")));
        reader.ListSheetNames();
        QCOMPARE(g_arrSheetNames, (QStringList{QStringLiteral("Zeta"), QStringLiteral("Alpha"), QStringLiteral("Mid")}));
    }

    void sheetFailures()
    {
        FakeEngine engine;
        FakeSheet damaged{QStringLiteral("D")};
        damaged.damaged = true;
        FakeSheet rangeless{QStringLiteral("R")};
        rangeless.noRange = true;
        rangeless.number("A1", 1);
        FakeSheet huge{QStringLiteral("H")};
        huge.outOfMemory = true;
        engine.book(QStringLiteral("b.xls"), {damaged, rangeless, huge});
        RecordingExcelUi ui;
        {
            ExcelReader reader(ui);
            QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xls")));
            QVERIFY(!reader.SelectWorksheet(4));
            QCOMPARE(ui.errors.takeFirst(), QStringLiteral("Failed to get Excel Worksheet!"));
        }
        {
            // Out of memory ends the read like damaged data, not the program.
            ExcelReader reader(ui);
            QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xls")));
            QVERIFY_THROWS_EXCEPTION(ExcelAutomationError, reader.SelectWorksheet(3));
        }
        {
            ExcelReader reader(ui);
            QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xls")));
            QVERIFY_THROWS_EXCEPTION(ExcelAutomationError, reader.SelectWorksheet(1));
        }
        {
            ExcelReader reader(ui);
            QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xls")));
            QVERIFY(reader.SelectWorksheet(2));
            QCOMPARE(reader.LoadUsedGrid(), ExcelReader::Grid::NoRange);
            QCOMPARE(ui.errors.takeFirst(), QStringLiteral("Failed to get header cell range!"));
        }
        QVERIFY(ui.errors.isEmpty());
    }

    // What the used range is and how cells are addressed in it.
    void usedRange_data()
    {
        QTest::addColumn<FakeSheet>("sheet");
        QTest::addColumn<int>("grid");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::addColumn<QString>("firstCell");
        QTest::newRow("no cells: empty") << FakeSheet{QStringLiteral("S")} << int(ExcelReader::Grid::Empty) << 0 << 0
                                         << QString();
        QTest::newRow("one styled blank cell: empty")
            << FakeSheet{QStringLiteral("S")}.blank("D4") << int(ExcelReader::Grid::Empty) << 0 << 0 << QString();
        QTest::newRow("only A1") << FakeSheet{QStringLiteral("S")}.text("A1", QStringLiteral("9876"))
                                 << int(ExcelReader::Grid::Cells) << 1 << 1 << QStringLiteral("9876");
        QTest::newRow("only C5 is read, not lost") << FakeSheet{QStringLiteral("S")}.number("C5", 447700900123)
                                                   << int(ExcelReader::Grid::Cells) << 1 << 1
                                                   << QStringLiteral("447700900123");
        QTest::newRow("range from B3: column 1 is B, row 1 is 3")
            << FakeSheet{QStringLiteral("S")}.text("B3", QStringLiteral("first")).number("D7", 5)
            << int(ExcelReader::Grid::Cells) << 5 << 3 << QStringLiteral("first");
        QTest::newRow("blank cells widen the range")
            << FakeSheet{QStringLiteral("S")}.number("A1", 1).blank("J40") << int(ExcelReader::Grid::Cells) << 40 << 10
            << QStringLiteral("1");
    }
    void usedRange()
    {
        QFETCH(FakeSheet, sheet);
        QFETCH(int, grid);
        QFETCH(int, rows);
        QFETCH(int, cols);
        QFETCH(QString, firstCell);
        FakeEngine engine;
        engine.book(QStringLiteral("b.xlsx"), {sheet});
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xlsx")) && reader.SelectWorksheet(1));
        QCOMPARE(int(reader.LoadUsedGrid()), grid);
        QCOMPARE(reader.rows(), rows);
        QCOMPARE(reader.cols(), cols);
        if (grid == int(ExcelReader::Grid::Cells))
            QCOMPARE(reader.ReadCellText(1, 1), std::optional<QString>(firstCell));
        QVERIFY(ui.errors.isEmpty());
    }

    void cellsOfAColumnMatchReadingEveryRow()
    {
        FakeEngine engine;
        FakeSheet sheet{QStringLiteral("S")};
        sheet.text("B2", QStringLiteral("Phone")).number("B4", 111).error("B5").blank("B6").text("C9", QStringLiteral("x"));
        sheet.text("B8", QStringLiteral("222"));
        engine.book(QStringLiteral("b.xlsx"), {sheet});
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xlsx")) && reader.SelectWorksheet(1));
        QCOMPARE(reader.LoadUsedGrid(), ExcelReader::Grid::Cells);
        QStringList everyRow, visited;
        for (int r = 1; r <= reader.rows(); ++r) {
            const auto t = reader.ReadCellText(r, 1);
            if (!t)
                everyRow << QStringLiteral("%1:error").arg(r);
            else if (!t->isEmpty())
                everyRow << QStringLiteral("%1:%2").arg(r).arg(*t);
        }
        reader.ForEachCellOfColumn(1, [&](int r, const std::optional<QString>& t) {
            visited << (t ? QStringLiteral("%1:%2").arg(r).arg(*t) : QStringLiteral("%1:error").arg(r));
        });
        QCOMPARE(visited, everyRow);
        QCOMPARE(visited, (QStringList{"1:Phone", "3:111", "4:error", "7:222"}));
        QVERIFY_THROWS_EXCEPTION(ExcelAutomationError, reader.ReadCellText(reader.rows() + 1, 1));
    }

    void cellTextIsNarrowedToTheAnsiCodePage()
    {
        FakeEngine engine;
        engine.book(QStringLiteral("b.xlsx"), {FakeSheet{QStringLiteral("Café Ω")}.text("A1", QStringLiteral("Ωmega é"))});
        RecordingExcelUi ui;
        ExcelReader reader(ui);
        QVERIFY(reader.StartExcel() && reader.OpenWorkbook(QStringLiteral("b.xlsx")));
        reader.ListSheetNames();
        QCOMPARE(g_arrSheetNames.first(), QStringLiteral("Café ?"));
        QVERIFY(reader.SelectWorksheet(1));
        QCOMPARE(reader.LoadUsedGrid(), ExcelReader::Grid::Cells);
        QCOMPARE(*reader.ReadCellText(1, 1), QStringLiteral("?mega é"));
        QVERIFY(TextCodec::setAnsiCodePage("windows-1253"));
        QCOMPARE(*reader.ReadCellText(1, 1), QStringLiteral("Ωmega ?"));
    }

    void valueTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("number");
        QTest::addColumn<QString>("text");
        const int num = int(CellKind::Number);
        QTest::newRow("long phone number") << num << 919876543210.0 << QStringLiteral("919876543210");
        QTest::newRow("fraction") << num << 1.5 << QStringLiteral("1.5");
        QTest::newRow("16 digits become 15 and an exponent") << num << 1234567890123456.0
                                                           << QStringLiteral("1.23456789012346E+15");
        QTest::newRow("1E+15") << num << 1e15 << QStringLiteral("1E+15");
        QTest::newRow("14 digits stay whole") << num << 99999999999999.0 << QStringLiteral("99999999999999");
        QTest::newRow("small") << num << 0.0001 << QStringLiteral("0.0001");
        QTest::newRow("smaller") << num << 0.00001 << QStringLiteral("1E-05");
        QTest::newRow("negative") << num << -42.25 << QStringLiteral("-42.25");
        QTest::newRow("rounded binary fraction") << num << 0.1 + 0.2 << QStringLiteral("0.3");
        QTest::newRow("zero") << num << 0.0 << QStringLiteral("0");
        QTest::newRow("TRUE") << int(CellKind::Boolean) << 1.0 << QStringLiteral("-1");
        QTest::newRow("FALSE") << int(CellKind::Boolean) << 0.0 << QStringLiteral("0");
        QTest::newRow("date") << int(CellKind::Date) << 45292.0 << QStringLiteral("1/1/24");
        QTest::newRow("date and time") << int(CellKind::Date) << 45292.75 << QStringLiteral("1/1/24 6:00:00 PM");
        QTest::newRow("time only") << int(CellKind::Date) << 0.5 << QStringLiteral("12:00:00 PM");
        QTest::newRow("empty") << int(CellKind::Empty) << 0.0 << QString();
    }
    void valueTexts()
    {
        QFETCH(int, kind);
        QFETCH(double, number);
        QFETCH(QString, text);
        Workbook::Sheet sheet;
        sheet.add({0, 0, CellKind(kind), false, number, {}});
        QCOMPARE(CellValueText(sheet, &sheet.cells().front()), std::optional<QString>(text));
    }

    void errorValuesCannotBeConverted()
    {
        Workbook::Sheet sheet;
        sheet.addText(0, 0, CellKind::Error, u"#N/A");
        QVERIFY(!CellValueText(sheet, &sheet.cells().front()).has_value());
        QCOMPARE(CellValueText(sheet, nullptr), std::optional<QString>(QString()));
    }

    void decimalPointFollowsTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(NumberText(1.5), QStringLiteral("1,5"));
        QCOMPARE(NumberText(1.25e20), QStringLiteral("1,25E+20"));
    }
};

QTEST_GUILESS_MAIN(TestExcelReader)
#include "test_excelreader.moc"
