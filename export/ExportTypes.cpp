#include "ExportTypes.h"

#include <QMutex>
#include <QRegularExpression>

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
    return QLatin1Char('.') + formatName(format);
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
    static const QRegularExpression dayFirst(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{4})(?:\\s.*)?$"));
    const auto m = dayFirst.match(text.left(12));
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
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
