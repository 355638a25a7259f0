#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <vector>

// Excel 97-2003 workbooks: the BIFF8 "Workbook" stream and the compound
// document around it.
namespace Biff8 {

inline constexpr int kMaxRows = 65536; // row indexes 0 to 65535
inline constexpr int kMaxColumns = 256;
inline constexpr int kMaxCellText = 32767;
inline constexpr int kMaxSheetName = 31;

struct Value
{
    enum class Kind : unsigned char
    {
        Empty,
        Text,
        Number
    } kind = Kind::Empty;
    double number = 0;
    QString text;
};

// A sheet's cells row by row: row r, column c is cells[r * columns + c].
struct Sheet
{
    QString name;
    int columns = 0;
    std::vector<Value> cells;
    int rowCount() const { return columns > 0 ? int(cells.size() / size_t(columns)) : 0; }
};

// The workbook stream in pieces: globals (fonts, formats, sheet list, shared
// strings), then one worksheet substream per sheet. Sheets must respect the
// limits above; an empty list gives one empty sheet "Sheet1".
QByteArrayList workbookStream(const std::vector<Sheet>& sheets);

// Writes the pieces as the "Workbook" entry of a new compound document at
// path. Returns an empty string on success, else why it failed.
QString writeCompoundFile(const QString& path, const QByteArrayList& workbookStream);

// Whether a sheet name can be written (1 to 31 characters, none of : \ / ? * [ ]).
bool isValidSheetName(const QString& name);

} // namespace Biff8
