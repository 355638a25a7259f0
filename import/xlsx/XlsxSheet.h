#pragma once

#include "XlsxParts.h"
#include "ZipPackage.h"

#include "import/workbook/Workbook.h"

#include <vector>

namespace Xlsx {

// More cells than this in one sheet are refused rather than exhausting memory.
inline constexpr size_t kMaxCellsPerSheet = size_t(1) << 23;

struct SheetContext
{
    const SharedStrings& sharedStrings;
    const std::vector<bool>& dateStyles; // per cell format: shows a date
    bool date1904 = false;
};

// Reads one worksheet part into `sheet` (cells added, not finished). False,
// with `error`, when the part is damaged or over the limits.
bool readSheet(ZipPackage& package, const QString& part, const SheetContext& context, Workbook::Sheet& sheet,
               QString& error);

// An ISO 8601 date and time ("2024-03-05", "2024-03-05T10:20:30.5Z",
// "T10:20") as a serial day number; false when it is not one.
bool isoDateToSerial(std::string_view text, double& serial);

} // namespace Xlsx
