// The .xlsx reader on real files (written by libxlsxwriter), on hand-made
// packages holding what other writers produce, and on damaged and hostile ones.

#include "import/XlsxTestWriter.h"
#include "import/workbook/WorkbookBackends.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using Workbook::CellKind;
using Workbook::OpenStatus;

namespace {

QString reference(quint32 row, quint32 col)
{
    QString letters;
    for (quint32 c = col + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

// One line per stored cell: "B3 Text hello", "A1 Number 1.5".
QStringList describe(const Workbook::Sheet& sheet)
{
    static const char* kinds[] = {"Empty", "Text", "Number", "Boolean", "Date", "Error"};
    QStringList out;
    for (const Workbook::Cell& c : sheet.cells()) {
        QString line = reference(c.row, c.col) + u' ' + QLatin1String(kinds[int(c.kind)]);
        if (c.kind == CellKind::Text || c.kind == CellKind::Error)
            line += u' ' + sheet.text(c).toString();
        else if (c.kind != CellKind::Empty)
            line += u' ' + QString::number(c.number(), 'g', 15);
        if (c.formulaWithoutResult)
            line += QLatin1String(" (formula without result)");
        out.append(line);
    }
    return out;
}

QByteArray written(const XlsxTestWriter& writer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    QString error;
    if (!writer.save(path, &error))
        qWarning() << error;
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Loaded
{
    QStringList names;
    Workbook::Sheet sheet;
    QString error;
};

// Opens the package and loads sheet `index`; fails the test when either fails.
bool load(const QByteArray& bytes, Loaded& out, int index = 0)
{
    Workbook::OpenResult opened = Workbook::openBytes(bytes);
    if (opened.status != OpenStatus::Ok) {
        qWarning() << "open:" << opened.detail;
        return false;
    }
    out.names = opened.file->sheetNames();
    if (!opened.file->loadSheet(index, out.sheet, out.error)) {
        qWarning() << "load:" << out.error;
        return false;
    }
    return true;
}

QByteArray oneSheet(const QByteArray& sheetData)
{
    return RawPackage::workbook({{QStringLiteral("Sheet1"), sheetData}}).zip();
}

// The package with text replaced in one of its parts.
QByteArray replaced(RawPackage p, const QString& part, std::initializer_list<std::pair<QByteArray, QByteArray>> edits)
{
    QByteArray content = p.content(part);
    for (const auto& [from, to] : edits)
        content.replace(from, to);
    return p.part(part, content).zip();
}

const QString kWorkbook = QStringLiteral("xl/workbook.xml");
const QString kWorkbookRels = QStringLiteral("xl/_rels/workbook.xml.rels");
const QString kSheet1 = QStringLiteral("xl/worksheets/sheet1.xml");
const QString kSharedStrings = QStringLiteral("xl/sharedStrings.xml");
const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const QByteArray kDtd =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>";

} // namespace

class TestXlsxReader : public QObject
{
    Q_OBJECT

private slots:
    void writerCells_data();
    void writerCells();
    void rawCells_data();
    void rawCells();
    void sheetXmlReadEitherWay_data();
    void sheetXmlReadEitherWay();
    void packages_data();
    void packages();
    void sheetOrder();
    void usedRange_data();
    void usedRange();
    void refused_data();
    void refused();
    void damagedSheet_data();
    void damagedSheet();
};

void TestXlsxReader::writerCells_data()
{
    QTest::addColumn<int>("strings");
    QTest::newRow("shared strings") << int(XlsxTestWriter::Strings::Shared);
    QTest::newRow("inline strings") << int(XlsxTestWriter::Strings::Inline);
}

void TestXlsxReader::writerCells()
{
    QFETCH(int, strings);
    XlsxTestWriter w{XlsxTestWriter::Strings(strings)};
    w.sheet(QStringLiteral("Kinds"))
        .text(0, 0, QStringLiteral("919876543210"))
        .text(0, 1, QStringLiteral("Zoë\r\nnext line\x01"))
        .number(0, 2, 919876543210)
        .number(0, 3, 1.5)
        .boolean(0, 4, true)
        .boolean(0, 5, false)
        .date(0, 6, QDateTime(QDate(2024, 3, 5), QTime(10, 30)), QStringLiteral("dd/mm/yyyy hh:mm"))
        .formula(0, 7, QStringLiteral("=A1&\"x\""), QStringLiteral("919876543210x"))
        .formula(0, 8, QStringLiteral("=C1*2"), 1839753086420.0)
        .blank(0, 9);
    Loaded got;
    QVERIFY(load(written(w), got));
    QCOMPARE(got.names, QStringList{QStringLiteral("Kinds")});
    QCOMPARE(describe(got.sheet), (QStringList{
                                      QStringLiteral("A1 Text 919876543210"),
                                      QStringLiteral("B1 Text Zoë\r\nnext line\x01"),
                                      QStringLiteral("C1 Number 919876543210"),
                                      QStringLiteral("D1 Number 1.5"),
                                      QStringLiteral("E1 Boolean 1"),
                                      QStringLiteral("F1 Boolean 0"),
                                      QStringLiteral("G1 Date 45356.4375"),
                                      QStringLiteral("H1 Text 919876543210x"),
                                      QStringLiteral("I1 Number 1839753086420"),
                                      QStringLiteral("J1 Empty"),
                                  }));
}

void TestXlsxReader::rawCells_data()
{
    QTest::addColumn<QByteArray>("sheetData");
    QTest::addColumn<QByteArray>("sharedStrings"); // the <si> items; none when empty
    QTest::addColumn<QByteArray>("styles");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QStringList>("cells");

    QTest::newRow("shared strings: runs joined, phonetic runs left out")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v> 1 </v></c></row>")
        << QByteArray("<si><t>Plain</t></si><si><r><rPr><b/></rPr><t>Bold</t></r><r><t xml:space=\"preserve\"> and "
                      "plain</t></r><rPh sb=\"0\" eb=\"1\"><t>furigana</t></rPh><phoneticPr fontId=\"1\"/></si>")
        << QByteArray() << false << QStringList{"A1 Text Plain", "B1 Text Bold and plain"};
    QTest::newRow("inline strings, with runs")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Inline</t></is></c>"
                      "<c r=\"B1\" t=\"inlineStr\"><is><r><t>Ru</t></r><r><t>ns</t></r><rPh><t>x</t></rPh></is></c>"
                      "<c r=\"C1\" t=\"inlineStr\"><is><t/></is></c></row>")
        << QByteArray() << QByteArray() << false << QStringList{"A1 Text Inline", "B1 Text Runs", "C1 Text "};
    QTest::newRow("formula results")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"str\"><f>A2&amp;\"\"</f><v>text result</v></c>"
                      "<c r=\"B1\"><f>1+1</f><v>2</v></c><c r=\"C1\" t=\"str\"><f>\"\"</f><v></v></c>"
                      "<c r=\"D1\"><f>NOW()</f></c><c r=\"E1\"><f>1+1</f><v></v></c>"
                      "<c r=\"F1\" t=\"str\"><f>A1</f></c><c r=\"G1\" t=\"b\"><f>TRUE()</f><v/></c></row>")
        << QByteArray() << QByteArray() << false
        << QStringList{"A1 Text text result",
                       "B1 Number 2",
                       "C1 Text ",
                       "D1 Empty (formula without result)",
                       "E1 Empty (formula without result)",
                       "F1 Empty (formula without result)",
                       "G1 Empty (formula without result)"};
    QTest::newRow("booleans and errors")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"b\"><v>1</v></c><c r=\"B1\" t=\"b\"><v>0</v></c>"
                      "<c r=\"C1\" t=\"e\"><v>#N/A</v></c><c r=\"D1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
                      "<c r=\"E1\" t=\"b\"><v>maybe</v></c></row>")
        << QByteArray() << QByteArray() << false
        << QStringList{"A1 Boolean 1", "B1 Boolean 0", "C1 Error #N/A", "D1 Error #DIV/0!", "E1 Text maybe"};
    QTest::newRow("ISO dates")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"d\"><v>2024-03-05</v></c>"
                      "<c r=\"B1\" t=\"d\"><v>2024-03-05T18:00:00Z</v></c><c r=\"C1\" t=\"d\"><v>T18:00</v></c>"
                      "<c r=\"D1\" t=\"d\"><v>2024-02-30</v></c><c r=\"E1\" t=\"d\"><v>1899-12-29</v></c></row>")
        << QByteArray() << QByteArray() << false
        << QStringList{"A1 Date 45356", "B1 Date 45356.75", "C1 Date 0.75", "D1 Text 2024-02-30", "E1 Text 1899-12-29"};
    const QByteArray styled("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>45356</v></c><c r=\"B1\" s=\"2\"><v>45356.5</v></c>"
                            "<c r=\"C1\" s=\"3\"><v>7</v></c><c r=\"D1\" s=\"0\"><v>8</v></c>"
                            "<c r=\"E1\" s=\"99\"><v>9</v></c><c r=\"F1\" s=\"4\"><v>0.5</v></c>"
                            "<c r=\"G1\" s=\"1\"><v>-1</v></c><c r=\"H1\" s=\"1\"><v>2958466</v></c></row>");
    const QByteArray styles = stylesXml({0, 14, 164, 165, 166}, {{164, QStringLiteral("dd/mm/yyyy hh:mm")},
                                                                 {165, QStringLiteral("[Red]#,##0.00")},
                                                                 {166, QStringLiteral("[h]:mm")}});
    QTest::newRow("dates by number format")
        << styled << QByteArray() << styles << false
        << QStringList{"A1 Date 45356", "B1 Date 45356.5", "C1 Number 7",  "D1 Number 8",
                       "E1 Number 9",   "F1 Date 0.5",     "G1 Number -1", "H1 Number 2958466"};
    // LibreOffice saves its default format as custom format 164 "General".
    QTest::newRow("General and exponent codes show numbers")
        << QByteArray("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1.5</v></c><c r=\"B1\" s=\"2\"><v>0.3</v></c>"
                      "<c r=\"C1\" s=\"1\"><v>12345</v></c><c r=\"D1\" s=\"2\"><v>1</v></c>"
                      "<c r=\"E1\" s=\"3\"><v>45356</v></c></row>")
        << QByteArray()
        << stylesXml({0, 164, 165, 166}, {{164, QStringLiteral("General")},
                                          {165, QStringLiteral("0.00E+00")},
                                          {166, QStringLiteral("[$-409]dd/mm/yyyy")}})
        << false << QStringList{"A1 Number 1.5", "B1 Number 0.3", "C1 Number 12345", "D1 Number 1", "E1 Date 45356"};
    QTest::newRow("1904 date system")
        << QByteArray("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>0</v></c><c r=\"B1\" t=\"d\"><v>1904-01-01</v></c>"
                      "<c r=\"C1\"><v>0</v></c></row>")
        << QByteArray() << stylesXml({0, 14}) << true << QStringList{"A1 Date 1462", "B1 Date 1462", "C1 Number 0"};
    QTest::newRow("cells and rows without r=, numbered by position")
        << QByteArray("<row><c><v>1</v></c><c><v>2</v></c></row><row><c r=\"C2\"><v>3</v></c><c><v>4</v></c></row>"
                      "<row r=\"5\"><c><v>5</v></c></row><row><c><v>6</v></c></row>")
        << QByteArray() << QByteArray() << false
        << QStringList{"A1 Number 1", "B1 Number 2", "C2 Number 3", "D2 Number 4", "A5 Number 5", "A6 Number 6"};
    QTest::newRow("escaped characters")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                      "<c r=\"C1\" t=\"inlineStr\"><is><t>_x0041__x00g1_</t></is></c>"
                      "<c r=\"D1\" t=\"str\"><v>x_x0009_y</v></c></row>")
        << QByteArray("<si><t>a_x000D__x000A_b</t></si><si><t>_x005F_x000D_</t></si>") << QByteArray() << false
        << QStringList{"A1 Text a\r\nb", "B1 Text _x000D_", "C1 Text A_x00g1_", "D1 Text x\ty"};
    QTest::newRow("cells out of order; a later cell at the same place wins")
        << QByteArray("<row r=\"2\"><c r=\"B2\"><v>2</v></c></row><row r=\"1\"><c r=\"C1\"><v>1</v></c>"
                      "<c r=\"A1\"><v>8</v></c><c r=\"A1\"><v>9</v></c></row>")
        << QByteArray() << QByteArray() << false << QStringList{"A1 Number 9", "C1 Number 1", "B2 Number 2"};
    QTest::newRow("blank styled cells are kept")
        << QByteArray("<row r=\"2\"><c r=\"B2\" s=\"1\"/></row><row r=\"4\"><c r=\"D4\" s=\"1\"><v></v></c></row>")
        << QByteArray() << stylesXml({0, 0}) << false << QStringList{"B2 Empty", "D4 Empty"};
    QTest::newRow("numbers as written; what is no number stays text")
        << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1E+15</v></c><c r=\"B1\"><v> 42 </v></c><c r=\"C1\"><v>-0.5</v></c>"
                      "<c r=\"D1\"><v>12abc</v></c><c r=\"E1\"><v>inf</v></c><c r=\"F1\" t=\"n\"><v>3</v></c></row>")
        << QByteArray() << QByteArray() << false << QStringList{"A1 Number 1e+15", "B1 Number 42", "C1 Number -0.5",
                                                                "D1 Text 12abc",   "E1 Text inf",  "F1 Number 3"};
}

