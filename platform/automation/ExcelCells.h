#pragma once

#include <QDate>
#include <QString>

#include <optional>

// The spreadsheet program stand-in's cells and how it takes the values put
// into them.
namespace Automation {

struct Variant;

inline constexpr int kMaxCellText = 32767;
inline constexpr int kMaxSheetRows = 1048576;
inline constexpr int kMaxSheetColumns = 16384;

struct CellValue
{
    enum class Kind
    {
        Empty,
        Text,
        Number,
        Boolean,
        Date,
        Formula,
        Error
    } kind = Kind::Empty;
    double number = 0; // Number, Boolean (1 or 0), Date (days since 30 December 1899)
    QString text;      // Text, Formula (with its "="), Error ("#N/A")
    bool operator==(const CellValue&) const = default;
};

// A text put into a cell as typing it would be taken: a leading apostrophe
// keeps the rest as text; "=..." is a formula; numbers (kept to 15
// significant digits), TRUE and FALSE, error literals, and day-first dates
// ("1/2", "12-34" as December 1934) become values; anything else is text.
// `today` (the current date when invalid) supplies the year of a date typed
// without one.
CellValue cellFromText(const QString& text, const QDate& today = QDate());

// A VARIANT put into a cell; nothing when its type cannot go into a cell or a
// text is longer than a cell holds.
std::optional<CellValue> cellFromVariant(const Variant& value);

// "A1" or "$C$101" as 0-based row and column; nothing when it is not a cell.
std::optional<std::pair<int, int>> parseCellReference(QStringView text);

} // namespace Automation
