#include "CsvTable.h"

#include "import/workbook/WorkbookBackends.h"

namespace {

// As many cells as the .xlsx reader takes from one sheet.
constexpr size_t kMaxCells = size_t(1) << 23;

// One sheet, named after the file as spreadsheet programs name it.
class CsvFile final : public Workbook::File
{
public:
    CsvFile(QByteArray bytes, QString name) : m_bytes(std::move(bytes)), m_name(std::move(name)) {}

    QStringList sheetNames() const override { return {m_name}; }

    bool loadSheet(int index, Workbook::Sheet& sheet, QString& error) override
    {
        sheet.clear();
        if (index != 0) {
            error = QStringLiteral("no sheet %1 in a file of one").arg(index + 1);
            return false;
        }
        sheet.name = m_name;
        const QString text = Csv::decode(m_bytes);
        size_t cells = 0;
        const bool read = Csv::parse(text, Csv::detectSeparator(text), [&](quint32 row, quint32 col, QString&& value) {
            if (row >= Workbook::kMaxRows)
                error = QStringLiteral("more than %1 rows").arg(Workbook::kMaxRows);
            else if (col >= Workbook::kMaxColumns)
                error = QStringLiteral("row %1 has more than %2 fields").arg(row + 1).arg(Workbook::kMaxColumns);
            else if (++cells > kMaxCells)
                error = QStringLiteral("more than %1 fields that are not empty").arg(kMaxCells);
            if (!error.isEmpty())
                return false;
            // Text as written: leading zeros and plus signs of phone numbers stay.
            sheet.addText(row, col, Workbook::CellKind::Text, value);
            return true;
        });
        if (!read) {
            sheet.clear();
            return false;
        }
        sheet.finish();
        return true;
    }

private:
    QByteArray m_bytes;
    QString m_name;
};

} // namespace

Workbook::OpenResult Workbook::openCsvFile(const QByteArray& bytes, const QString& sheetName)
{
    OpenResult result;
    result.status = OpenStatus::Ok;
    result.file = std::make_unique<CsvFile>(bytes, sheetName);
    return result;
}
