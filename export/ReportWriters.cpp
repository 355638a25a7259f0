#include "ReportWriters.h"

#include "platform/TextCodec.h"

#include <QIODevice>
#include <QSysInfo>

#include <functional>

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

// Collects text and hands it to the device, encoded, in large pieces.
class ChunkedWriter
{
public:
    ChunkedWriter(QIODevice& out, std::function<QByteArray(const QString&)> encode)
        : m_out(out), m_encode(std::move(encode))
    {
        m_text.reserve(kChunk + 4096);
    }

    bool add(const QString& text)
    {
        m_text.append(text);
        return m_text.size() < kChunk || flush();
    }

    bool flush()
    {
        const QByteArray bytes = m_encode(m_text);
        m_text.clear();
        return bytes.isEmpty() || m_out.write(bytes) == bytes.size();
    }

private:
    QIODevice& m_out;
    std::function<QByteArray(const QString&)> m_encode;
    QString m_text;
};

QByteArray utf16le(const QString& text)
{
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* p = bytes.data();
    for (QChar c : text) {
        *p++ = char(c.unicode() & 0xFF);
        *p++ = char(c.unicode() >> 8);
    }
    return bytes;
}

void appendEscaped(QString& out, QStringView text, bool message)
{
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
        case u'\n':
            if (message)
                out += QLatin1String("<br>");
            else
                out += c;
            break;
        case u' ':
            if (message)
                out += QLatin1String("&nbsp;");
            else
                out += c;
            break;
        default:
            out += c;
        }
    }
}

} // namespace

QString htmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    appendEscaped(out, text, false);
    return out;
}

QString htmlMessage(const QString& message)
{
    QString out;
    out.reserve(message.size() * 2);
    appendEscaped(out, message, true);
    return out;
}

bool writeTextReport(QIODevice& out, const QList<DataFiles::SentItem>& rows, const ExportDateRange& range)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString rule = QString(132, QLatin1Char('=')) + crlf;
    ChunkedWriter w(out, [](const QString& text) { return TextCodec::toAnsi(text); });
    const QString head = rule + crlf + QStringLiteral("\t\t\t\t\t\t") + kTitle + crlf + crlf +
                         QStringLiteral("\t\t\t\t\t    ") + durationText(range) + crlf + crlf + rule;
    if (!w.add(head))
        return false;
    for (const DataFiles::SentItem& row : rows) {
        const QString block = QStringLiteral("Date\t: ") + row.date + crlf + QStringLiteral("Number\t: ") + row.number +
                              crlf + QStringLiteral("Message\t: ") + row.message + crlf + rule;
        if (!w.add(block))
            return false;
    }
    return w.flush();
}

bool writeHtmlReport(QIODevice& out, const QList<DataFiles::SentItem>& rows, const ExportDateRange& range)
{
    const QLatin1String separator(":&nbsp;&nbsp;");
    if (out.write("\xFF\xFE", 2) != 2)
        return false;
    ChunkedWriter w(out, utf16le);
    if (!w.add(kHtmlHead + durationText(range) + kHtmlListHead))
        return false;
    QString block;
    for (const DataFiles::SentItem& row : rows) {
        block.clear();
        block += QLatin1String("<tr><td  height = 50 class = style2><table><tr><td width=60>Date</td><td>");
        block += separator;
        block += QLatin1String("</td><td>");
        appendEscaped(block, row.date, false);
        block += QLatin1String("</td><tr><td width=60>Number</td><td>");
        block += separator;
        block += QLatin1String("</td><td>");
        appendEscaped(block, row.number, false);
        block += QLatin1String("</td><tr><td width=60>Message</td><td>");
        block += separator;
        block += QLatin1String("</td><td>");
        appendEscaped(block, row.message, true);
        block += QLatin1String("</td></table>");
        block += QLatin1String("</td></tr>");
        if (!w.add(block))
            return false;
    }
    return w.flush();
}
