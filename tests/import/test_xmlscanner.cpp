// The sheet XML scanner against expat: for the XML it takes, the same events
// in the same order, however the document is cut into pieces; for anything
// else, giving up (so that expat reads the part and words its errors).

#include "import/XlsxTestWriter.h"
#include "import/xlsx/XmlScanner.h"
#include "import/xlsx/ZipPackage.h"

#include <QTest>

using Xlsx::XmlScanner;

namespace {

// Writes down every event: "<c r=A1 t=s>", "</c>", "'text'" (adjacent text joined).
class Recorder : public Xlsx::XmlHandler
{
public:
    explicit Recorder(QByteArray failAt = {}) : m_failAt(std::move(failAt)) {}

    void start(std::string_view name, const char** attributes) override
    {
        flush();
        QString e = u'<' + QString::fromUtf8(name.data(), qsizetype(name.size()));
        for (const char** a = attributes; *a; a += 2)
            e += u' ' + QString::fromUtf8(a[0]) + u'=' + QString::fromUtf8(a[1]);
        events.append(e + u'>');
        if (!m_failAt.isEmpty() && name == std::string_view(m_failAt.constData()))
            fail(QStringLiteral("met <%1>").arg(QString::fromUtf8(m_failAt)));
    }
    void end(std::string_view name) override
    {
        flush();
        events.append(QStringLiteral("</%1>").arg(QString::fromUtf8(name.data(), qsizetype(name.size()))));
    }
    void characters(std::string_view chars) override { m_text.append(chars.data(), qsizetype(chars.size())); }

    QStringList take()
    {
        flush();
        QStringList out;
        out.swap(events);
        return out;
    }

private:
    void flush()
    {
        if (!m_text.isEmpty())
            events.append(u'\'' + QString::fromUtf8(m_text) + u'\'');
        m_text.clear();
    }

    QStringList events;
    QByteArray m_text;
    QByteArray m_failAt;
};

// The document fed in pieces of `piece` bytes (0: all at once).
XmlScanner::Status scan(const QByteArray& doc, Recorder& recorder, qsizetype piece = 0)
{
    XmlScanner scanner(recorder);
    const qsizetype step = piece > 0 ? piece : std::max<qsizetype>(doc.size(), 1);
    for (qsizetype at = 0;; at += step) {
        const QByteArray part = doc.mid(at, step);
        const bool last = at + step >= doc.size();
        const XmlScanner::Status status = scanner.feed(std::string_view(part.constData(), size_t(part.size())), last);
        if (status != XmlScanner::Status::More || last)
            return status;
    }
}

// What expat makes of the document, stored as a part of a package.
bool expat(const QByteArray& doc, Recorder& recorder, QString& error)
{
    const QString name = QStringLiteral("xl/worksheets/sheet1.xml");
    Xlsx::ZipPackage package;
    if (!package.open(RawPackage().part(name, doc).zip(), error))
        return false;
    return Xlsx::parseXmlPart(package, name, qint64(1) << 20, recorder, error);
}

const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// A worksheet around `rows`, in the default namespace as Excel writes it.
QByteArray sheet(const QByteArray& rows)
{
    return kDecl + "<worksheet xmlns=\"urn:main\"><sheetData>" + rows + "</sheetData></worksheet>";
}

QStringList sheetEvents(const QStringList& inner)
{
    return QStringList{"<worksheet xmlns=urn:main>", "<sheetData>"} + inner +
           QStringList{"</sheetData>", "</worksheet>"};
}

} // namespace

class TestXmlScanner : public QObject
{
    Q_OBJECT

private slots:
    void sameEventsAsExpat_data();
    void sameEventsAsExpat();
    void givesUpBeyondItsSubset_data();
    void givesUpBeyondItsSubset();
    void handlerFailureStopsTheScan();
};

