// OpenDocument spreadsheets: content.xml as writers produce it, read cell by cell.

#include "XlsxTestWriter.h"
#include "import/ods/OdsContent.h"
#include "import/workbook/WorkbookBackends.h"

#include <QTest>

using Workbook::CellKind;

namespace {

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                         "<office:document-content"
                         " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
                         " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
                         " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
                         " xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\""
                         " xmlns:t2=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\">"
                         "<office:body><office:spreadsheet>";
const QByteArray kTail = "</office:spreadsheet></office:body></office:document-content>";

QByteArray package(const QByteArray& tables, const QByteArray& manifest = {})
{
    RawPackage p;
    p.part(QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet", RawPackage::Storage::Stored);
    p.part(QStringLiteral("content.xml"), kHead + tables + kTail);
    if (!manifest.isEmpty())
        p.part(QStringLiteral("META-INF/manifest.xml"), manifest);
    return p.zip();
}

QByteArray table(const QByteArray& rows, const QByteArray& name = "S")
{
    return "<table:table table:name=\"" + name + "\">" + rows + "</table:table>";
}

QString reference(quint32 row, quint32 col)
{
    QString letters;
    for (quint32 c = col + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

// "B2 Number 1.5"; a formula without its result reads "Formula".
QStringList describe(const Workbook::Sheet& sheet)
{
    static const char* kinds[] = {"Empty", "Text", "Number", "Boolean", "Date", "Error"};
    QStringList out;
    for (const Workbook::Cell& c : sheet.cells()) {
        QString line = reference(c.row, c.col) + u' ';
        if (c.formulaWithoutResult)
            line += QStringLiteral("Formula");
        else
            line += QLatin1String(kinds[int(c.kind)]) + u' ' +
                    (c.kind == CellKind::Text || c.kind == CellKind::Error ? sheet.text(c).toString()
                                                                           : QString::number(c.number(), 'g', 15));
        out.append(line);
    }
    return out;
}

} // namespace

class TestOdsReader : public QObject
{
    Q_OBJECT

private slots:
    void cells_data()
    {
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("value types")
            << QByteArray(
                   "<table:table-row>"
                   "<table:table-cell office:value-type=\"float\" office:value=\"-42.25\"><text:p>-42,25</text:p>"
                   "</table:table-cell>"
                   "<table:table-cell office:value-type=\"percentage\" office:value=\"0.25\"><text:p>25%</text:p>"
                   "</table:table-cell>"
                   "<table:table-cell office:value-type=\"currency\" office:currency=\"EUR\" office:value=\"3\">"
                   "<text:p>3,00 €</text:p></table:table-cell>"
                   "<table:table-cell office:value-type=\"date\" "
                   "office:date-value=\"2024-03-05\"><text:p>05/03/24</text:p>"
                   "</table:table-cell>"
                   "<table:table-cell office:value-type=\"time\" "
                   "office:time-value=\"PT18H30M00S\"><text:p>18:30</text:p>"
                   "</table:table-cell>"
                   "<table:table-cell office:value-type=\"boolean\" "
                   "office:boolean-value=\"false\"><text:p>FALSE</text:p>"
                   "</table:table-cell>"
                   "<table:table-cell office:value-type=\"string\"><text:p>00123</text:p></table:table-cell>"
                   "<table:table-cell office:value-type=\"string\" office:string-value=\"kept\"><text:p>shown</text:p>"
                   "</table:table-cell>"
                   "</table:table-row>")
            << QStringList{"A1 Number -42.25",          "B1 Number 0.25", "C1 Number 3",   "D1 Date 45356",
                           "E1 Date 0.770833333333333", "F1 Boolean 0",   "G1 Text 00123", "H1 Text kept"};
        QTest::newRow("paragraph text")
            << QByteArray("<table:table-row><table:table-cell office:value-type=\"string\">"
                          "<text:p>a<text:s text:c=\"3\"/>b<text:tab/>c<text:line-break/>d  \n e</text:p>"
                          "<text:p><text:span>second</text:span> <text:a>link</text:a></text:p>"
                          "<office:annotation><text:p>a comment</text:p></office:annotation>"
                          "</table:table-cell></table:table-row>")
            << QStringList{"A1 Text a   b\tc\nd e\nsecond link"};
        QTest::newRow("repeated rows and columns")
            << QByteArray("<table:table-row table:number-rows-repeated=\"2\">"
                          "<table:table-cell table:number-columns-repeated=\"2\"/>"
                          "<table:table-cell table:number-columns-repeated=\"2\" office:value-type=\"float\" "
                          "office:value=\"7\"/>"
                          "</table:table-row>"
                          "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell "
                          "table:number-columns-repeated=\"16384\"/></table:table-row>"
                          "<table:table-row><table:table-cell office:value-type=\"float\" "
                          "office:value=\"1\"/></table:table-row>")
            << QStringList{"C1 Number 7", "D1 Number 7", "C2 Number 7", "D2 Number 7", "A1048003 Number 1"};
        QTest::newRow("covered cells take their place")
            << QByteArray(
                   "<table:table-header-rows><table:table-row>"
                   "<table:table-cell table:number-columns-spanned=\"2\" "
                   "office:value-type=\"string\"><text:p>Both</text:p>"
                   "</table:table-cell><table:covered-table-cell office:value-type=\"string\"><text:p>hidden</text:p>"
                   "</table:covered-table-cell>"
                   "<table:table-cell office:value-type=\"string\"><text:p>C</text:p></table:table-cell>"
                   "</table:table-row></table:table-header-rows>")
            << QStringList{"A1 Text Both", "C1 Text C"};
        QTest::newRow("formulas, errors, no value")
            << QByteArray(
                   "<table:table-row>"
                   "<table:table-cell table:formula=\"of:=1+1\"/>"
                   "<table:table-cell table:formula=\"of:=1+1\" office:value-type=\"float\" office:value=\"2\"/>"
                   "<table:table-cell table:formula=\"of:=1/0\" office:value-type=\"string\" office:string-value=\"\""
                   " calcext:value-type=\"error\"><text:p>#DIV/0!</text:p></table:table-cell>"
                   "<table:table-cell office:value-type=\"float\" "
                   "office:value=\"x\"><text:p>x</text:p></table:table-cell>"
                   "<table:table-cell office:value-type=\"string\"/>"
                   "<table:table-cell><text:p>untyped</text:p></table:table-cell>"
                   "</table:table-row>")
            << QStringList{"A1 Formula", "B1 Number 2", "C1 Error #DIV/0!", "D1 Text x", "F1 Text untyped"};
        // Any prefix bound to the table namespace is the table namespace; a table in a cell is no sheet.
        QTest::newRow("prefixes and nested tables")
            << QByteArray(
                   "<t2:table-row><t2:table-cell t2:number-columns-repeated=\"2\" office:value-type=\"float\""
                   " office:value=\"5\"><table:table table:name=\"inner\"><table:table-row><table:table-cell "
                   "office:value-type=\"float\" office:value=\"9\"/></table:table-row></table:table></t2:table-cell>"
                   "</t2:table-row>")
            << QStringList{"A1 Number 5", "B1 Number 5"};
    }
    void cells()
    {
        QFETCH(QByteArray, rows);
        QFETCH(QStringList, cells);
        Workbook::OpenResult opened = Workbook::openBytes(package(table(rows)));
        QVERIFY2(opened.status == Workbook::OpenStatus::Ok, qPrintable(opened.detail));
        QCOMPARE(opened.file->sheetNames(), QStringList{"S"});
        Workbook::Sheet sheet;
        QString error;
        QVERIFY2(opened.file->loadSheet(0, sheet, error), qPrintable(error));
        QCOMPARE(describe(sheet), cells);
    }

    void sheetsInOrder()
    {
        const QByteArray bytes =
            package(table("<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"1\"/>"
                          "</table:table-row>",
                          "Zeta") +
                    table("", "Alpha") +
                    table("<table:table-row><table:table-cell office:value-type=\"string\"><text:p>Ä</text:p>"
                          "</table:table-cell></table:table-row>",
                          "M\xC3\xBC"));
        Workbook::OpenResult opened = Workbook::openBytes(bytes);
        QVERIFY2(opened.file, qPrintable(opened.detail));
        QCOMPARE(opened.file->sheetNames(), (QStringList{"Zeta", "Alpha", QStringLiteral("M\u00fc")}));
        Workbook::Sheet sheet;
        QString error;
        QVERIFY(opened.file->loadSheet(2, sheet, error));
        QCOMPARE(describe(sheet), QStringList{QStringLiteral("A1 Text \u00c4")});
        QVERIFY(opened.file->loadSheet(1, sheet, error));
        QVERIFY(!sheet.hasCells());
        QVERIFY(!opened.file->loadSheet(3, sheet, error));
    }

    // Repeats that stand for more cells than a sheet holds end the read with a
    // reason, after at most the cells of one row were stored.
    void refusedSheets_data()
    {
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<QString>("reason");
        const QByteArray full = "<table:table-cell table:number-columns-repeated=\"16384\" office:value-type=\"float\""
                                " office:value=\"1\"/>";
        QTest::newRow("bomb of repeats") << "<table:table-row table:number-rows-repeated=\"1048576\">" + full +
                                                "</table:table-row>"
                                         << QStringLiteral("holds more than 8388608 cells");
        QTest::newRow("past the last column") << "<table:table-row>" + full +
                                                     "<table:table-cell office:value-type=\"float\" "
                                                     "office:value=\"1\"/></table:table-row>"
                                              << QStringLiteral("has a row of more than 16384 cells");
        QTest::newRow("past the last row")
            << QByteArray("<table:table-row table:number-rows-repeated=\"1048576\"/><table:table-row>"
                          "<table:table-cell office:value-type=\"float\" office:value=\"1\"/></table:table-row>")
            << QStringLiteral("has more than 1048576 rows");
        QTest::newRow("not well-formed") << QByteArray("<table:table-row><table:table-cell>")
                                         << QStringLiteral("not well-formed");
    }
    void refusedSheets()
    {
        QFETCH(QByteArray, rows);
        QFETCH(QString, reason);
        Xlsx::ZipPackage zip;
        const QByteArray bytes = package(table(rows));
        QString error;
        QVERIFY(zip.open(bytes, error));
        Workbook::Sheet sheet;
        QVERIFY(!Ods::readSheet(zip, 0, sheet, error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(sheet.cells().size() <= Workbook::kMaxColumns);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::newRow("no content") << [] {
            RawPackage p;
            p.part(QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                   RawPackage::Storage::Stored);
            return p.zip();
        }() << int(Workbook::OpenStatus::NotAWorkbook);
        QTest::newRow("truncated") << package(table("")).left(200) << int(Workbook::OpenStatus::NotAWorkbook);
        QTest::newRow("damaged content") << package("<table:table") << int(Workbook::OpenStatus::NotAWorkbook);
        QTest::newRow("password") << package(table(""), "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:"
                                                        "opendocument:xmlns:manifest:1.0\"><manifest:file-entry "
                                                        "manifest:full-path=\"content.xml\"><manifest:encryption-"
                                                        "data/></manifest:file-entry></manifest:manifest>")
                                  << int(Workbook::OpenStatus::Encrypted);
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        const Workbook::OpenResult opened = Workbook::openBytes(bytes);
        QCOMPARE(int(opened.status), status);
        QVERIFY(!opened.file);
    }

    void values_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("isDate");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("date") << QByteArray("2024-03-05") << true << true << 45356.0;
        QTest::newRow("before 1900") << QByteArray("1899-12-30") << true << true << 0.0;
        QTest::newRow("leap day") << QByteArray("2000-02-29T12:00:00") << true << true << 36585.5;
        QTest::newRow("fraction of a second") << QByteArray("1900-01-01T00:00:00.5") << true << true << 2 + 0.5 / 86400;
        QTest::newRow("time zone") << QByteArray("2024-03-05T06:00:00Z") << true << true << 45356.25;
        QTest::newRow("no day") << QByteArray("2024-03") << true << false << 0.0;
        QTest::newRow("month 13") << QByteArray("2024-13-01") << true << false << 0.0;
        QTest::newRow("text after") << QByteArray("2024-03-05x") << true << false << 0.0;
        QTest::newRow("time") << QByteArray("PT18H30M00S") << false << true << 18.5 / 24;
        QTest::newRow("past a day") << QByteArray("PT36H") << false << true << 1.5;
        QTest::newRow("days and seconds") << QByteArray("P1DT1.5S") << false << true << 1 + 1.5 / 86400;
        QTest::newRow("negative") << QByteArray("-PT12H") << false << true << -0.5;
        QTest::newRow("months") << QByteArray("P1M") << false << false << 0.0;
        QTest::newRow("empty") << QByteArray("PT") << false << false << 0.0;
        QTest::newRow("no unit") << QByteArray("PT12") << false << false << 0.0;
    }
    void values()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, isDate);
        QFETCH(bool, ok);
        QFETCH(double, value);
        double got = -1;
        const std::string_view view(text.constData(), size_t(text.size()));
        QCOMPARE(isDate ? Ods::parseDateValue(view, got) : Ods::parseTimeValue(view, got), ok);
        if (ok)
            QVERIFY2(qAbs(got - value) < 1e-9, qPrintable(QString::number(got, 'g', 17)));
    }
};

QTEST_APPLESS_MAIN(TestOdsReader)
#include "test_odsreader.moc"
