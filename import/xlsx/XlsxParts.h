#pragma once

#include "ZipPackage.h"

#include "import/workbook/Workbook.h"

#include <QHash>
#include <QString>

#include <memory>
#include <string_view>
#include <vector>

// The parts of a spreadsheet package besides the sheets, each read by one function.
namespace Xlsx {

// Size limits of the parts read when a package is opened and before its first sheet.
inline constexpr qint64 kMaxPackagePartBytes = qint64(16) << 20; // content types, relationships, workbook
inline constexpr qint64 kMaxStylesBytes = qint64(64) << 20;
// Even a part within its size limit may hold no more strings than this.
inline constexpr size_t kMaxSharedStrings = size_t(1) << 24;

struct Relationship
{
    QString id;
    QString type;   // the full type URI
    QString target; // resolved to a part name without leading "/", empty when external or unresolvable
};

// "[Content_Types].xml": lower-cased part name -> content type of its Override.
bool readContentTypes(ZipPackage& package, QHash<QString, QString>& overrides, QString& error);

// The relationships of `sourcePart` ("" for the package itself), from its
// "_rels/....rels" part. A missing part gives none and no error.
bool readRelationships(ZipPackage& package, const QString& sourcePart, std::vector<Relationship>& out, QString& error);

// A relationship's target as a part name: relative to the source part's folder,
// or absolute ("/xl/worksheets/sheet1.xml"); percent-escapes decoded. Empty when
// it leaves the package.
QString resolveTarget(const QString& sourcePart, const QString& target);

// The type of a relationship ends with this word ("worksheet", "styles", ...),
// whichever schema (transitional or strict) it comes from.
bool hasType(const Relationship& rel, QStringView word);

struct WorkbookSheet
{
    QString name;
    QString relationshipId;
};

struct WorkbookInfo
{
    std::vector<WorkbookSheet> sheets; // workbook order
    bool date1904 = false;
};

// workbook.xml. Fails when its root is not a workbook.
bool readWorkbook(ZipPackage& package, const QString& part, WorkbookInfo& out, QString& error);

// styles.xml: for each cell format (the cells' s="n"), whether it shows a date.
bool readDateStyles(ZipPackage& package, const QString& part, std::vector<bool>& out, QString& error);

// The shared strings of a workbook: their text in one pool its sheets share,
// and per string its place in the pool.
struct SharedStrings
{
    std::shared_ptr<Workbook::TextPool> pool = std::make_shared<Workbook::TextPool>();
    std::vector<Workbook::TextPool::Ref> refs;
};

// sharedStrings.xml: the text of every <si>, runs joined, phonetic runs left out.
bool readSharedStrings(ZipPackage& package, const QString& part, SharedStrings& out, QString& error);

// Cell text from its UTF-8 XML content, with the "_xHHHH_" escapes decoded that
// spreadsheet XML uses for characters XML cannot carry; "_x005F_" is a literal
// underscore, so "_x005F_x000D_" reads "_x000D_".
QString cellText(std::string_view utf8);

} // namespace Xlsx
