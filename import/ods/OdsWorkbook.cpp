#include "OdsContent.h"

#include "import/workbook/WorkbookBackends.h"

namespace {

using Workbook::OpenResult;
using Workbook::OpenStatus;

class OdsFile final : public Workbook::File
{
public:
    Xlsx::ZipPackage package;
    QStringList names;

    QStringList sheetNames() const override { return names; }

    bool loadSheet(int index, Workbook::Sheet& sheet, QString& error) override
    {
        sheet.clear();
        if (index < 0 || index >= names.size()) {
            error = QStringLiteral("no sheet %1 in a workbook of %2").arg(index + 1).arg(names.size());
            return false;
        }
        sheet.name = names.at(index);
        if (!Ods::readSheet(package, index, sheet, error)) {
            sheet.clear();
            return false;
        }
        sheet.finish();
        return true;
    }
};

OpenResult refuse(OpenStatus status, const QString& detail)
{
    OpenResult result;
    result.status = status;
    result.detail = detail;
    return result;
}

} // namespace

Workbook::OpenResult Workbook::openOdsWorkbook(const QByteArray& bytes)
{
    auto file = std::make_unique<OdsFile>();
    QString error;
    if (!file->package.open(bytes, error))
        return refuse(OpenStatus::NotAWorkbook, error);
    if (file->package.find(QStringLiteral("content.xml")) < 0)
        return refuse(OpenStatus::NotAWorkbook, QStringLiteral("no content.xml: not an OpenDocument spreadsheet"));
    if (Ods::isContentEncrypted(file->package))
        return refuse(OpenStatus::Encrypted, QStringLiteral("content.xml is encrypted"));
    if (!Ods::readSheetNames(file->package, file->names, error))
        return refuse(OpenStatus::NotAWorkbook, error);
    OpenResult result;
    result.status = OpenStatus::Ok;
    result.detail = QStringLiteral("%1 sheets").arg(file->names.size());
    result.file = std::move(file);
    return result;
}
