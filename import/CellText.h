#pragma once

#include "import/workbook/Workbook.h"

#include <QString>

#include <optional>

// A cell's value as text, the way the platform's variant conversion gives it:
// numbers in their shortest form up to 15 significant digits ("919876543210",
// "1.5", "1.23456789012346E+15"), booleans "-1" and "0", dates as the user's
// short date (with the time when there is one), empty cells as empty text.
// Error values cannot be converted: nothing. `cell` is one of `sheet`'s, or null.
std::optional<QString> CellValueText(const Workbook::Sheet& sheet, const Workbook::Cell* cell);

// The number part alone, for tests and callers that format numbers.
QString NumberText(double value);