void TestXmlScanner::sameEventsAsExpat_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("a row of cells as Excel writes them")
        << sheet("<row r=\"1\" spans=\"1:2\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"3\"><v>9198</v></c></row>")
        << sheetEvents({"<row r=1 spans=1:2>", "<c r=A1 t=s>", "<v>", "'0'", "</v>", "</c>", "<c r=B1 s=3>", "<v>",
                        "'9198'", "</v>", "</c>", "</row>"});
    QTest::newRow("attributes in any order, either quote")
        << sheet("<row><c t='s' s=\"2\" r='B7'><v>1</v></c></row>")
        << sheetEvents({"<row>", "<c t=s s=2 r=B7>", "<v>", "'1'", "</v>", "</c>", "</row>"});
    QTest::newRow("prefixed names: local element names, attribute names as written")
        << QByteArray(kDecl + "<x:worksheet xmlns:x=\"urn:main\"><x:sheetData><x:row x:r=\"1\"><x:c r=\"A1\">"
                              "<x:v>5</x:v></x:c></x:row></x:sheetData></x:worksheet>")
        << QStringList{"<worksheet xmlns:x=urn:main>",
                       "<sheetData>",
                       "<row x:r=1>",
                       "<c r=A1>",
                       "<v>",
                       "'5'",
                       "</v>",
                       "</c>",
                       "</row>",
                       "</sheetData>",
                       "</worksheet>"};
    QTest::newRow("self-closing cells and rows")
        << sheet("<row r=\"2\"/><row r=\"3\"><c r=\"A3\" s=\"1\"/><c r=\"B3\" /></row>")
        << sheetEvents({"<row r=2>", "</row>", "<row r=3>", "<c r=A3 s=1>", "</c>", "<c r=B3>", "</c>", "</row>"});
    QTest::newRow("predefined entities in text")
        << sheet("<row><c><v>a &amp; b &lt;c&gt; &quot;d&apos; e&gt;f</v></c></row>")
        << sheetEvents({"<row>", "<c>", "<v>", "'a & b <c> \"d' e>f'", "</v>", "</c>", "</row>"});
    QTest::newRow("character references, decimal and hexadecimal")
        << sheet("<row><c><v>&#65;&#x42;&#xe9;&#x3A9;&#128512;&#x9;</v></c></row>")
        << sheetEvents(
               {"<row>", "<c>", "<v>", QStringLiteral("'AB\u00e9\u03a9\U0001F600\t'"), "</v>", "</c>", "</row>"});
    QTest::newRow("references in attribute values")
        << sheet("<row><c r=\"&#65;1\" t=\"&#x73;\" n=\"&lt;&amp;&gt;\"/></row>")
        << sheetEvents({"<row>", "<c r=A1 t=s n=<&>>", "</c>", "</row>"});
    QTest::newRow("an inline string of runs, phonetic run, xml:space")
        << sheet("<row><c r=\"A1\" t=\"inlineStr\"><is><r><t xml:space=\"preserve\"> Ann </t></r><r><rPr><b/></rPr>"
                 "<t>Lee</t></r><rPh sb=\"0\" eb=\"1\"><t>x</t></rPh></is></c></row>")
        << sheetEvents({"<row>",
                        "<c r=A1 t=inlineStr>",
                        "<is>",
                        "<r>",
                        "<t xml:space=preserve>",
                        "' Ann '",
                        "</t>",
                        "</r>",
                        "<r>",
                        "<rPr>",
                        "<b>",
                        "</b>",
                        "</rPr>",
                        "<t>",
                        "'Lee'",
                        "</t>",
                        "</r>",
                        "<rPh sb=0 eb=1>",
                        "<t>",
                        "'x'",
                        "</t>",
                        "</rPh>",
                        "</is>",
                        "</c>",
                        "</row>"});
    QTest::newRow("line ends in text become LF; a referenced CR stays")
        << sheet("<row><c><v>a\r\nb\rc\nd&#13;e</v></c></row>")
        << sheetEvents({"<row>", "<c>", "<v>", "'a\nb\nc\nd\re'", "</v>", "</c>", "</row>"});
    QTest::newRow("tabs and line ends in attribute values become spaces")
        << sheet("<row><c r=\"A1\" x=\"a\tb\r\nc\nd&#10;e\"/></row>")
        << sheetEvents({"<row>", "<c r=A1 x=a b c d\ne>", "</c>", "</row>"});
    QTest::newRow("UTF-8 text") << sheet("<row><c><v>Zo\xc3\xab \xce\xa9 \xe2\x82\xac \xf0\x9f\x98\x80</v></c></row>")
                                << sheetEvents({"<row>", "<c>", "<v>",
                                                QStringLiteral("'Zo\u00eb \u03a9 \u20ac \U0001F600'"), "</v>", "</c>",
                                                "</row>"});
    QTest::newRow("white space inside tags")
        << sheet("<row\n r = '1' ><c\tr=\"A1\"\r\n t=\"n\"  ><v >1</v ></c ></row\n>")
        << sheetEvents({"<row r=1>", "<c r=A1 t=n>", "<v>", "'1'", "</v>", "</c>", "</row>"});
    QTest::newRow("'>' and the other quote inside attribute values")
        << sheet("<row><c r=\"A1\" f=\"a>b's\" g='say \"hi\"'/></row>")
        << sheetEvents({"<row>", "<c r=A1 f=a>b's g=say \"hi\">", "</c>", "</row>"});
    QTest::newRow("white space between elements is character data")
        << sheet("\n  <row>\n    <c/>\n  </row>\n")
        << sheetEvents({"'\n  '", "<row>", "'\n    '", "<c>", "</c>", "'\n  '", "</row>", "'\n'"});
    QTest::newRow("byte order mark, no declaration, white space after the root")
        << QByteArray("\xef\xbb\xbf<worksheet><sheetData/></worksheet>\n\n")
        << QStringList{"<worksheet>", "<sheetData>", "</sheetData>", "</worksheet>"};
    QTest::newRow("byte order mark before the declaration")
        << QByteArray("\xef\xbb\xbf" + kDecl + "<worksheet/>") << QStringList{"<worksheet>", "</worksheet>"};
    QTest::newRow("encoding name in any letter case")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?><worksheet/>")
        << QStringList{"<worksheet>", "</worksheet>"};
    QTest::newRow("declaration in single quotes, without encoding")
        << QByteArray("<?xml version='1.0'?><worksheet/>") << QStringList{"<worksheet>", "</worksheet>"};
    QTest::newRow("a single ']' and ']]' in text")
        << sheet("<row><c><v>a]b]]c</v></c></row>")
        << sheetEvents({"<row>", "<c>", "<v>", "'a]b]]c'", "</v>", "</c>", "</row>"});
}

