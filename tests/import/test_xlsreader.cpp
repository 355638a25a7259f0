#include "import/Biff8TestWriter.h"
#include "import/workbook/WorkbookBackends.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>

using Workbook::CellKind;
using Workbook::OpenStatus;
using Filler = std::function<void(Biff8TestWriter&, Biff8TestWriter::Sheet&)>;
Q_DECLARE_METATYPE(Filler)

namespace Workbook {
char* toString(OpenStatus s)
{
    static const char* names[] = {"Ok", "Unreadable", "NotAWorkbook", "Encrypted", "NoBackend"};
    return qstrdup(names[int(s)]);
}
char* toString(CellKind k)
{
    static const char* names[] = {"Empty", "Text", "Number", "Boolean", "Date", "Error"};
    return qstrdup(names[int(k)]);
}
} // namespace Workbook

namespace {

// Opens `bytes` and loads sheet `index` into `sheet`, or fails the test.
#define LOAD_SHEET(bytes, index, sheet)                                                                                \
    Workbook::OpenResult opened_ = Workbook::openOle2Workbook(bytes);                                                  \
    QCOMPARE(opened_.status, OpenStatus::Ok);                                                                          \
    Workbook::Sheet sheet;                                                                                             \
    {                                                                                                                  \
        QString error_;                                                                                                \
        QVERIFY2(opened_.file->loadSheet(index, sheet, error_), qPrintable(error_));                                   \
    }

QByteArray le(quint64 v, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}
QByteArray le16(quint32 v)
{
    return le(v, 2);
}
QByteArray le32(quint32 v)
{
    return le(v, 4);
}
QByteArray leDouble(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return le(bits, 8);
}
quint32 peek(const QByteArray& b, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | uchar(b.at(at + i));
    return v;
}
void patch(QByteArray& b, qsizetype at, quint32 v, int bytes)
{
    b.replace(at, bytes, le(v, bytes));
}
QByteArray cellHead(int row, int col)
{
    return le16(quint32(row)) + le16(quint32(col)) + le16(15);
}
QByteArray bofBody(quint16 version, quint16 kind)
{
    return le16(version) + le16(kind) + QByteArray(12, 0);
}
QByteArray rec(quint16 type, const QByteArray& body)
{
    return Biff8TestWriter::record(type, body);
}
// Workbook globals around the given records, in a container.
QByteArray globalsWith(const QByteArray& records)
{
    return Biff8TestWriter::ole2(
        {{QStringLiteral("Workbook"), rec(0x0809, bofBody(0x0600, 0x0005)) + records + rec(0x000A, {})}});
}
QByteArray container(const QByteArray& workbookStream)
{
    return Biff8TestWriter::ole2({{QStringLiteral("Workbook"), workbookStream}});
}
// Offset of the nth record of `type` in a workbook stream, or -1.
qsizetype recordAt(const QByteArray& stream, quint16 type, int nth = 0)
{
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        if (peek(stream, at, 2) == type && nth-- == 0)
            return at;
        at += 4 + peek(stream, at + 2, 2);
    }
    return -1;
}
// FORMULA whose cached result is text, to be followed by its STRING record.
QByteArray textFormula(int row, int col)
{
    QByteArray value(8, 0);
    value[6] = value[7] = char(0xFF);
    return cellHead(row, col) + value + le16(0) + le32(0) + le16(3) + QByteArray("\x1e\x01\x00", 3);
}

QStringList texts(const Workbook::Sheet& sheet, quint32 col)
{
    QStringList out;
    for (const Workbook::Cell* c : sheet.column(col))
        out.append(sheet.text(*c).toString());
    return out;
}

} // namespace

