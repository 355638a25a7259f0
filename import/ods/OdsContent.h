#pragma once

#include "import/workbook/Workbook.h"
#include "import/xlsx/ZipPackage.h"

#include <string_view>

// The spreadsheet body of an OpenDocument package (content.xml).
namespace Ods {

// As many cells as the .xlsx reader takes from one sheet; repeated rows and
// columns count once per cell they stand for.
inline constexpr size_t kMaxCellsPerSheet = size_t(1) << 23;

// The names of the sheets (table:table under office:spreadsheet), in order.
bool readSheetNames(Xlsx::ZipPackage& package, QStringList& names, QString& error);

// The cells of sheet `index` that hold something. Empty cells, styled or not,
// are not stored; formulas without a value are, as Empty cells so marked.
bool readSheet(Xlsx::ZipPackage& package, int index, Workbook::Sheet& sheet, QString& error);

// Whether the manifest says content.xml is encrypted (a password-protected file).
bool isContentEncrypted(Xlsx::ZipPackage& package);

// office:date-value ("2024-03-05", "2024-03-05T18:30:00.5") as a serial day
// number of the 1900 date system; office:time-value ("PT18H30M00S", a duration
// that may run past a day or be negative) as days.
bool parseDateValue(std::string_view text, double& serial);
bool parseTimeValue(std::string_view text, double& days);

} // namespace Ods
