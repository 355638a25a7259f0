#include "import/workbook/WorkbookBackends.h"

// Placeholder until the reader lands.
Workbook::OpenResult Workbook::openZipWorkbook(const QByteArray&)
{
    OpenResult result;
    result.status = OpenStatus::NoBackend;
    return result;
}
