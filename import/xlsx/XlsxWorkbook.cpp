#include "XlsxParts.h"
#include "XlsxSheet.h"
#include "ZipPackage.h"

#include "import/workbook/WorkbookBackends.h"

namespace Xlsx {

namespace {

using Workbook::OpenResult;
using Workbook::OpenStatus;

bool isBinaryWorkbook(const QString& contentType)
{
    return contentType.contains(QLatin1String(".binary."), Qt::CaseInsensitive);
}

class XlsxFile final : public Workbook::File
{
public:
    struct SheetPart
    {
        QString name;
        QString part;
    };

    ZipPackage package;
    std::vector<SheetPart> sheets;
    QString stylesPart;
    QString sharedStringsPart;
    bool date1904 = false;

    QStringList sheetNames() const override
    {
        QStringList names;
        names.reserve(qsizetype(sheets.size()));
        for (const SheetPart& s : sheets)
            names.append(s.name);
        return names;
    }

    bool loadSheet(int index, Workbook::Sheet& sheet, QString& error) override
    {
        sheet.clear();
        if (index < 0 || size_t(index) >= sheets.size()) {
            error = QStringLiteral("no sheet %1 in a workbook of %2").arg(index + 1).arg(sheets.size());
            return false;
        }
        if (!loadShared(error))
            return false;
        sheet.name = sheets[size_t(index)].name;
        const SheetContext context{m_sharedStrings, m_dateStyles, date1904};
        if (!readSheet(package, sheets[size_t(index)].part, context, sheet, error)) {
            sheet.clear();
            return false;
        }
        sheet.finish();
        return true;
    }

private:
    // Styles and shared strings, read once before the first sheet.
    bool loadShared(QString& error)
    {
        if (!m_sharedLoaded) {
            m_sharedLoaded = true;
            const bool ok = (stylesPart.isEmpty() || package.find(stylesPart) < 0 ||
                             readDateStyles(package, stylesPart, m_dateStyles, m_sharedError)) &&
                            (sharedStringsPart.isEmpty() || package.find(sharedStringsPart) < 0 ||
                             readSharedStrings(package, sharedStringsPart, m_sharedStrings, m_sharedError));
            if (!ok) {
                m_dateStyles.clear();
                m_sharedStrings = SharedStrings();
            }
        }
        error = m_sharedError;
        return m_sharedError.isEmpty();
    }

    bool m_sharedLoaded = false;
    QString m_sharedError;
    std::vector<bool> m_dateStyles;
    SharedStrings m_sharedStrings;
};

OpenResult refuse(const QString& detail)
{
    OpenResult result;
    result.status = OpenStatus::NotAWorkbook;
    result.detail = detail;
    return result;
}

} // namespace

} // namespace Xlsx

Workbook::OpenResult Workbook::openZipWorkbook(const QByteArray& bytes)
{
    using namespace Xlsx;
    auto file = std::make_unique<XlsxFile>();
    QString error;
    if (!file->package.open(bytes, error))
        return refuse(error);

    // The workbook part: named by the package relationships, else by its content type.
    QHash<QString, QString> contentTypes;
    if (file->package.find(QStringLiteral("[Content_Types].xml")) >= 0 &&
        !readContentTypes(file->package, contentTypes, error))
        return refuse(error);
    std::vector<Relationship> packageRels;
    if (!readRelationships(file->package, QString(), packageRels, error))
        return refuse(error);
    QString workbookPart;
    for (const Relationship& rel : packageRels) {
        if (hasType(rel, u"officeDocument") && !rel.target.isEmpty()) {
            workbookPart = rel.target;
            break;
        }
    }
    if (workbookPart.isEmpty()) {
        for (auto it = contentTypes.cbegin(); it != contentTypes.cend(); ++it) {
            if (it.value().contains(QLatin1String("spreadsheetml.sheet.main+xml")) ||
                it.value().contains(QLatin1String("ms-excel.sheet.macroEnabled.main+xml"))) {
                workbookPart = it.key();
                break;
            }
        }
    }
    if (workbookPart.isEmpty())
        return refuse(QStringLiteral("no workbook part: the package names no office document"));
    if (isBinaryWorkbook(contentTypes.value(workbookPart.toLower())))
        return refuse(QStringLiteral("%1 is a binary workbook, which this reader does not read").arg(workbookPart));

    WorkbookInfo info;
    std::vector<Relationship> workbookRels;
    if (!readWorkbook(file->package, workbookPart, info, error) ||
        !readRelationships(file->package, workbookPart, workbookRels, error))
        return refuse(error);
    file->date1904 = info.date1904;
    for (const Relationship& rel : workbookRels) {
        if (hasType(rel, u"styles") && file->stylesPart.isEmpty())
            file->stylesPart = rel.target;
        else if (hasType(rel, u"sharedStrings") && file->sharedStringsPart.isEmpty())
            file->sharedStringsPart = rel.target;
    }
    // Only worksheets are sheets here: chart, dialog and macro sheets stay out.
    QHash<QString, const Relationship*> byId;
    for (const Relationship& rel : workbookRels)
        byId.insert(rel.id, &rel);
    for (const WorkbookSheet& sheet : info.sheets) {
        const Relationship* rel = byId.value(sheet.relationshipId);
        if (rel && hasType(*rel, u"worksheet") && !rel->target.isEmpty())
            file->sheets.push_back({sheet.name, rel->target});
    }

    OpenResult result;
    result.status = OpenStatus::Ok;
    result.detail = QStringLiteral("%1 worksheets of %2 sheets").arg(file->sheets.size()).arg(info.sheets.size());
    result.file = std::move(file);
    return result;
}
