#pragma once

#include "Automation.h"
#include "ExcelCells.h"

#include <map>
#include <memory>
#include <vector>

// The spreadsheet program stand-in reached as "Excel.Application": an
// application with workbooks of worksheets whose cells are set through
// Range.Value and saved as .xlsx files with SaveAs.
//
// Application: Visible, Workbooks, ActiveWorkbook, ActiveSheet, Quit.
// Workbooks: Add, Count. Workbook: ActiveSheet, Saved, SaveAs(Filename).
// Worksheet: Name, Range(Cell1[, Cell2]). Range: Value.
namespace Automation {

inline constexpr Guid CLSID_ExcelApplication{
    0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct SheetModel
{
    QString name;
    std::map<std::pair<int, int>, CellValue> cells; // (row, column), 0-based
};

struct BookModel
{
    std::vector<std::shared_ptr<SheetModel>> sheets;
    size_t activeSheet = 0;
    bool saved = true;
};

// Writes the workbook as an Office Open XML file. Returns an empty string on
// success, else why it failed.
QString saveXlsx(const BookModel& book, const QString& path);

// A new application object (one reference, owned by the caller).
ComPtr<IDispatch> createExcelApplication();

} // namespace Automation
