#include "Biff8TestWriter.h"
#include "TestWorkbooks.h"
#include "XlsxTestWriter.h"
#include "import/ContactPreview.h"
#include "store/DataFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

// The command-line look at a contact file: what it prints, and how it fails.
class TestContactPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_out, m_err;

    int run(const QStringList& args)
    {
        m_out.clear();
        m_err.clear();
        QTextStream out(&m_out), err(&m_err);
        return ContactPreview::run(args, out, err);
    }
    QStringList lines() const { return m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString textFile(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }

private slots:
    void initTestCase()
    {
        qputenv("VEVA_SMS_APP_DIR", QDir(m_dir.path()).filePath(QStringLiteral("program")).toLocal8Bit());
        QDir().mkpath(m_dir.filePath(QStringLiteral("program")));
    }

    // Before the window ever ran there are no lists in use: nothing is excluded, nothing is created.
    void exclusionsNeverCreateTheDataFolder()
    {
        const QString txt = textFile(QStringLiteral("n.txt"), "123");
        QCOMPARE(run({QStringLiteral("--preview"), txt, QStringLiteral("--exclusions")}), 0);
        QCOMPARE(lines(), QStringList{QStringLiteral("123")});
        QVERIFY(m_err.isEmpty());
        QVERIFY(!QFileInfo::exists(DataFiles::dataFolder()));
    }

    // A formula saved without its result reads as empty, but --why says what it is.
    void whyNamesFormulasWithoutAResult()
    {
        const QByteArray rows("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Mobile</t></is></c>"
                              "<c r=\"B1\"><f>A1</f></c></row>"
                              "<row r=\"2\"><c r=\"A2\"><f>1+1</f><v></v></c></row>"
                              "<row r=\"3\"><c r=\"A3\"><v>447700900111</v></c></row>"
                              "<row r=\"4\"><c r=\"A4\"><f>A3</f></c></row>"
                              "<row r=\"5\"><c r=\"A5\" t=\"str\"><f>\"\"</f><v></v></c></row>"
                              "<row r=\"6\"><c r=\"A6\"><v>555</v></c><c r=\"B6\"><f>A6</f></c></row>");
        QVERIFY(RawPackage::workbook({{QStringLiteral("Contacts"), rows}}).save(path(QStringLiteral("f.xlsx"))));
        QCOMPARE(run({QStringLiteral("--preview"), path(QStringLiteral("f.xlsx")), QStringLiteral("--why")}), 0);
        QCOMPARE(lines(), (QStringList{"Contacts!A1\tMobile\tinvalid", "Contacts!A2\t\tformula without a stored result",
                                       "Contacts!A3\t447700900111\tadded\t447700900111",
                                       "Contacts!A4\t\tformula without a stored result", "Contacts!A5\t\tempty",
                                       "Contacts!A6\t555\tadded\t555", "Contacts!B1\t\tformula without a stored result",
                                       "Contacts!B2:B5\t\tempty", "Contacts!B6\t\tformula without a stored result"}));
        QVERIFY(m_err.isEmpty());
        // Without --why only the numbers are printed, as before.
        QCOMPARE(run({QStringLiteral("--preview"), path(QStringLiteral("f.xlsx"))}), 0);
        QCOMPARE(lines(), (QStringList{"447700900111", "555"}));
    }

    // A .csv file takes the spreadsheet path: one sheet named after the file, its columns by number.
    void csvFileReadsAsOneSheet()
    {
        const QString csv =
            textFile(QStringLiteral("Leads.csv"), "\xEF\xBB\xBFName;Mobile\r\n\"Smith; J.\";00447700900111\r\n"
                                                  "\"Two\r\nlines\";+447700900222\r\n");
        QCOMPARE(run({QStringLiteral("--sheets"), csv}), 0);
        QCOMPARE(lines(), QStringList{QStringLiteral("Leads")});
        QCOMPARE(run({QStringLiteral("--columns"), csv}), 0);
        QCOMPARE(lines(), (QStringList{"Name", "Mobile"}));
        QCOMPARE(run({QStringLiteral("--preview"), csv, QStringLiteral("--columns"), QStringLiteral("2"),
                      QStringLiteral("--why")}),
                 0);
        QCOMPARE(lines(), (QStringList{"Leads!B1\tMobile\tinvalid", "Leads!B2\t00447700900111\tadded\t00447700900111",
                                       "Leads!B3\t+447700900222\tadded\t00447700900222"}));
    }

    void sheetsAndColumns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xlsx") << QStringLiteral("book.xlsx");
        QTest::newRow("xls") << QStringLiteral("book.xls");
    }
    void sheetsAndColumns()
    {
        QFETCH(QString, name);
        QVERIFY(writeTestWorkbook(path(name), {TestSheet(QStringLiteral("Zeta")).number(0, 0, 1),
                                              TestSheet(QStringLiteral("Alpha"))
                                                  .text(2, 1, QStringLiteral("Phone"))
                                                  .text(2, 3, QStringLiteral("Mobile"))
                                                  .number(3, 1, 5),
                                              TestSheet(QStringLiteral("Mid"))}));
        QCOMPARE(run({QStringLiteral("--sheets"), path(name)}), 0);
        QCOMPARE(lines(), (QStringList{"Zeta", "Alpha", "Mid"}));
        QCOMPARE(run({QStringLiteral("--columns"), path(name), QStringLiteral("--sheet"), QStringLiteral("2")}), 0);
        QCOMPARE(lines(), (QStringList{"Phone", "Untitled Column 1", "Mobile"}));
        QCOMPARE(run({QStringLiteral("--columns"), path(name)}), 0);
        QCOMPARE(lines(), QStringList{QStringLiteral("1")});
        QCOMPARE(run({QStringLiteral("--columns"), path(name), QStringLiteral("--sheet"), QStringLiteral("3")}), 1);
        QCOMPARE(m_err.trimmed(), QStringLiteral("Excel sheet is empty."));
        QCOMPARE(run({QStringLiteral("--columns"), path(name), QStringLiteral("--sheet"), QStringLiteral("4")}), 2);
        QVERIFY(m_err.startsWith(QStringLiteral("veva-sms: sheet 4 is beyond the 3 sheets of the workbook")));
    }

    void whyTellsEveryOutcome()
    {
        // An exclusion list in use in the program's data folder, read and never written.
        DataFiles::EnsureDataFiles();
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::exclusionIndexPath(), {QStringLiteral("Staff")}));
        QVERIFY(DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), {QStringLiteral("Staff")}).isEmpty());
        QVERIFY(DataFiles::RewriteExclusionFile(DataFiles::exclusionListPath(QStringLiteral("Staff")),
                                                {QStringLiteral("00447700900123")})
                    .isEmpty());
        QVERIFY(writeTestWorkbook(path(QStringLiteral("why.xlsx")),
                                  {TestSheet(QStringLiteral("Contacts"))
                                       .text(0, 0, QStringLiteral("Mobile"))
                                       .number(1, 0, 447700900111.0)
                                       .text(2, 0, QStringLiteral("+447700900123"))
                                       .text(3, 0, QStringLiteral("4477-00900111"))
                                       .text(4, 0, QStringLiteral("-"))
                                       .text(5, 0, QStringLiteral("x\ty"))
                                       .text(0, 2, QStringLiteral("Name"))
                                       .text(8, 0, QStringLiteral("555"))}));
        QCOMPARE(run({QStringLiteral("--preview"), path(QStringLiteral("why.xlsx")), QStringLiteral("--columns"),
                      QStringLiteral("1,2,3"), QStringLiteral("--skip-duplicates"), QStringLiteral("--exclusions"),
                      QStringLiteral("--why")}),
                 0);
        QCOMPARE(lines(), (QStringList{"Contacts!A1\tMobile\tinvalid", "Contacts!A2\t447700900111\tadded\t447700900111",
                                       "Contacts!A3\t+447700900123\texcluded", "Contacts!A4\t4477-00900111\tduplicate",
                                       "Contacts!A5\t-\tempty", "Contacts!A6\tx\\ty\tinvalid",
                                       "Contacts!A7:A8\t\tempty", "Contacts!A9\t555\tadded\t555",
                                       "Contacts!B1:B9\t\tempty", "Contacts!C1\tName\tinvalid",
                                       "Contacts!C2:C9\t\tempty"}));
        QVERIFY(m_err.isEmpty());

        const QString txt = textFile(QStringLiteral("why.txt"), "111, 2 22\r\n111\rabc");
        QCOMPARE(run({QStringLiteral("--preview"), txt, QStringLiteral("--skip-duplicates"), QStringLiteral("--why")}), 0);
        QCOMPARE(lines(), (QStringList{"token 1\t111\tadded\t111", "token 2\t222\tadded\t222", "token 3\t111\tduplicate",
                                       "token 4\tabc\tinvalid"}));
        QCOMPARE(run({QStringLiteral("--preview"), txt}), 0);
        QCOMPARE(lines(), (QStringList{"111", "222", "111"}));
    }

    void failuresSayWhatTheWindowWouldSay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QStringList{"--preview", "nothing.txt"} << 1
                                 << QStringLiteral("File does not exist on selected location.");
        QTest::newRow("other extension") << QStringList{"--preview", "numbers.doc"} << 1
                                         << QStringLiteral("Please select a valid file.");
        QTest::newRow("text named .ods") << QStringList{"--preview", "numbers.ods"} << 1
                                         << QStringLiteral("Failed to open Excel file!");
        QTest::newRow("bom") << QStringList{"--preview", "bom.txt"} << 1
                             << QStringLiteral("Please select the ANSI encoded text file.");
        QTest::newRow("empty") << QStringList{"--preview", "empty.txt"} << 1 << QStringLiteral("File is empty.");
        QTest::newRow("no rows") << QStringList{"--preview", "letters.txt"} << 1
                                 << QStringLiteral("Either file is corrupted or selected file contains invalid "
                                                   "characters.\n\nOR\n\nRecipient number is skipped because of using "
                                                   "'Skip Duplicate Numbers' or 'Exclusion List' option.");
        QTest::newRow("not a workbook") << QStringList{"--sheets", "fake.xlsx"} << 1
                                        << QStringLiteral("Failed to open Excel file!");
        QTest::newRow("password") << QStringList{"--sheets", "locked.xls"} << 1
                                  << QStringLiteral("Excel Error : File reading process is discarded.");
        QTest::newRow("sheets of a text file") << QStringList{"--sheets", "letters.txt"} << 1
                                               << QStringLiteral("Please select a valid file.");
    }
    void failuresSayWhatTheWindowWouldSay()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        textFile(QStringLiteral("numbers.doc"), "123");
        textFile(QStringLiteral("numbers.ods"), "123");
        textFile(QStringLiteral("bom.txt"), "\xEF\xBB\xBF" "123");
        textFile(QStringLiteral("empty.txt"), "");
        textFile(QStringLiteral("letters.txt"), "abc,def");
        textFile(QStringLiteral("fake.xlsx"), "this is text");
        Biff8TestWriter locked;
        locked.addSheet(QStringLiteral("S")).number(0, 0, 1);
        locked.setFilePass();
        QVERIFY(locked.save(path(QStringLiteral("locked.xls"))));
        args[1] = path(args[1]);
        QCOMPARE(run(args), status);
        QCOMPARE(m_err.trimmed(), message);
    }

    void wrongUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no file") << QStringList{"--preview"};
        QTest::newRow("two commands") << QStringList{"--sheets", "a.xls", "--preview", "b.xls"};
        QTest::newRow("bad sheet") << QStringList{"--columns", "a.xls", "--sheet", "0"};
        QTest::newRow("bad columns") << QStringList{"--preview", "a.xls", "--columns", "1,x"};
        QTest::newRow("unknown option") << QStringList{"--preview", "a.xls", "--fast"};
        QTest::newRow("why without preview") << QStringList{"--sheets", "a.xls", "--why"};
        QTest::newRow("no command") << QStringList{"--why", "a.xls"};
        QTest::newRow("a second file") << QStringList{"--preview", "a.xls", "b.xls"};
    }
    void wrongUsage()
    {
        QFETCH(QStringList, args);
        QCOMPARE(run(args), 2);
        QVERIFY(m_err.contains(QStringLiteral("veva-sms --preview FILE")));
        QVERIFY(m_out.isEmpty());
    }

    void columnsBeyondTheSheetAreWrongUsage()
    {
        QVERIFY(writeTestWorkbook(path(QStringLiteral("two.xls")),
                                  {TestSheet(QStringLiteral("S")).number(0, 0, 1).number(0, 1, 2)}));
        QCOMPARE(run({QStringLiteral("--preview"), path(QStringLiteral("two.xls")), QStringLiteral("--columns"),
                      QStringLiteral("2,3")}),
                 2);
        QVERIFY(m_err.contains(QStringLiteral("column 3 is beyond the 2 columns")));
    }
};

QTEST_GUILESS_MAIN(TestContactPreview)
#include "test_contactpreview.moc"
