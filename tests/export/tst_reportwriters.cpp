// The sent-items reports byte for byte, the HTML as a parser reads it, and
// writes that fail.
#include "ReadBack.h"

#include "export/ReportWriters.h"
#include "platform/TextCodec.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const ExportDateRange kMarch{QDate(2012, 3, 1), QDate(2012, 3, 31)};

QList<DataFiles::SentItem> fixture()
{
    return {{QStringLiteral("12345"), QStringLiteral("Hi\r\nthere"), QStringLiteral("07/03/2012")},
            {QStringLiteral("0044 7700"), QStringLiteral("Café Ω"), QStringLiteral("31/03/2012")}};
}

QByteArray utf16le(const QString& text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QByteArray htmlReport(const QList<DataFiles::SentItem>& rows)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!writeHtmlReport(out, rows, kMarch))
        return "<failed>";
    return out.data();
}

// Accepts `room` bytes, then fails every write.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        if (len > m_room)
            return -1;
        m_room -= len;
        return len;
    }

private:
    qint64 m_room;
};

} // namespace

class TestReportWriters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(TextCodec::setAnsiCodePage("windows-1252")); }

    void textReportBytes()
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(writeTextReport(out, fixture(), kMarch));
        const QByteArray rule(132, '=');
        const QByteArray expected =
            rule +
            "\r\n\r\n\t\t\t\t\t\t[ Ulmex Veva SMS - Sent Items ]\r\n\r\n\t\t\t\t\t    [ Duration - 01/03/2012 to "
            "31/03/2012 ]\r\n\r\n" +
            rule + "\r\nDate\t: 07/03/2012\r\nNumber\t: 12345\r\nMessage\t: Hi\r\nthere\r\n" + rule +
            "\r\nDate\t: 31/03/2012\r\nNumber\t: 0044 7700\r\nMessage\t: Caf\xE9 ?\r\n" + rule + "\r\n";
        QCOMPARE(out.data(), expected);
    }

    void htmlReportBytes()
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(writeHtmlReport(out, fixture().mid(0, 1), kMarch));
        const QString expected = QStringLiteral(
            "<html><head><title>[ Ulmex Veva SMS - Sent Items ]</title><style type=text/css>Body,Td,Th{font-family:"
            "Verdana, Arial, Helvetica, sans-serif; font-size:11px}.style1 {font-size: 16px;font-weight: bold; color: "
            "#000000;}.style2 {font-size: 11px;font-weight: normal; color: #000000;}.style3 {font-size: 16px;"
            "font-weight: bold;\tcolor: #ffffff;\t}style4 {font-size: 12px;font-weight: bold;\tcolor: #000000;\t}."
            "</style></head><body bgcolor =#f1f4fa><table width=1100 border=0 align=center cellpadding=0 "
            "cellspacing=0 bordercolor=#000000><tr><td align = center class= style1>[ Ulmex Veva SMS - Sent Items ]"
            "</td></tr></table><br><table width=1100 border=0 align=center cellpadding=0 cellspacing=0 "
            "bordercolor=#000000><tr><td align = center class= style4>[ Duration - 01/03/2012 to 31/03/2012 ]"
            "</td></tr></table><br><br><table width=1100 border=1 align=center cellpadding=0 cellspacing=0 "
            "bordercolor=#000000><tr><th height = 30 bgcolor = #647dbe align = Left class =style3>Sent Items:</th>"
            "</tr><tr><td  height = 50 class = style2><table><tr><td width=60>Date</td><td>:&nbsp;&nbsp;</td><td>"
            "07/03/2012</td><tr><td width=60>Number</td><td>:&nbsp;&nbsp;</td><td>12345</td><tr><td width=60>Message"
            "</td><td>:&nbsp;&nbsp;</td><td>Hi\r<br>there</td></table></td></tr>");
        QCOMPARE(out.data(), QByteArray("\xFF\xFE", 2) + utf16le(expected));
    }

    // Every field's text as entities: an "&" too, so "&lt;" or "&copy" in a log reads back as typed.
    void htmlEscapesEveryField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("ampersand") << QStringLiteral("a&b") << QStringLiteral("a&amp;b");
        QTest::newRow("entity look-alike") << QStringLiteral("&lt;") << QStringLiteral("&amp;lt;");
        QTest::newRow("escaped ampersand") << QStringLiteral("&amp;") << QStringLiteral("&amp;amp;");
        QTest::newRow("entity without semicolon") << QStringLiteral("&copy") << QStringLiteral("&amp;copy");
        QTest::newRow("brackets and quotes")
            << QStringLiteral("<b>\"x\"</b>&&>") << QStringLiteral("&lt;b&gt;&quot;x&quot;&lt;/b&gt;&amp;&amp;&gt;");
    }
    void htmlEscapesEveryField()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        const QString row =
            QStringLiteral("<tr><td  height = 50 class = style2><table><tr><td width=60>Date</td><td>:&nbsp;&nbsp;"
                           "</td><td>%1</td><tr><td width=60>Number</td><td>:&nbsp;&nbsp;</td><td>%1</td><tr><td "
                           "width=60>Message</td><td>:&nbsp;&nbsp;</td><td>%1</td></table></td></tr>")
                .arg(escaped);
        QCOMPARE(htmlReport({{text, text, text}}), htmlReport({}) + utf16le(row));
    }

    // Markup in the log comes back from a parser as the same text, never as elements.
    void htmlKeepsTextAsText()
    {
        const QString message = QStringLiteral("</td><script>alert(\"x\")</script>\n  a & b <b>bold</b>");
        const QString number = QStringLiteral("<img src=x>");
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("r.html")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(writeHtmlReport(file, {{number, message, QStringLiteral("07/03/2012")}}, kMarch));
        file.close();
        const QJsonObject parsed = readBack(QStringLiteral("html"), file.fileName());
        QStringList tags;
        for (const QJsonValue& t : parsed.value(QStringLiteral("tags")).toArray())
            tags.append(t.toString());
        QVERIFY(!tags.contains(QStringLiteral("script")));
        QVERIFY(!tags.contains(QStringLiteral("img")));
        QVERIFY(!tags.contains(QStringLiteral("b")));
        QStringList cells;
        for (const QJsonValue& c : parsed.value(QStringLiteral("cells")).toArray())
            cells.append(c.toString().replace(QChar(0xA0), u' '));
        QCOMPARE(cells.last(), message);
        QVERIFY(cells.contains(number));
    }

    void failedWritesAreReported()
    {
        QList<DataFiles::SentItem> many;
        for (int i = 0; i < 20000; ++i)
            many.append({QString::number(i), QStringLiteral("message %1").arg(i), QStringLiteral("07/03/2012")});
        for (qint64 room : {qint64(0), qint64(100), qint64(1 << 20)}) {
            FailingDevice text(room), html(room);
            QVERIFY(!writeTextReport(text, many, kMarch));
            QVERIFY(!writeHtmlReport(html, many, kMarch));
        }
    }
};

QTEST_GUILESS_MAIN(TestReportWriters)
#include "tst_reportwriters.moc"
