#include "WorkbookBackends.h"

// Linked when the build has no zip reader: neither .xlsx nor .ods.
Workbook::OpenResult Workbook::openZipWorkbook(const QByteArray&)
{
    OpenResult result;
    result.status = OpenStatus::NoBackend;
    result.detail = QStringLiteral("this build reads no .xlsx files");
    return result;
}

Workbook::OpenResult Workbook::openOdsWorkbook(const QByteArray&)
{
    OpenResult result;
    result.status = OpenStatus::NoBackend;
    result.detail = QStringLiteral("this build reads no .ods files");
    return result;
}