void TestXlsxReader::rawCells()
{
    QFETCH(QByteArray, sheetData);
    QFETCH(QByteArray, sharedStrings);
    QFETCH(QByteArray, styles);
    QFETCH(bool, date1904);
    QFETCH(QStringList, cells);

    RawPackage p = RawPackage::workbook({{QStringLiteral("Sheet1"), sheetData}});
    if (!sharedStrings.isEmpty())
        p.part(kSharedStrings, sharedStringsXml(sharedStrings));
    if (!styles.isEmpty())
        p.part(QStringLiteral("xl/styles.xml"), styles);
    if (date1904)
        p.part(kWorkbook, p.content(kWorkbook).replace("<workbookPr/>", "<workbookPr date1904=\"true\"/>"));
    Loaded got;
    QVERIFY(load(p.zip(), got));
    QCOMPARE(describe(got.sheet), cells);
}

// The sheet XML as writers vary it. Each sheet is read twice: as written (by the
// sheet scanner), and with a comment ahead of it, which the scanner leaves to expat.
void TestXlsxReader::sheetXmlReadEitherWay_data()
{
    QTest::addColumn<QByteArray>("sheetData");
    QTest::addColumn<QStringList>("cells");

    // The shared strings: 0 "zero", 1 "one".
    QTest::newRow("prefixed elements")
        << QByteArray("<x:row xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" r=\"1\">"
                      "<x:c r=\"A1\" t=\"s\"><x:v>1</x:v></x:c><x:c r=\"B1\"><x:v>2.5</x:v></x:c></x:row>")
        << QStringList{"A1 Text one", "B1 Number 2.5"};
    QTest::newRow("attributes in any order and quote, prefixed ones not ours")
        << QByteArray("<row r='3'><c t='s' s=\"0\" r='C3'><v>0</v></c><c x:r=\"A1\" r=\"D3\" t=\"b\"><v>1</v></c>"
                      "</row>")
        << QStringList{"C3 Text zero", "D3 Boolean 1"};
    QTest::newRow("self-closing cells, rows without numbers, cells without references")
        << QByteArray("<row><c/><c s=\"0\"/><c><v>7</v></c></row><row/><row><c t=\"s\"><v>0</v></c></row>")
        << QStringList{"A1 Empty", "B1 Empty", "C1 Number 7", "A3 Text zero"};
    QTest::newRow("inline strings: runs, phonetic runs left out, spaces kept")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><rPr><b/></rPr><t xml:space=\"preserve\"> Ann"
                      " </t></r><r><t>Lee</t></r><rPh sb=\"0\" eb=\"1\"><t>an</t></rPh></is></c>"
                      "<c r=\"B1\" t=\"inlineStr\"><is><t>plain</t></is></c></row>")
        << QStringList{"A1 Text  Ann Lee", "B1 Text plain"};
    QTest::newRow("entities and references in values and text")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a &amp; b &lt;&#x3A9;&#233;&gt;</t></is></c>"
                      "<c r=\"&#66;1\" t=\"str\"><f>\"x\"&amp;\"y\"</f><v>x&amp;y</v></c>"
                      "<c r=\"C1\" t=\"e\"><v>#N/A</v></c></row>")
        << QStringList{QStringLiteral("A1 Text a & b <\u03a9\u00e9>"), "B1 Text x&y", "C1 Error #N/A"};
    QTest::newRow("line ends in text")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>one\r\ntwo&#13;&#10;three</t></is></c></row>")
        << QStringList{"A1 Text one\ntwo\r\nthree"};
    QTest::newRow("formulas with and without their result")
        << QByteArray("<row r=\"1\"><c r=\"A1\"><f>1+1</f></c><c r=\"B1\"><f>1+1</f><v></v></c>"
                      "<c r=\"C1\"><f>1+1</f><v>2</v></c><c r=\"D1\" t=\"str\"><f>\"\"</f><v></v></c></row>")
        << QStringList{"A1 Empty (formula without result)", "B1 Empty (formula without result)", "C1 Number 2",
                       "D1 Text "};
    QTest::newRow("white space inside tags and between elements")
        << QByteArray("\n <row\n r = \"2\" >\n  <c\tr=\"A2\"\r\n t=\"d\" ><v >2024-03-05T12:00:00</v ></c >\n</row >")
        << QStringList{"A2 Date 45356.5"};
    QTest::newRow("a shared string index out of range")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>2</v></c></row>") << QStringList{};
    QTest::newRow("an attribute value with '>' and the other quote")
        << QByteArray("<row r=\"1\" x='a>\"b'><c r=\"A1\" y=\"'>'\"><v>3</v></c></row>") << QStringList{"A1 Number 3"};
}

