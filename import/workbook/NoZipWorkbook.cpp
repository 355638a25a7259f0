#include "WorkbookBackends.h"

// Linked when the build has no .xlsx reader.
Workbook::OpenResult Workbook::openZipWorkbook(const QByteArray&)
{
    OpenResult result;
    result.status = OpenStatus::NoBackend;
    result.detail = QStringLiteral("this build reads no .xlsx files");
    return result;
}