void TestXmlScanner::sameEventsAsExpat()
{
    QFETCH(QByteArray, doc);
    QFETCH(QStringList, events);

    Recorder theirs;
    QString error;
    QVERIFY2(expat(doc, theirs, error), qPrintable(error));
    QCOMPARE(theirs.take(), events);

    for (const qsizetype piece : {0, 1, 2, 3, 7, 64}) {
        Recorder ours;
        QCOMPARE(scan(doc, ours, piece), XmlScanner::Status::Done);
        QCOMPARE(ours.take(), events);
    }
}

void TestXmlScanner::givesUpBeyondItsSubset_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<bool>("wellFormed"); // whether expat takes it

    // Well-formed, but not what sheet writers write: expat reads these.
    QTest::newRow("comment") << sheet("<!-- note --><row/>") << true;
    QTest::newRow("processing instruction") << sheet("<?mso-app x?><row/>") << true;
    QTest::newRow("CDATA section") << sheet("<row><c><v><![CDATA[1]]></v></c></row>") << true;
    QTest::newRow("another encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet/>")
                                      << true;
    QTest::newRow("UTF-16") << QByteArray("\xff\xfe<\0w\0/\0>\0", 10) << true;
    QTest::newRow("non-ASCII element name") << sheet("<row><\xc3\xa9t/></row>") << true;
    QTest::newRow("long character reference") << sheet("<row><c><v>&#x000000041;</v></c></row>") << true;

    // Not well-formed: expat refuses these, with its own words.
    QTest::newRow("mismatched end tag") << sheet("<row></rows>") << false;
    QTest::newRow("root not closed") << QByteArray(kDecl + "<worksheet><sheetData>") << false;
    QTest::newRow("second root") << QByteArray("<worksheet/><worksheet/>") << false;
    QTest::newRow("text after the root") << QByteArray("<worksheet/>junk") << false;
    QTest::newRow("empty document") << QByteArray() << false;
    QTest::newRow("duplicate attribute") << sheet("<row><c r=\"A1\" r=\"A2\"/></row>") << false;
    QTest::newRow("attributes not apart") << sheet("<row><c r=\"A1\"t=\"s\"/></row>") << false;
    QTest::newRow("unquoted value") << sheet("<row><c r=A1/></row>") << false;
    QTest::newRow("'<' in a value") << sheet("<row><c r=\"<\"/></row>") << false;
    QTest::newRow("bare ampersand") << sheet("<row><c><v>a & b</v></c></row>") << false;
    QTest::newRow("undefined entity") << sheet("<row><c><v>&nbsp;</v></c></row>") << false;
    QTest::newRow("reference to NUL") << sheet("<row><c><v>&#0;</v></c></row>") << false;
    QTest::newRow("reference to a surrogate") << sheet("<row><c><v>&#xD800;</v></c></row>") << false;
    QTest::newRow("invalid UTF-8") << sheet("<row><c><v>\xc3\x28</v></c></row>") << false;
    QTest::newRow("overlong UTF-8") << sheet("<row><c><v>\xc0\x80</v></c></row>") << false;
    QTest::newRow("truncated UTF-8 at the end") << QByteArray("<worksheet>\xe2\x82") << false;
    QTest::newRow("control character") << sheet("<row><c><v>\x01</v></c></row>") << false;
    QTest::newRow("']]>' in text") << sheet("<row><c><v>a]]>b</v></c></row>") << false;
    QTest::newRow("declaration not first") << QByteArray(" <?xml version=\"1.0\"?><worksheet/>") << false;
    QTest::newRow("declaration without version") << QByteArray("<?xml encoding=\"UTF-8\"?><worksheet/>") << false;
    QTest::newRow("standalone not in lower case")
        << QByteArray("<?xml version=\"1.0\" standalone=\"yEs\"?><worksheet/>") << false;
    QTest::newRow("tag cut off") << QByteArray("<worksheet><row") << false;
    QTest::newRow("name starting with a digit") << sheet("<row><1c/></row>") << false;
}