void TestXlsxReader::sheetXmlReadEitherWay()
{
    QFETCH(QByteArray, sheetData);
    QFETCH(QStringList, cells);

    RawPackage p = RawPackage::workbook({{QStringLiteral("Sheet1"), sheetData}});
    p.part(kSharedStrings, sharedStringsXml("<si><t>zero</t></si><si><r><t>o</t></r><r><t>ne</t></r></si>"));
    const QByteArray scanned = p.zip();
    QByteArray xml = p.content(kSheet1);
    QVERIFY(xml.startsWith("<?xml"));
    xml.insert(xml.indexOf("?>") + 2, "<!-- read by expat -->");
    const QByteArray parsed = p.part(kSheet1, xml).zip();

    QStringList results, errors;
    for (const QByteArray& zip : {scanned, parsed}) {
        Workbook::OpenResult opened = Workbook::openBytes(zip);
        QCOMPARE(opened.status, OpenStatus::Ok);
        Workbook::Sheet sheet;
        QString error;
        const bool loaded = opened.file->loadSheet(0, sheet, error);
        QCOMPARE(loaded, !cells.isEmpty());
        results.append(describe(sheet).join(u'|'));
        errors.append(error);
    }
    QCOMPARE(results.at(0).split(u'|', Qt::SkipEmptyParts), cells);
    QCOMPARE(results.at(1), results.at(0));
    QCOMPARE(errors.at(1), errors.at(0));
}

