#pragma once

#include <QDate>
#include <QString>

#include <optional>

// What an export writes and which sent items it takes.

enum class ExportFormat
{
    Text,
    Html,
    Xls,
    Xlsx
};

// "txt", "html", "xls", "xlsx".
QString formatName(ExportFormat format);
// The extension with its dot: ".txt", ".html", ".xls", ".xlsx".
QString formatExtension(ExportFormat format);

// The chosen name with the format's extension appended when it does not end
// with it already (letter case ignored): "report.dat" becomes "report.dat.txt".
QString withFormatExtension(const QString& path, ExportFormat format);

struct ExportDateRange
{
    QDate start;
    QDate end;
    bool contains(const QDate& date) const { return date.isValid() && start <= date && date <= end; }
    bool operator==(const ExportDateRange&) const = default;
};

// A logged date read back: day first, "dd/MM/yyyy" with one or two digits for
// day and month, taken from the text's first 12 characters; what follows the
// date after a blank (a time) is dropped. Never by the locale. Nothing when
// the text is not such a date.
std::optional<QDate> readLogDate(const QString& text);

// "[ Duration - 01/03/2012 to 31/03/2012 ]".
QString durationText(const ExportDateRange& range);

// The range and format the export options leave for the sent-items export,
// held for the whole program run.
struct ExportOptions
{
    ExportFormat format = ExportFormat::Text;
    ExportDateRange range;
};
ExportOptions exportOptions();
void setExportOptions(const ExportOptions& options);