class TestXlsReader : public QObject
{
    Q_OBJECT

private slots:
    void cellRecords_data()
    {
        QTest::addColumn<Filler>("fill");
        QTest::addColumn<CellKind>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        using S = Biff8TestWriter::Sheet;
        using B = Biff8TestWriter;
        auto row = [](const char* name, Filler f, CellKind k, const QString& text, double number) {
            QTest::newRow(name) << f << k << text << number;
        };
        // Every cell goes to B2, so each row also checks the record's own position.
        row(
            "LABELSST", [](B&, S& s) { s.text(1, 1, "Mobile"); }, CellKind::Text, "Mobile", 0);
        row(
            "LABELSST 16-bit", [](B&, S& s) { s.text(1, 1, "\u0391\u03b8\u03ae\u03bd\u03b1"); }, CellKind::Text,
            "\u0391\u03b8\u03ae\u03bd\u03b1", 0);
        row(
            "LABELSST Latin-1", [](B&, S& s) { s.text(1, 1, "Caf\u00e9 \u00a3"); }, CellKind::Text, "Caf\u00e9 \u00a3",
            0);
        row(
            "LABELSST empty", [](B&, S& s) { s.text(1, 1, ""); }, CellKind::Text, "", 0);
        row(
            "rich text and phonetic", [](B&, S& s) { s.richText(1, 1, "Rich", 3, 20); }, CellKind::Text, "Rich", 0);
        row(
            "LABEL", [](B&, S& s) { s.label(1, 1, "Inline"); }, CellKind::Text, "Inline", 0);
        row(
            "LABEL 16-bit", [](B&, S& s) { s.label(1, 1, "\u4e2d\u6587"); }, CellKind::Text, "\u4e2d\u6587", 0);
        row(
            "NUMBER phone", [](B&, S& s) { s.number(1, 1, 919876543210.0); }, CellKind::Number, "", 919876543210.0);
        row(
            "NUMBER fraction", [](B&, S& s) { s.number(1, 1, -1.5e-7); }, CellKind::Number, "", -1.5e-7);
        row(
            "RK integer", [](B&, S& s) { s.rk(1, 1, 123456); }, CellKind::Number, "", 123456);
        row(
            "RK negative", [](B&, S& s) { s.rk(1, 1, -42); }, CellKind::Number, "", -42);
        row(
            "RK hundredths", [](B&, S& s) { s.rk(1, 1, 12.34); }, CellKind::Number, "", 12.34);
        row(
            "RK float", [](B&, S& s) { s.rk(1, 1, 0.5); }, CellKind::Number, "", 0.5);
        row(
            "MULRK", [](B&, S& s) { s.mulRk(1, 1, {7}); }, CellKind::Number, "", 7);
        row(
            "BOOLERR true", [](B&, S& s) { s.boolean(1, 1, true); }, CellKind::Boolean, "", 1);
        row(
            "BOOLERR false", [](B&, S& s) { s.boolean(1, 1, false); }, CellKind::Boolean, "", 0);
        const std::pair<quint8, const char*> errors[] = {
            {B::Null, "#NULL!"}, {B::Div0, "#DIV/0!"}, {B::Value, "#VALUE!"}, {B::Ref, "#REF!"},
            {B::Name, "#NAME?"}, {B::Num, "#NUM!"},    {B::NA, "#N/A"}};
        for (const auto& [code, text] : errors) {
            QTest::addRow("BOOLERR %s", text) << Filler([code = code](B&, S& s) { s.error(1, 1, code); })
                                              << CellKind::Error << QString::fromLatin1(text) << 0.0;
        }
        row(
            "BOOLERR unknown code", [](B&, S& s) { s.error(1, 1, 0x63); }, CellKind::Error, "#N/A", 0);
        row(
            "FORMULA number", [](B&, S& s) { s.formulaNumber(1, 1, 42.5); }, CellKind::Number, "", 42.5);
        row(
            "FORMULA text", [](B&, S& s) { s.formulaText(1, 1, "Total"); }, CellKind::Text, "Total", 0);
        row(
            "FORMULA 16-bit text", [](B&, S& s) { s.formulaText(1, 1, "\u20ac 5"); }, CellKind::Text, "\u20ac 5", 0);
        row(
            "FORMULA boolean", [](B&, S& s) { s.formulaBoolean(1, 1, true); }, CellKind::Boolean, "", 1);
        row(
            "FORMULA error", [](B&, S& s) { s.formulaError(1, 1, B::NA); }, CellKind::Error, "#N/A", 0);
        row(
            "FORMULA empty text", [](B&, S& s) { s.formulaEmptyText(1, 1); }, CellKind::Text, "", 0);
        row(
            "FORMULA, SHRFMLA, STRING",
            [](B&, S& s) {
                s.record(0x0006, textFormula(1, 1)).record(0x04BC, QByteArray(12, 0));
                s.record(0x0207, le16(4) + QByteArray(1, 0) + "Fill");
            },
            CellKind::Text, "Fill", 0);
        row(
            "FORMULA text without STRING", [](B&, S& s) { s.record(0x0006, textFormula(1, 1)); }, CellKind::Text, "",
            0);
        row(
            "BLANK", [](B&, S& s) { s.blank(1, 1); }, CellKind::Empty, "", 0);
        row(
            "MULBLANK", [](B&, S& s) { s.mulBlank(1, 1, 1); }, CellKind::Empty, "", 0);
        row(
            "date, built-in format", [](B&, S& s) { s.date(1, 1, 45292); }, CellKind::Date, "", 45292);
        row(
            "date and time, built-in 22", [](B&, S& s) { s.date(1, 1, 45292.75, 22); }, CellKind::Date, "", 45292.75);
        row(
            "date, format code", [](B&, S& s) { s.date(1, 1, 45292, "dd/mm/yyyy"); }, CellKind::Date, "", 45292);
        row(
            "date, 1904 system",
            [](B& b, S& s) {
                b.setDate1904();
                s.date(1, 1, 43830);
            },
            CellKind::Date, "", 43830 + 1462);
        row(
            "number format is no date", [](B&, S& s) { s.date(1, 1, 5, "[Red]0.00;\"d\"0"); }, CellKind::Number, "", 5);
        // LibreOffice saves its default format as custom format 164 "General".
        row(
            "custom General is no date", [](B&, S& s) { s.date(1, 1, 1.5, "General"); }, CellKind::Number, "", 1.5);
        row(
            "custom General, whole number", [](B&, S& s) { s.date(1, 1, 12345, "General"); }, CellKind::Number, "",
            12345);
        row(
            "exponent is no date", [](B&, S& s) { s.date(1, 1, 0.3, "0.00E+00"); }, CellKind::Number, "", 0.3);
        row(
            "exponent, whole number", [](B&, S& s) { s.date(1, 1, 1, "0.00E+00"); }, CellKind::Number, "", 1);
        row(
            "date after a locale", [](B&, S& s) { s.date(1, 1, 45292, "[$-409]dd/mm/yyyy"); }, CellKind::Date, "",
            45292);
        row(
            "elapsed time", [](B&, S& s) { s.date(1, 1, 1.25, "[h]:mm:ss"); }, CellKind::Date, "", 1.25);
        row(
            "currency built-in is no date", [](B&, S& s) { s.date(1, 1, 5, 7); }, CellKind::Number, "", 5);
        row(
            "date beyond the calendar", [](B&, S& s) { s.date(1, 1, 1e9); }, CellKind::Number, "", 1e9);
        row(
            "NUMBER not finite", [](B&, S& s) { s.number(1, 1, qInf()); }, CellKind::Error, "#NUM!", 0);
    }