void TestXlsxReader::packages_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("cells"); // of the first sheet

    const QByteArray cell("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
    const QStringList one{"A1 Number 1"};
    const RawPackage plain = RawPackage::workbook({{QStringLiteral("Data"), cell}});

    RawPackage absolute = plain;
    absolute.part(
        QStringLiteral("_rels/.rels"),
        absolute.content(QStringLiteral("_rels/.rels")).replace("\"xl/workbook.xml\"", "\"/xl/workbook.xml\""));
    absolute.part(kWorkbookRels, absolute.content(kWorkbookRels).replace("\"worksheets/", "\"/xl/worksheets/"));
    QTest::newRow("absolute targets") << absolute.zip() << QStringList{"Data"} << one;

    RawPackage moved = plain;
    moved.part(QStringLiteral("book/main.xml"), moved.content(kWorkbook))
        .part(QStringLiteral("book/_rels/main.xml.rels"),
              moved.content(kWorkbookRels).replace("\"worksheets/sheet1.xml\"", "\"../sheets/./one.xml\""))
        .part(QStringLiteral("sheets/one.xml"), moved.content(kSheet1))
        .part(QStringLiteral("_rels/.rels"),
              moved.content(QStringLiteral("_rels/.rels")).replace("xl/workbook.xml", "book/main.xml"))
        .remove(kWorkbook)
        .remove(kWorkbookRels)
        .remove(kSheet1);
    QTest::newRow("workbook and sheet elsewhere, target with ..") << moved.zip() << QStringList{"Data"} << one;

    // Parts stored Zeta's last, and the workbook names its sheets in another order than their files.
    RawPackage order = RawPackage::workbook({{QStringLiteral("Zeta"), cell},
                                             {QStringLiteral("Alpha"), "<row r=\"2\"><c r=\"B2\"><v>2</v></c></row>"},
                                             {QStringLiteral("Mid"), {}}});
    const QByteArray zetaSheet = order.content(kSheet1);
    order.remove(kSheet1).part(kSheet1, zetaSheet);
    order.part(kWorkbookRels, order.content(kWorkbookRels)
                                  .replace("sheet1.xml", "sheetX.xml")
                                  .replace("sheet3.xml", "sheet1.xml")
                                  .replace("sheetX.xml", "sheet3.xml"));
    QTest::newRow("sheets out of file order") << order.zip() << QStringList{"Zeta", "Alpha", "Mid"} << QStringList{};

    RawPackage kinds = RawPackage::workbook({{QStringLiteral("Data"), cell},
                                             {QStringLiteral("Chart1"), {}},
                                             {QStringLiteral("Dialog1"), {}},
                                             {QStringLiteral("Macro1"), {}},
                                             {QStringLiteral("Hidden"), {}},
                                             {QStringLiteral("Dangling"), {}}});
    kinds.part(kWorkbook, kinds.content(kWorkbook)
                              .replace("name=\"Hidden\"", "name=\"Hidden\" state=\"hidden\"")
                              .replace("rId6", "rId99"));
    kinds.part(
        kWorkbookRels,
        kinds.content(kWorkbookRels)
            .replace("relationships/worksheet\" Target=\"worksheets/sheet2", "relationships/chartsheet\" Target=\"c")
            .replace("relationships/worksheet\" Target=\"worksheets/sheet3", "relationships/dialogsheet\" Target=\"d")
            .replace("http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                     "Target=\"worksheets/sheet4",
                     "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet\" Target=\"m"));
    QTest::newRow("chart, dialog and macro sheets left out, hidden sheets kept")
        << kinds.zip() << QStringList{"Data", "Hidden"} << one;

    QTest::newRow("no package relationships: the content types name the workbook")
        << RawPackage(plain).remove(QStringLiteral("_rels/.rels")).zip() << QStringList{"Data"} << one;

    RawPackage strict = plain;
    for (const QString& part : {QStringLiteral("_rels/.rels"), kWorkbookRels, kWorkbook, kSheet1}) {
        strict.part(part, strict.content(part)
                              .replace("http://schemas.openxmlformats.org/officeDocument/2006/relationships",
                                       "http://purl.oclc.org/ooxml/officeDocument/relationships")
                              .replace("http://schemas.openxmlformats.org/spreadsheetml/2006/main",
                                       "http://purl.oclc.org/ooxml/spreadsheetml/main"));
    }
    QTest::newRow("strict schema") << strict.zip() << QStringList{"Data"} << one;

    RawPackage escaped = plain;
    escaped.part(QStringLiteral("xl/worksheets/My Sheet.xml"), escaped.content(kSheet1)).remove(kSheet1);
    escaped.part(kWorkbookRels, escaped.content(kWorkbookRels).replace("sheet1.xml", "My%20Sheet.xml"));
    QTest::newRow("percent-escaped target") << escaped.zip() << QStringList{"Data"} << one;

    QTest::newRow("part names differ in case")
        << replaced(plain, kWorkbookRels, {{"worksheets/sheet1.xml", "Worksheets/Sheet1.XML"}}) << QStringList{"Data"}
        << one;

    QTest::newRow("prefixed elements") << replaced(plain, kWorkbook,
                                                   {{"<workbook xmlns=", "<x:workbook xmlns:x="},
                                                    {"<workbookPr/><sheets>", "<x:workbookPr/><x:sheets>"},
                                                    {"<sheet ", "<x:sheet "},
                                                    {"</sheets></workbook>", "</x:sheets></x:workbook>"}})
                                       << QStringList{"Data"} << one;

    QTest::newRow("wrong dimension")
        << replaced(RawPackage::workbook({{QStringLiteral("Data"), "<row r=\"3\"><c r=\"C3\"><v>3</v></c></row>"}}),
                    kSheet1, {{"<sheetData>", "<dimension ref=\"A1:A1\"/><sheetData>"}})
        << QStringList{"Data"} << QStringList{"C3 Number 3"};

    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray wide = utf16(QString::fromUtf8(plain.content(kSheet1).replace("UTF-8", "UTF-16")));
    QTest::newRow("UTF-16 part") << RawPackage(plain).part(kSheet1, wide).zip() << QStringList{"Data"} << one;

    RawPackage stored;
    for (const QString& part :
         {QStringLiteral("[Content_Types].xml"), QStringLiteral("_rels/.rels"), kWorkbook, kWorkbookRels, kSheet1})
        stored.part(part, plain.content(part), RawPackage::Storage::Stored);
    QTest::newRow("stored parts") << stored.zip() << QStringList{"Data"} << one;
}

