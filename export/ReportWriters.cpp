#include "ReportWriters.h"

#include "platform/TextCodec.h"

#include <QIODevice>

namespace {

constexpr qsizetype kChunk = 1 << 20;

const QString kTitle = QStringLiteral("[ Ulmex Veva SMS - Sent Items ]");

const QString kHtmlHead = QStringLiteral(
    "<html><head><title>[ Ulmex Veva SMS - Sent Items ]</title><style type=text/css>Body,Td,Th{font-family:Verdana, "
    "Arial, Helvetica, sans-serif; font-size:11px}.style1 {font-size: 16px;font-weight: bold; color: #000000;}.style2 "
    "{font-size: 11px;font-weight: normal; color: #000000;}.style3 {font-size: 16px;font-weight: bold;\tcolor: "
    "#ffffff;\t}style4 {font-size: 12px;font-weight: bold;\tcolor: #000000;\t}.</style></head><body bgcolor "
    "=#f1f4fa><table width=1100 border=0 align=center cellpadding=0 cellspacing=0 bordercolor=#000000><tr><td align = "
    "center class= style1>[ Ulmex Veva SMS - Sent Items ]</td></tr></table><br><table width=1100 border=0 "
    "align=center cellpadding=0 cellspacing=0 bordercolor=#000000><tr><td align = center class= style4>");

const QString kHtmlListHead = QStringLiteral(
    "</td></tr></table><br><br><table width=1100 border=1 align=center cellpadding=0 cellspacing=0 "
    "bordercolor=#000000><tr><th height = 30 bgcolor = #647dbe align = Left class =style3>Sent Items:</th></tr>");

// Collects bytes and hands them to the device in large pieces.
class ChunkedWriter
{
public:
    explicit ChunkedWriter(QIODevice& out) : m_out(out) { m_buffer.reserve(kChunk + 4096); }

    bool add(const QByteArray& bytes)
    {
        m_buffer.append(bytes);
        return m_buffer.size() < kChunk || flush();
    }

    bool flush()
    {
        const bool ok = m_buffer.isEmpty() || m_out.write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return ok;
    }

private:
    QIODevice& m_out;
    QByteArray m_buffer;
};

QByteArray utf16le(const QString& text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* p = bytes.data();
    for (QChar c : text) {
        *p++ = char(c.unicode() & 0xFF);
        *p++ = char(c.unicode() >> 8);
    }
    return bytes;
}

} // namespace

QString htmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString htmlMessage(const QString& message)
{
    QString out = htmlEscaped(message);
    out.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    out.replace(QLatin1Char(' '), QLatin1String("&nbsp;"));
    return out;
}

bool writeTextReport(QIODevice& out, const QList<DataFiles::SentItem>& rows, const ExportDateRange& range)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString rule = QString(132, QLatin1Char('=')) + crlf;
    ChunkedWriter w(out);
    const QString head = rule + crlf + QStringLiteral("\t\t\t\t\t\t") + kTitle + crlf + crlf +
                         QStringLiteral("\t\t\t\t\t    ") + durationText(range) + crlf + crlf + rule;
    if (!w.add(TextCodec::toAnsi(head)))
        return false;
    for (const DataFiles::SentItem& row : rows) {
        const QString block = QStringLiteral("Date\t: ") + row.date + crlf + QStringLiteral("Number\t: ") + row.number +
                              crlf + QStringLiteral("Message\t: ") + row.message + crlf + rule;
        if (!w.add(TextCodec::toAnsi(block)))
            return false;
    }
    return w.flush();
}

bool writeHtmlReport(QIODevice& out, const QList<DataFiles::SentItem>& rows, const ExportDateRange& range)
{
    const QString separator = QStringLiteral(":&nbsp;&nbsp;");
    ChunkedWriter w(out);
    if (!w.add(QByteArrayLiteral("\xFF\xFE") + utf16le(kHtmlHead + durationText(range) + kHtmlListHead)))
        return false;
    for (const DataFiles::SentItem& row : rows) {
        const QString block =
            QStringLiteral("<tr><td  height = 50 class = style2><table><tr><td width=60>Date</td><td>") + separator +
            QStringLiteral("</td><td>") + htmlEscaped(row.date) +
            QStringLiteral("</td><tr><td width=60>Number</td><td>") + separator + QStringLiteral("</td><td>") +
            htmlEscaped(row.number) + QStringLiteral("</td><tr><td width=60>Message</td><td>") + separator +
            QStringLiteral("</td><td>") + htmlMessage(row.message) + QStringLiteral("</td></table></td></tr>");
        if (!w.add(utf16le(block)))
            return false;
    }
    return w.flush();
}