    void cellRecords()
    {
        QFETCH(Filler, fill);
        QFETCH(CellKind, kind);
        Biff8TestWriter book;
        fill(book, book.addSheet("Cells"));
        LOAD_SHEET(book.xls(), 0, sheet);
        QVERIFY(sheet.hasCells());
        QCOMPARE(sheet.firstRow(), 1u);
        QCOMPARE(sheet.firstColumn(), 1u);
        QCOMPARE(sheet.rowCount(), 1u);
        QCOMPARE(sheet.columnCount(), 1u);
        const Workbook::Cell* cell = sheet.find(1, 1);
        QVERIFY(cell);
        QCOMPARE(cell->kind, kind);
        QTEST(sheet.text(*cell).toString(), "text");
        QTEST(cell->number(), "number");
    }

    void worksheetsInWorkbookOrder()
    {
        using Kind = Biff8TestWriter::SheetKind;
        Biff8TestWriter book;
        book.addSheet("Zeta").text(0, 0, "z");
        book.addSheet("Chart1", Kind::Chart);
        book.addSheet("Alpha").text(0, 0, "a").number(1, 0, 2);
        book.addSheet("Macro1", Kind::MacroSheet);
        book.addSheet("Dialog1", Kind::DialogSheet).text(0, 0, "d");
        book.addSheet("Mid").setHidden().text(0, 0, "m");
        book.addSheet("\u00dcbersicht \u65e5\u672c");
        LOAD_SHEET(book.xls(), 1, alpha);
        QCOMPARE(opened_.file->sheetNames(),
                 QStringList({"Zeta", "Alpha", "Mid", QStringLiteral("\u00dcbersicht \u65e5\u672c")}));
        QCOMPARE(alpha.name, QStringLiteral("Alpha"));
        QCOMPARE(texts(alpha, 0).first(), QStringLiteral("a"));
        QCOMPARE(alpha.rowCount(), 2u);

        Workbook::Sheet other;
        QString error;
        QVERIFY(opened_.file->loadSheet(2, other, error));
        QCOMPARE(texts(other, 0), QStringList{"m"});
        QVERIFY(opened_.file->loadSheet(3, other, error));
        QVERIFY(!other.hasCells());
        QVERIFY(!opened_.file->loadSheet(4, other, error));
        QVERIFY(!error.isEmpty());
    }