void TestXlsxReader::packages()
{
    QFETCH(QByteArray, zip);
    QFETCH(QStringList, names);
    QFETCH(QStringList, cells);
    Loaded got;
    QVERIFY(load(zip, got));
    QCOMPARE(got.names, names);
    QCOMPARE(describe(got.sheet), cells);
}

void TestXlsxReader::sheetOrder()
{
    XlsxTestWriter w;
    w.sheet(QStringLiteral("Zeta")).text(0, 0, QStringLiteral("z"));
    w.sheet(QStringLiteral("Alpha")).text(0, 0, QStringLiteral("a"));
    w.sheet(QStringLiteral("Mid")).text(0, 0, QStringLiteral("m"));
    Workbook::OpenResult opened = Workbook::openBytes(written(w));
    QCOMPARE(opened.status, OpenStatus::Ok);
    QCOMPARE(opened.file->sheetNames(), (QStringList{"Zeta", "Alpha", "Mid"}));
    // The sheet dialog reads the chosen sheet, then the import reads it again.
    for (int pass = 0; pass < 2; ++pass) {
        Workbook::Sheet sheet;
        QString error;
        QVERIFY(opened.file->loadSheet(1, sheet, error));
        QCOMPARE(sheet.name, QStringLiteral("Alpha"));
        QCOMPARE(describe(sheet), QStringList{"A1 Text a"});
    }
    Workbook::Sheet sheet;
    QString error;
    QVERIFY(!opened.file->loadSheet(3, sheet, error));
}

