#pragma once

#include <QString>
#include <QStringView>

// What a cell's number format makes of its number, decided as spreadsheet
// programs decide it: from the format code, read token by token, so that the
// "e" of "General", the "E" of "0.00E+00" or a letter inside "[$-409]" or
// "\"Date:\"" never turn a number into a date.
namespace Workbook {

enum class FormatKind : unsigned char
{
    Number,   // also General, percentages, fractions, currencies and text (@)
    Date,     // days only
    Time,     // time of day only
    DateTime, // both
    Elapsed,  // a duration: [h], [mm] or [ss]
};

// The kind of a format code. Only the first section (positive numbers) decides.
FormatKind classifyFormatCode(QStringView code);

// The kind of a built-in format id (0-163) when the file does not spell out
// its code: 14-22 and 45-47 show dates and times, every other id numbers.
FormatKind builtinFormatKind(int id);

// The kind of format `id` of a file: its code when the file gives one, else
// the built-in meaning of the id.
FormatKind formatKind(int id, const QString* code);

// Whether the readers give a cell of this format as a date (serial day number).
inline bool showsDate(FormatKind kind)
{
    return kind != FormatKind::Number;
}

} // namespace Workbook