    void usedRange_data()
    {
        QTest::addColumn<Filler>("fill");
        QTest::addColumn<QList<quint32>>("range"); // first row, first column, rows, columns; empty: no cells
        QTest::addColumn<QList<quint32>>("probe"); // row and column of a cell that must be there
        QTest::addColumn<CellKind>("probeKind");
        using S = Biff8TestWriter::Sheet;
        using B = Biff8TestWriter;
        using L = QList<quint32>;
        QTest::newRow("starts at B3") << Filler([](B&, S& s) { s.text(2, 1, "Mobile").number(6, 3, 5); })
                                      << L{2, 1, 5, 3} << L{6, 3} << CellKind::Number;
        QTest::newRow("DIMENSION lies") << Filler([](B&, S& s) { s.text(2, 1, "x").setDimension(0, 99, 0, 25); })
                                        << L{2, 1, 1, 1} << L{2, 1} << CellKind::Text;
        QTest::newRow("formatted blanks widen it")
            << Filler([](B&, S& s) { s.text(2, 2, "x").blank(9, 5).mulBlank(0, 3, 4); }) << L{0, 2, 10, 4} << L{9, 5}
            << CellKind::Empty;
        QTest::newRow("blanks over values hide nothing")
            << Filler([](B&, S& s) { s.text(0, 0, "x").number(2, 3, 1).mulBlank(2, 1, 4).blank(0, 0); })
            << L{0, 0, 3, 5} << L{2, 3} << CellKind::Number;
        QTest::newRow("only blanks") << Filler([](B&, S& s) { s.mulBlank(3, 2, 6).blank(7, 4); }) << L{3, 2, 5, 5}
                                     << L{7, 6} << CellKind::Empty;
        QTest::newRow("one cell, not A1")
            << Filler([](B&, S& s) { s.number(4, 2, 7); }) << L{4, 2, 1, 1} << L{4, 2} << CellKind::Number;
        QTest::newRow("empty sheet") << Filler([](B&, S&) {}) << L{} << L{} << CellKind::Empty;
        QTest::newRow("last row and column") << Filler([](B&, S& s) { s.number(65535, 16383, 1).number(65535, 0, 2); })
                                             << L{65535, 0, 1, 16384} << L{65535, 16383} << CellKind::Number;
        QTest::newRow("40 columns") << Filler([](B&, S& s) {
            for (int c = 0; c < 40; ++c)
                s.text(0, c, QStringLiteral("Column %1").arg(c + 1));
        }) << L{0, 0, 1, 40} << L{0, 39}
                                    << CellKind::Text;
    }

    void usedRange()
    {
        QFETCH(Filler, fill);
        QFETCH(QList<quint32>, range);
        QFETCH(QList<quint32>, probe);
        Biff8TestWriter book;
        fill(book, book.addSheet("Range"));
        LOAD_SHEET(book.xls(), 0, sheet);
        QCOMPARE(sheet.hasCells(), !range.isEmpty());
        if (range.isEmpty())
            return;
        QCOMPARE(QList<quint32>({sheet.firstRow(), sheet.firstColumn(), sheet.rowCount(), sheet.columnCount()}), range);
        const Workbook::Cell* cell = sheet.find(probe[0], probe[1]);
        QVERIFY(cell);
        QTEST(cell->kind, "probeKind");
    }