void TestXlsxReader::usedRange_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<uint>("firstRow");
    QTest::addColumn<uint>("firstColumn");
    QTest::addColumn<uint>("rows");
    QTest::addColumn<uint>("columns");
    QTest::addColumn<int>("cells");

    QTest::newRow("range starting at B3")
        << written(XlsxTestWriter().text(2, 1, QStringLiteral("Number")).number(4, 2, 5)) << 2u << 1u << 3u << 2u << 2;
    XlsxTestWriter wide;
    for (int c = 0; c < 40; ++c)
        wide.text(0, c, QStringLiteral("Column %1").arg(c + 1));
    QTest::newRow("40 columns") << written(wide) << 0u << 0u << 1u << 40u << 40;
    QTest::newRow("three cells up to XFD1048576")
        << written(XlsxTestWriter().number(0, 0, 1).number(1, 1, 2).number(1048575, 16383, 3)) << 0u << 0u << 1048576u
        << 16384u << 3;
    QByteArray rows = "<row><c><v>1</v></c></row>";
    for (int r = 1; r < 1048575; ++r)
        rows += r == 524288 ? "<row><c r=\"B524289\" s=\"1\"/></row>" : "<row/>";
    rows += "<row><c r=\"C1048576\"><v>3</v></c></row>";
    QTest::newRow("1,048,576 rows, three with cells") << oneSheet(rows) << 0u << 0u << 1048576u << 3u << 3;
    QTest::newRow("one cell, C5") << oneSheet("<row r=\"5\"><c r=\"C5\"><v>5</v></c></row>") << 4u << 2u << 1u << 1u
                                  << 1;
}

