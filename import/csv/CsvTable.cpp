#include "CsvTable.h"

#include "platform/TextCodec.h"

#include <QStringDecoder>

namespace Csv {

QString decode(const QByteArray& bytes)
{
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    const QByteArrayView content = bom ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(content);
    if (bom || !utf8.hasError())
        return text;
    return TextCodec::fromAnsi(bytes);
}

QChar detectSeparator(QStringView text)
{
    constexpr int kSampleLines = 20;
    int lines = 0;
    qsizetype expected = -1;
    qsizetype count = 0;
    bool inQuotes = false, content = false;
    auto endLine = [&] {
        if (!content)
            return true; // empty lines say nothing
        content = false;
        ++lines;
        if (expected < 0)
            expected = count;
        const bool same = count == expected;
        count = 0;
        return same;
    };
    for (qsizetype i = 0; i < text.size() && lines < kSampleLines; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            inQuotes = !inQuotes; // "" inside quotes toggles twice
        } else if (inQuotes) {
            // separators and line breaks inside quotes belong to the field
        } else if (c == u'\n' || c == u'\r') {
            if (!endLine())
                return u',';
            continue;
        } else if (c == u';') {
            ++count;
        }
        content = true;
    }
    if (!endLine())
        return u',';
    return expected > 0 ? u';' : u',';
}

bool parse(QStringView text, QChar separator,
           const std::function<bool(quint32 record, quint32 index, QString&& value)>& field)
{
    quint32 record = 0, index = 0;
    QString value;
    bool quoted = false;   // the field started with a quote
    bool inQuotes = false; // and it is not closed yet
    bool inRecord = false; // anything read since the last record ended
    auto endField = [&] {
        const bool go = value.isEmpty() || field(record, index, std::move(value));
        value = QString();
        quoted = false;
        return go;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c != u'"')
                value.append(c);
            else if (i + 1 < text.size() && text[i + 1] == u'"')
                value.append(text[++i]);
            else
                inQuotes = false;
            continue;
        }
        if (c == separator) {
            if (!endField())
                return false;
            ++index;
            inRecord = true;
        } else if (c == u'\n' || c == u'\r') {
            if (!endField())
                return false;
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            ++record;
            index = 0;
            inRecord = false;
        } else if (c == u'"' && value.isEmpty() && !quoted) {
            quoted = inQuotes = inRecord = true;
        } else {
            // A quote inside an unquoted field, or after a closing one, is kept as it is.
            value.append(c);
            inRecord = true;
        }
    }
    // The last record needs no line break after it.
    return !inRecord || endField();
}

} // namespace Csv