    void sharedStringsAcrossContinue_data()
    {
        QTest::addColumn<QStringList>("strings");
        QTest::addColumn<int>("breakString"); // index into strings, or -1
        QTest::addColumn<int>("inText");      // characters before the break, or -1
        QTest::addColumn<int>("inExtras");    // bytes of runs and phonetic data before the break, or -1
        const QString greek = QStringLiteral("\u0391\u0392\u0393\u0394\u0395\u0396");
        QTest::newRow("8-bit") << QStringList{"first", "ABCDEFGH", "after"} << 1 << 3 << -1;
        QTest::newRow("16-bit") << QStringList{greek, "after"} << 0 << 2 << -1;
        QTest::newRow("8-bit, then 16-bit") << QStringList{"abc\u03a9xyz", "after"} << 0 << 3 << -1;
        QTest::newRow("16-bit, then 8-bit") << QStringList{"\u03a9bcdef", "after"} << 0 << 1 << -1;
        QTest::newRow("before the first character") << QStringList{"Header", "after"} << 0 << 0 << -1;
        QTest::newRow("inside rich-text runs") << QStringList{"Rich", "after"} << 0 << -1 << 6;
        QTest::newRow("inside phonetic block") << QStringList{"Rich", "after"} << 0 << -1 << 30;
        QTest::newRow("between runs and text") << QStringList{"Rich", "after"} << 0 << -1 << 0;
        QTest::newRow("long 8-bit string") << QStringList{QString(20000, u'n'), "after"} << -1 << -1 << -1;
        QTest::newRow("long 16-bit string") << QStringList{QString(9000, QChar(0x0416)), "after"} << -1 << -1 << -1;
        QStringList many;
        for (int i = 0; i < 5000; ++i)
            many.append(QStringLiteral("+44 7700 9%1 \u00e9").arg(i, 5, 10, QLatin1Char('0')));
        QTest::newRow("5,000 strings") << many << -1 << -1 << -1;
    }

    void sharedStringsAcrossContinue()
    {
        QFETCH(QStringList, strings);
        QFETCH(int, breakString);
        QFETCH(int, inText);
        QFETCH(int, inExtras);
        Biff8TestWriter book;
        auto& sheet = book.addSheet("Strings");
        for (int i = 0; i < strings.size(); ++i) {
            if (i == breakString && inExtras >= 0)
                sheet.richText(i, 0, strings[i], 4, 40);
            else
                sheet.text(i, 0, strings[i]);
        }
        if (breakString >= 0 && inText >= 0)
            book.breakSstInText(strings[breakString], inText);
        if (breakString >= 0 && inExtras >= 0)
            book.breakSstInExtras(strings[breakString], inExtras);
        const QByteArray stream = book.workbookStream();
        QVERIFY(recordAt(stream, 0x003C) > 0);
        LOAD_SHEET(container(stream), 0, loaded);
        QCOMPARE(texts(loaded, 0), strings);
    }