void TestXlsxReader::usedRange()
{
    QFETCH(QByteArray, zip);
    Loaded got;
    QVERIFY(load(zip, got));
    QTEST(got.sheet.firstRow(), "firstRow");
    QTEST(got.sheet.firstColumn(), "firstColumn");
    QTEST(got.sheet.rowCount(), "rows");
    QTEST(got.sheet.columnCount(), "columns");
    QTEST(int(got.sheet.cells().size()), "cells");
}

void TestXlsxReader::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("detail");

    const RawPackage plain = RawPackage::workbook({{QStringLiteral("Data"), "<row><c><v>1</v></c></row>"}});
    const QByteArray good = plain.zip();
    QTest::newRow("truncated") << good.left(good.size() / 2) << "not a zip archive";
    QTest::newRow("signature, then garbage")
        << QByteArray("PK\x03\x04", 4) + QByteArray(200, 'x') << "not a zip archive";
    QTest::newRow("zip bomb") << RawPackage(plain).part(kSheet1, worksheetXml(QByteArray(24 << 20, ' '))).zip()
                              << "zip bomb";
    QTest::newRow("a part declares more than a part may hold")
        << withDeclaredSize(good, kSheet1, 600u << 20) << "over the limit";
    RawPackage many = plain;
    for (int i = 0; i < 5; ++i)
        many.part(QStringLiteral("xl/media/image%1.bin").arg(i), "x");
    QByteArray huge = many.zip();
    for (int i = 0; i < 5; ++i)
        huge = withDeclaredSize(huge, QStringLiteral("xl/media/image%1.bin").arg(i), 500u << 20);
    QTest::newRow("the parts declare too much in all") << huge << "in all";
    QTest::newRow("workbook holds more than it declares") << withDeclaredSize(good, kWorkbook, 100) << "more than";
    QTest::newRow("workbook holds less than it declares") << withDeclaredSize(good, kWorkbook, 100000) << kWorkbook;
    QTest::newRow("DTD in the content types")
        << replaced(plain, QStringLiteral("[Content_Types].xml"), {{kDeclaration, kDtd}}) << "DTD";
    QTest::newRow("DTD in the package relationships")
        << replaced(plain, QStringLiteral("_rels/.rels"), {{kDeclaration, kDtd}}) << "DTD";
    QTest::newRow("entity expansion in the workbook")
        << replaced(plain, kWorkbook, {{kDeclaration, kDtd}, {"name=\"Data\"", "name=\"&b;\""}}) << "DTD";
    QTest::newRow("external entity in the workbook relationships")
        << replaced(plain, kWorkbookRels,
                    {{kDeclaration, "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"},
                     {"Target=\"worksheets/sheet1.xml\"", "Target=\"&e;\""}})
        << "DTD";
    QTest::newRow("a word processing document")
        << replaced(plain, kWorkbook, {{"<workbook ", "<document "}, {"</workbook>", "</document>"}})
        << "is no workbook";
    QTest::newRow("binary workbook") << replaced(plain, QStringLiteral("[Content_Types].xml"),
                                                 {{"spreadsheetml.sheet.main+xml",
                                                   "ms-excel.sheet.binary.macroEnabled.main"}})
                                     << "binary";
    QTest::newRow("nothing names a workbook")
        << RawPackage(plain).remove(QStringLiteral("_rels/.rels")).remove(QStringLiteral("[Content_Types].xml")).zip()
        << "no workbook part";
    QTest::newRow("workbook part missing") << RawPackage(plain).remove(kWorkbook).zip() << "is missing";
    QTest::newRow("workbook not well-formed")
        << replaced(plain, kWorkbook, {{"</sheets>", "</sheet>"}}) << "not well-formed";
    QTest::newRow("workbook in an encoding XML readers need not know")
        << replaced(plain, kWorkbook, {{"UTF-8", "Shift_JIS"}}) << "encoding";
}

