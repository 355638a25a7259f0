// Opens the bytes as an .xls file, loads every sheet and touches every cell.
// Bytes that are not an OLE2 container are taken as a bare workbook stream and
// put into one, so that most runs reach the record reader rather than stop at
// the container.
#include "import/Biff8TestWriter.h"
#include "import/workbook/WorkbookBackends.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QByteArray ole2Signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!bytes.startsWith(ole2Signature))
        bytes = Biff8TestWriter::ole2({{QStringLiteral("Workbook"), QByteArray(bytes)}});

    const Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
    if (!result.file)
        return 0;
    const QStringList names = result.file->sheetNames();
    volatile quint64 sink = 0;
    for (int i = 0; i < names.size(); ++i) {
        Workbook::Sheet sheet;
        QString error;
        if (!result.file->loadSheet(i, sheet, error))
            continue;
        for (const Workbook::Cell& c : sheet.cells()) {
            const Workbook::Cell* found = sheet.find(c.row, c.col);
            sink = sink + sheet.text(c).size() + quint64(c.number() != 0) + quint64(found == &c);
        }
        sink = sink + sheet.rowCount() + sheet.columnCount() + sheet.column(sheet.firstColumn()).size();
    }
    return 0;
}