    void encrypted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        Biff8TestWriter book;
        book.addSheet("Secret").text(0, 0, "hidden");
        book.setFilePass();
        QTest::newRow("FILEPASS") << book.xls();
        const QByteArray stream = book.workbookStream();
        const qsizetype after = recordAt(stream, 0x002F) + 4 + 54;
        QByteArray scrambled = stream.left(after);
        for (qsizetype i = after; i < stream.size(); ++i)
            scrambled.append(char(stream[i] ^ 0xA5));
        QTest::newRow("FILEPASS, records after it unreadable") << container(scrambled);
        QTest::newRow("encrypted package")
            << Biff8TestWriter::ole2({{"EncryptionInfo", QByteArray("\x04\x00\x04\x00", 4) + QByteArray(200, 'i')},
                                      {"EncryptedPackage", QByteArray(5000, 'p')}});
    }

    void encrypted()
    {
        QFETCH(QByteArray, bytes);
        const Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
        QCOMPARE(result.status, OpenStatus::Encrypted);
        QVERIFY(!result.file);
        // Whatever the extension says, the content decides.
        QCOMPARE(Workbook::openBytes(bytes).status, OpenStatus::Encrypted);
    }

    void notAWorkbook_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("detail");
        const QByteArray magic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        Biff8TestWriter book;
        auto& data = book.addSheet("Data").text(0, 0, "Mobile");
        for (int r = 1; r < 400; ++r)
            data.number(r, 0, 919876543210.0 + r); // a stream too large for the container's mini-stream
        const QByteArray good = book.xls();
        const QByteArray goodStream = book.workbookStream();

        QTest::newRow("no bytes") << QByteArray() << "not an OLE2 container";
        QTest::newRow("signature only") << magic << "not an OLE2 container";
        QTest::newRow("signature and noise") << magic + QByteArray(4096, '\x7f') << "not an OLE2 container";
        QTest::newRow("cut in half") << good.left(good.size() / 2) << "not an OLE2 container";
        QTest::newRow("header only") << good.left(512) << "not an OLE2 container";
        QByteArray rootWithSibling = good;
        patch(rootWithSibling, (peek(good, 0x30, 4) + 1) * 512 + 0x44, 1, 4);
        QTest::newRow("root entry with a sibling") << rootWithSibling << "root directory entry has siblings";
        QTest::newRow("document of another program")
            << Biff8TestWriter::ole2({{"WordDocument", QByteArray(5000, 'w')}}) << "without a Workbook stream";
        QTest::newRow("Excel 5.0/95") << Biff8TestWriter::ole2(
                                             {{"Book", rec(0x0809, bofBody(0x0500, 0x0005)) + rec(0x000A, {})}})
                                      << "Excel 5.0/95";
        QTest::newRow("BIFF5 under the BIFF8 name")
            << container(rec(0x0809, bofBody(0x0500, 0x0005)) + rec(0x000A, {})) << "not BIFF8";
        QTest::newRow("empty Workbook stream") << container({}) << "BOF";
        QTest::newRow("no BOF first") << container(rec(0x0203, QByteArray(14, 0)) + goodStream) << "BOF";
        QTest::newRow("sheet instead of globals")
            << container(rec(0x0809, bofBody(0x0600, 0x0010)) + rec(0x000A, {})) << "globals";
        QByteArray overLong = goodStream;
        patch(overLong, recordAt(overLong, 0x0042) + 2, 9000, 2);
        QTest::newRow("record over 8,224 bytes") << container(overLong) << "claims 9000 bytes";
        QTest::newRow("record cut off") << container(goodStream.left(recordAt(goodStream, 0x00FC) + 6)) << "cut off";
        QTest::newRow("globals without EOF")
            << container(goodStream.left(recordAt(goodStream, 0x00FC))) << "without their EOF";
        const QByteArray sstHead = le32(1) + le32(1);
        QTest::newRow("string longer than the table")
            << globalsWith(rec(0x00FC, sstHead + le16(60000) + QByteArray(1, 0) + "abc")) << "string 0";
        QTest::newRow("rich-text runs beyond the table")
            << globalsWith(rec(0x00FC, sstHead + le16(3) + QByteArray(1, 8) + le16(65535) + "abc")) << "string 0";
        QTest::newRow("phonetic block beyond the table")
            << globalsWith(rec(0x00FC, sstHead + le16(3) + QByteArray(1, 4) + le32(0xFFFFFFF0) + "abc")) << "string 0";
        QTest::newRow("half a 16-bit character")
            << globalsWith(rec(0x00FC, sstHead + le16(2) + QByteArray(1, 1) + QByteArray("a\0b", 3)) +
                           rec(0x003C, QByteArray(1, 1) + QByteArray("\0c\0", 3)))
            << "string 0";
        QByteArray sheets;
        for (int i = 0; i < 65536; ++i)
            sheets += rec(0x0085, le32(0) + QByteArray(2, 0) + QByteArray(1, 1) + QByteArray(1, 0) + "S");
        QTest::newRow("65,536 sheets") << globalsWith(sheets) << "more than 65535 sheets";
        QTest::newRow("sheet name cut off")
            << globalsWith(
                   rec(0x0085, le32(0) + QByteArray(2, 0) + QByteArray(1, char(200)) + QByteArray(1, 0) + "abc"))
            << "sheet name";
    }

    void notAWorkbook()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, detail);
        const Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
        QCOMPARE(result.status, OpenStatus::NotAWorkbook);
        QVERIFY(!result.file);
        QVERIFY2(result.detail.contains(detail), qPrintable(result.detail));
    }

    void damagedSheet_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        using Mutate = std::function<void(Biff8TestWriter::Sheet&)>;
        // The second sheet is damaged, the first stays readable.
        auto make = [](const Mutate& mutate) {
            auto book = std::make_unique<Biff8TestWriter>();
            book->addSheet("Good").text(0, 0, "Mobile").number(1, 0, 447700900123.0);
            auto& bad = book->addSheet("Bad").number(0, 0, 1);
            mutate(bad);
            return book;
        };
        auto stream = [&](const Mutate& mutate) { return make(mutate)->workbookStream(); };
        auto nothing = [](Biff8TestWriter::Sheet&) {};

        QByteArray s = stream(nothing);
        patch(s, recordAt(s, 0x0085, 1) + 4, 0x7FFFFFF0, 4);
        QTest::newRow("sheet beyond the stream") << container(s) << "beyond";
        s = stream(nothing);
        patch(s, recordAt(s, 0x0085, 1) + 4, 6, 4);
        QTest::newRow("sheet offset into the globals") << container(s) << "no worksheet BOF";
        s = stream(nothing);
        QTest::newRow("no EOF") << container(s.left(s.size() - 4)) << "without its EOF";
        QTest::newRow("record cut off") << container(s.left(s.size() - 10)) << "cut off";
        s = stream(nothing);
        patch(s, recordAt(s, 0x0203, 1) + 2, 9000, 2);
        QTest::newRow("record over 8,224 bytes") << container(s) << "claims 9000 bytes";
        QTest::newRow("string beyond the table")
            << container(stream([](auto& b) { b.record(0x00FD, cellHead(3, 0) + le32(999)); })) << "string 999";
        QTest::newRow("MULRK columns and length differ")
            << container(stream([](auto& b) { b.record(0x00BD, le16(2) + le16(0) + le16(15) + le32(2) + le16(4)); }))
            << "do not match";
        QTest::newRow("MULBLANK columns reversed")
            << container(stream([](auto& b) { b.record(0x00BE, le16(2) + le16(5) + le16(15) + le16(4)); }))
            << "do not match";
        QTest::newRow("column beyond the last")
            << container(stream([](auto& b) { b.record(0x0203, cellHead(0, 16384) + leDouble(1)); }))
            << "beyond the last column";
        QTest::newRow("NUMBER too short")
            << container(stream([](auto& b) { b.record(0x0203, cellHead(0, 1) + le16(1)); })) << "too short";
        QTest::newRow("formula text cut off") << container(stream([](auto& b) {
            b.record(0x0006, textFormula(4, 0)).record(0x0207, le16(100) + QByteArray(1, 0) + "abc");
        })) << "formula text";
        QTest::newRow("LABEL cut off") << container(stream([](auto& b) {
            b.record(0x0204, cellHead(4, 0) + le16(50) + QByteArray(1, 0) + "x");
        })) << "text cut off";
    }

    void damagedSheet()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
        QCOMPARE(result.status, OpenStatus::Ok);
        QCOMPARE(result.file->sheetNames(), QStringList({"Good", "Bad"}));
        Workbook::Sheet sheet;
        QString error;
        QVERIFY(!result.file->loadSheet(1, sheet, error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(!sheet.hasCells());
        error.clear();
        QVERIFY2(result.file->loadSheet(0, sheet, error), qPrintable(error));
        QCOMPARE(sheet.find(1, 0)->number(), 447700900123.0);
    }

    void countsInTheFileAreNotTrusted()
    {
        // A string table claiming four billion strings holds the one it has.
        const QByteArray sst = rec(0x00FC, le32(0xFFFFFFFF) + le32(0xFFFFFFFF) + le16(3) + QByteArray(1, 0) + "abc");
        QByteArray stream = rec(0x0809, bofBody(0x0600, 0x0005)) + sst;
        const qsizetype boundAt = stream.size();
        stream += rec(0x0085, le32(0) + QByteArray(2, 0) + QByteArray(1, 1) + QByteArray(1, 0) + "S");
        stream += rec(0x000A, {});
        patch(stream, boundAt + 4, quint32(stream.size()), 4);
        stream += rec(0x0809, bofBody(0x0600, 0x0010)) + rec(0x00FD, cellHead(0, 0) + le32(0)) + rec(0x000A, {});
        LOAD_SHEET(container(stream), 0, sheet);
        QCOMPARE(texts(sheet, 0), QStringList{"abc"});
    }

    void chartInsideSheetIsSkipped()
    {
        Biff8TestWriter book;
        book.addSheet("Sheet1")
            .text(0, 0, "Before")
            .record(0x0809, bofBody(0x0600, 0x0020))
            .record(0x0203, cellHead(50, 50) + leDouble(9))
            .record(0x000A, {})
            .number(1, 0, 5);
        LOAD_SHEET(book.xls(), 0, sheet);
        QCOMPARE(sheet.rowCount(), 2u);
        QCOMPARE(sheet.columnCount(), 1u);
        QCOMPARE(sheet.find(1, 0)->number(), 5.0);
    }

    // An independent reader sees in the writer's files what our reader sees.
    void writerFilesReadByXlrd()
    {
        Biff8TestWriter book;
        book.addSheet("Zeta").text(0, 0, "Mobile").text(0, 1, "Name").number(1, 0, 919876543210.0).label(1, 1, "Ann");
        auto& mixed = book.addSheet("Alpha");
        mixed.rk(0, 0, 12.34).mulRk(0, 1, {1, -2, 0.5}).boolean(1, 0, true).error(1, 1, Biff8TestWriter::NA);
        mixed.formulaNumber(2, 0, 3).formulaText(2, 1, "T\u00f6tal").formulaBoolean(2, 2, false);
        mixed.formulaError(2, 3, Biff8TestWriter::Div0).formulaEmptyText(2, 4).blank(3, 0).mulBlank(3, 1, 3);
        mixed.date(4, 0, 45292).date(4, 1, 45292.5, "dd/mm/yyyy hh:mm").richText(4, 2, "Rich", 2, 12);
        auto& split = book.addSheet("Mid").setHidden();
        const QStringList strings{"abc\u03a9xyz", QString(9000, u'q'), "\u0416\u0416\u0416", "tail"};
        for (int i = 0; i < strings.size(); ++i)
            split.text(i + 2, 3, strings[i]);
        book.breakSstInText(strings[0], 3);
        book.breakSstInText(strings[2], 1);

        if (!xlrdAvailable())
            QSKIP("/usr/bin/python3 lacks the xlrd module (Debian package python3-xlrd)");
        QTemporaryDir dir;
        const QString path = dir.filePath("writer.xls");
        QVERIFY(book.save(path));
        const QJsonArray xlrdSheets = readWithXlrd(path).array();
        QVERIFY(!xlrdSheets.isEmpty());

        const Workbook::OpenResult ours = Workbook::openFile(path);
        QCOMPARE(ours.status, OpenStatus::Ok);
        QCOMPARE(xlrdSheets.size(), ours.file->sheetNames().size());
        static const QHash<int, CellKind> kinds{{1, CellKind::Text},
                                                {2, CellKind::Number},
                                                {3, CellKind::Date},
                                                {4, CellKind::Boolean},
                                                {5, CellKind::Error}};
        static const QHash<int, QString> errors{{0x07, "#DIV/0!"}, {0x2A, "#N/A"}};
        for (int i = 0; i < xlrdSheets.size(); ++i) {
            const QJsonObject theirs = xlrdSheets[i].toObject();
            QCOMPARE(theirs["name"].toString(), ours.file->sheetNames().at(i));
            Workbook::Sheet sheet;
            QString error;
            QVERIFY2(ours.file->loadSheet(i, sheet, error), qPrintable(error));
            int valued = 0;
            for (const Workbook::Cell& c : sheet.cells())
                valued += c.kind != CellKind::Empty;
            const QJsonArray cells = theirs["cells"].toArray();
            QCOMPARE(cells.size(), valued);
            for (const QJsonValue& v : cells) {
                const QJsonArray c = v.toArray();
                const Workbook::Cell* cell = sheet.find(quint32(c[0].toInt()), quint32(c[1].toInt()));
                QVERIFY2(cell, qPrintable(QJsonDocument(c).toJson(QJsonDocument::Compact)));
                QCOMPARE(cell->kind, kinds.value(c[2].toInt()));
                switch (cell->kind) {
                case CellKind::Text:
                    QCOMPARE(sheet.text(*cell).toString(), c[3].toString());
                    break;
                case CellKind::Error:
                    QCOMPARE(sheet.text(*cell).toString(), errors.value(c[3].toInt()));
                    break;
                default:
                    QCOMPARE(cell->number(), c[3].toDouble());
                }
            }
        }
        QCOMPARE(xlrdSheets[2].toObject()["cells"].toArray().size(), strings.size());

        Biff8TestWriter locked;
        locked.addSheet("S").text(0, 0, "x");
        locked.setFilePass();
        QVERIFY(locked.save(path));
        QVERIFY(readWithXlrd(path).object()["error"].toString().contains("encrypted"));
    }

private:
    static bool xlrdAvailable()
    {
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import xlrd")});
        return python.waitForFinished(60000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
    }

    // What xlrd reads: [{name, cells: [[row, col, type, value]...]}...], or {error}.
    static QJsonDocument readWithXlrd(const QString& path)
    {
        static const char* script = R"(
import json, sys, xlrd
try:
    book = xlrd.open_workbook(sys.argv[1])
except xlrd.XLRDError as e:
    print(json.dumps({"error": str(e)}))
    sys.exit(0)
out = []
for sh in book.sheets():
    cells = []
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                cells.append([r, c, cell.ctype, cell.value])
    out.append({"name": sh.name, "cells": cells})
print(json.dumps(out))
)";
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
        if (!python.waitForFinished(60000) || python.exitCode() != 0) {
            qWarning("xlrd: %s", python.readAllStandardError().constData());
            return {};
        }
        return QJsonDocument::fromJson(python.readAllStandardOutput());
    }
};

QTEST_GUILESS_MAIN(TestXlsReader)
#include "test_xlsreader.moc"