void TestXlsxReader::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, detail);
    const Workbook::OpenResult opened = Workbook::openZipWorkbook(bytes);
    QCOMPARE(opened.status, OpenStatus::NotAWorkbook);
    QVERIFY(!opened.file);
    QVERIFY2(opened.detail.contains(detail), qPrintable(opened.detail));
}

void TestXlsxReader::damagedSheet_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QString>("reason");

    const QByteArray cell("<row><c><v>1</v></c></row>");
    const RawPackage plain = RawPackage::workbook({{QStringLiteral("Data"), cell}});
    QTest::newRow("DTD in the sheet") << replaced(plain, kSheet1, {{kDeclaration, kDtd}}) << "DTD";
    QTest::newRow("DTD in the shared strings")
        << RawPackage(plain).part(kSharedStrings, kDtd + "<sst><si><t>&b;</t></si></sst>").zip() << "DTD";
    QTest::newRow("cell reference of row 0")
        << oneSheet("<row><c r=\"A0\"><v>1</v></c></row>") << "malformed cell reference \"A0\"";
    QTest::newRow("cell reference beyond column XFD")
        << oneSheet("<row><c r=\"XFE1\"><v>1</v></c></row>") << "malformed cell reference";
    QTest::newRow("row beyond the last") << oneSheet("<row r=\"1048577\"><c><v>1</v></c></row>") << "row numbered";
    QTest::newRow("more cells in a row than columns")
        << oneSheet("<row>" + QByteArray("<c/>").repeated(16385) + "</row>") << "more than 16384 cells";
    QTest::newRow("shared string that does not exist")
        << RawPackage(plain)
               .part(kSheet1, worksheetXml("<row><c t=\"s\"><v>1</v></c></row>"))
               .part(kSharedStrings, sharedStringsXml("<si><t>only</t></si>"))
               .zip()
        << "shared string \"1\", but the table holds 1";
    QTest::newRow("sheet not well-formed") << replaced(plain, kSheet1, {{"</row>", "</rows>"}}) << "not well-formed";
    QTest::newRow("sheet part missing") << RawPackage(plain).remove(kSheet1).zip() << "is missing";
    QTest::newRow("sheet holds far more than it declares")
        << withDeclaredSize(RawPackage(plain).part(kSheet1, worksheetXml(cell + QByteArray(1 << 20, ' '))).zip(),
                            kSheet1, 1000)
        << "more than the 1000 bytes";
    RawPackage stored = plain;
    stored.part(kSheet1, worksheetXml("<row><c><v>12345</v></c></row>"), RawPackage::Storage::Stored);
    QByteArray flipped = stored.zip();
    flipped[flipped.indexOf("12345")] = '9';
    QTest::newRow("sheet data damaged") << flipped << "damaged";
}

void TestXlsxReader::damagedSheet()
{
    QFETCH(QByteArray, zip);
    QFETCH(QString, reason);
    Workbook::OpenResult opened = Workbook::openZipWorkbook(zip);
    QCOMPARE(opened.status, OpenStatus::Ok);
    Workbook::Sheet sheet;
    QString error;
    QVERIFY(!opened.file->loadSheet(0, sheet, error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!sheet.hasCells());
}

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "test_xlsxreader.moc"
