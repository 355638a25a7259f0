// Opens the bytes as an OpenDocument spreadsheet, loads every sheet and reads every cell:
// whatever the bytes, the reader returns a workbook or an error, never a crash.
#include "import/workbook/WorkbookBackends.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    Workbook::OpenResult opened = Workbook::openOdsWorkbook(bytes);
    if (!opened.file)
        return 0;
    size_t touched = 0;
    const QStringList names = opened.file->sheetNames();
    for (int i = 0; i < names.size(); ++i) {
        Workbook::Sheet sheet;
        QString error;
        if (!opened.file->loadSheet(i, sheet, error))
            continue;
        for (const Workbook::Cell& cell : sheet.cells())
            touched += size_t(cell.kind) + size_t(sheet.text(cell).size()) + (cell.number() != 0);
        if (sheet.hasCells() && !sheet.find(sheet.lastRow(), sheet.cells().back().col))
            __builtin_trap();
        touched += sheet.rowCount() + sheet.columnCount();
    }
    if (touched == size_t(-1))
        std::puts("");
    return 0;
}