void TestXmlScanner::givesUpBeyondItsSubset()
{
    QFETCH(QByteArray, doc);
    QFETCH(bool, wellFormed);

    Recorder theirs;
    QString error;
    QCOMPARE(expat(doc, theirs, error), wellFormed);
    for (const qsizetype piece : {0, 1, 5}) {
        Recorder ours;
        QCOMPARE(scan(doc, ours, piece), XmlScanner::Status::Unsupported);
    }
}

void TestXmlScanner::handlerFailureStopsTheScan()
{
    const QByteArray doc = sheet("<row><c r=\"A1\"><v>1</v></c><c r=\"B1\"><v>2</v></c></row>");
    for (const qsizetype piece : {0, 1}) {
        Recorder ours("v");
        QCOMPARE(scan(doc, ours, piece), XmlScanner::Status::Failed);
        QCOMPARE(ours.failure(), QStringLiteral("met <v>"));
        // Nothing after the failing event reaches the handler.
        QCOMPARE(ours.take(), sheetEvents({"<row>", "<c r=A1>", "<v>"}).mid(0, 5));
    }

    // Through a package, worded as expat's path words it.
    Xlsx::ZipPackage package;
    QString error;
    const QString name = QStringLiteral("xl/worksheets/sheet1.xml");
    QVERIFY(package.open(RawPackage().part(name, doc).zip(), error));
    Recorder ours("v"), theirs("v");
    QString scanError, expatError;
    QCOMPARE(Xlsx::scanXmlPart(package, name, qint64(1) << 20, ours, scanError), XmlScanner::Status::Failed);
    QVERIFY(!Xlsx::parseXmlPart(package, name, qint64(1) << 20, theirs, expatError));
    QCOMPARE(scanError, expatError);
    QCOMPARE(ours.take(), theirs.take());
}

QTEST_GUILESS_MAIN(TestXmlScanner)
#include "test_xmlscanner.moc"
