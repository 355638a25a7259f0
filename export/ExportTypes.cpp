#include "ExportTypes.h"

#include <QMutex>

QString formatName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Text:
        return QStringLiteral("txt");
    case ExportFormat::Html:
        return QStringLiteral("html");
    case ExportFormat::Xls:
        return QStringLiteral("xls");
    case ExportFormat::Xlsx:
        return QStringLiteral("xlsx");
    }
    return {};
}

QString formatExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Text:
        return QStringLiteral(".txt");
    case ExportFormat::Html:
        return QStringLiteral(".html");
    case ExportFormat::Xls:
        return QStringLiteral(".xls");
    case ExportFormat::Xlsx:
        return QStringLiteral(".xlsx");
    }
    return {};
}

QString withFormatExtension(const QString& path, ExportFormat format)
{
    const QString extension = formatExtension(format);
    if (path.endsWith(extension, Qt::CaseInsensitive))
        return path;
    return path + extension;
}

std::optional<QDate> readLogDate(const QString& text)
{
    // By hand rather than with a pattern: the filter reads every row of the log.
    const QStringView t = QStringView(text).left(12);
    qsizetype i = 0;
    while (i < t.size() && t[i].isSpace())
        ++i;
    int parts[3] = {0, 0, 0};
    const int maxDigits[3] = {2, 2, 4};
    for (int p = 0; p < 3; ++p) {
        const qsizetype start = i;
        while (i < t.size() && t[i] >= u'0' && t[i] <= u'9' && i - start < maxDigits[p])
            parts[p] = parts[p] * 10 + (t[i++].unicode() - u'0');
        const qsizetype digits = i - start;
        if (digits == 0 || (p == 2 && digits != 4))
            return std::nullopt;
        if (p < 2 && (i >= t.size() || t[i++] != u'/'))
            return std::nullopt;
    }
    if (i < t.size() && !t[i].isSpace())
        return std::nullopt;
    const QDate date(parts[2], parts[1], parts[0]);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString durationText(const ExportDateRange& range)
{
    const QString format = QStringLiteral("dd/MM/yyyy");
    return QStringLiteral("[ Duration - ") + range.start.toString(format) + QStringLiteral(" to ") +
           range.end.toString(format) + QStringLiteral(" ]");
}

namespace {

QMutex g_optionsMutex;
ExportOptions g_options;

} // namespace

ExportOptions exportOptions()
{
    QMutexLocker lock(&g_optionsMutex);
    return g_options;
}

void setExportOptions(const ExportOptions& options)
{
    QMutexLocker lock(&g_optionsMutex);
    g_options = options;
}
