#include "WorkbookBackends.h"

// Linked when the build has no .xls reader.
Workbook::OpenResult Workbook::openOle2Workbook(const QByteArray&)
{
    OpenResult result;
    result.status = OpenStatus::NoBackend;
    result.detail = QStringLiteral("this build reads no .xls files");
    return result;
}
