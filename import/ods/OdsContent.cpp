#include "OdsContent.h"

#include "import/xlsx/XmlPart.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace Ods {

namespace {

using Cell = Workbook::CellValue;
using Workbook::CellKind;
using Xlsx::namespacedAttribute;

constexpr std::string_view kTable = "opendocument:xmlns:table:1.0";
constexpr std::string_view kOffice = "opendocument:xmlns:office:1.0";
constexpr std::string_view kText = "opendocument:xmlns:text:1.0";
constexpr std::string_view kCalcExt = "calcext:1.0";
const QString kContent = QStringLiteral("content.xml");

// The longest text kept in a cell, as in the other spreadsheet formats.
constexpr size_t kMaxCellText = 32767 * 4;

bool parseNumber(std::string_view text, double& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// A repeat count; absent or malformed counts as 1, huge ones are capped (the
// cell or row limits end the read long before).
quint64 repeatCount(const char** attributes, std::string_view name)
{
    const char* value = namespacedAttribute(attributes, kTable, name);
    if (!value)
        return 1;
    quint64 n = 0;
    const std::string_view text(value);
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec == std::errc::result_out_of_range)
        return quint64(1) << 32;
    if (ec != std::errc() || n == 0)
        return 1;
    return std::min<quint64>(n, quint64(1) << 32);
}

bool readDigits(std::string_view& text, size_t count, int& value)
{
    if (text.size() < count)
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(count);
    return true;
}

bool expect(std::string_view& text, char c)
{
    if (text.empty() || text.front() != c)
        return false;
    text.remove_prefix(1);
    return true;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

constexpr qint64 kSerialEpoch = -25569; // 1899-12-30 from 1970-01-01

class ContentHandler final : public Xlsx::XmlHandler
{
public:
    // Collects names only when `target` is negative.
    ContentHandler(int target, Workbook::Sheet* sheet) : m_target(target), m_sheet(sheet) {}

    QStringList names;

    void start(std::string_view name, const char** attributes) override
    {
        if (m_inCell) {
            startInCell(name, attributes);
            return;
        }
        if (name == "spreadsheet") {
            ++m_spreadsheet;
        } else if (name == "table") {
            if (m_spreadsheet > 0 && m_tableDepth == 0) {
                const char* sheetName = namespacedAttribute(attributes, kTable, "name");
                if (m_target < 0)
                    names.append(QString::fromUtf8(sheetName ? sheetName : ""));
                m_active = m_sheetIndex == m_target;
                ++m_sheetIndex;
            }
            ++m_tableDepth;
        } else if (m_active && m_tableDepth == 1) {
            if (name == "table-row")
                startRow(attributes);
            else if (name == "table-cell" || name == "covered-table-cell")
                startCell(name == "covered-table-cell", attributes);
        }
    }

    void end(std::string_view name) override
    {
        if (m_inCell) {
            if (m_skipDepth > 0) {
                --m_skipDepth;
                return;
            }
            if (name == "table-cell" || name == "covered-table-cell")
                endCell();
            else if (name == "p" || name == "h")
                --m_paragraph;
            return;
        }
        if (name == "spreadsheet") {
            --m_spreadsheet;
        } else if (name == "table") {
            if (--m_tableDepth == 0)
                m_active = false;
        } else if (m_active && m_tableDepth == 1 && name == "table-row") {
            endRow();
        }
    }

    void characters(std::string_view text) override
    {
        if (!m_inCell || m_skipDepth > 0 || m_paragraph <= 0)
            return;
        // Paragraph text collapses white space; text:s and text:tab stand for the kept kind.
        for (const char c : text) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                if (!m_lastWasSpace)
                    append(' ', 1);
                m_lastWasSpace = true;
            } else {
                append(c, 1);
                m_lastWasSpace = false;
            }
        }
    }

private:
    void startRow(const char** attributes)
    {
        m_rowRepeat = repeatCount(attributes, "number-rows-repeated");
        m_col = 0;
        m_rowCells.clear();
    }

    void startCell(bool covered, const char** attributes)
    {
        m_inCell = true;
        m_covered = covered;
        m_colRepeat = repeatCount(attributes, "number-columns-repeated");
        m_text.clear();
        m_paragraphs = 0;
        m_paragraph = 0;
        m_skipDepth = 0;
        m_lastWasSpace = true;
        if (covered)
            return;
        const char* type = namespacedAttribute(attributes, kOffice, "value-type");
        m_type = type ? type : "";
        const char* ext = namespacedAttribute(attributes, kCalcExt, "value-type");
        m_isError = ext && std::string_view(ext) == "error";
        m_hasFormula = namespacedAttribute(attributes, kTable, "formula") != nullptr;
        auto value = [&](std::string_view attr) {
            const char* v = namespacedAttribute(attributes, kOffice, attr);
            m_hasValue = v != nullptr;
            m_value = v ? v : "";
        };
        m_hasValue = false;
        m_value.clear();
        if (m_type == "float" || m_type == "percentage" || m_type == "currency")
            value("value");
        else if (m_type == "date")
            value("date-value");
        else if (m_type == "time")
            value("time-value");
        else if (m_type == "boolean")
            value("boolean-value");
        else if (m_type == "string")
            value("string-value");
    }

    void startInCell(std::string_view name, const char** attributes)
    {
        if (m_skipDepth > 0) {
            ++m_skipDepth;
            return;
        }
        if (name == "p" || name == "h") {
            if (m_paragraphs++ > 0)
                append('\n', 1);
            ++m_paragraph;
            m_lastWasSpace = true;
        } else if (name == "span" || name == "a" || name == "soft-page-break") {
        } else if (name == "s" && m_paragraph > 0) {
            const char* count = namespacedAttribute(attributes, kText, "c");
            quint64 n = 1;
            if (count) {
                const std::string_view c(count);
                if (std::from_chars(c.data(), c.data() + c.size(), n).ec != std::errc() || n == 0)
                    n = 1;
            }
            append(' ', n);
            m_lastWasSpace = false;
            m_skipDepth = 1;
        } else if ((name == "tab" || name == "line-break") && m_paragraph > 0) {
            append(name == "tab" ? '\t' : '\n', 1);
            m_lastWasSpace = false;
            m_skipDepth = 1;
        } else {
            // Comments (office:annotation), drawings and nested tables: not the cell's text.
            m_skipDepth = 1;
        }
    }

    void append(char c, quint64 count)
    {
        const size_t room = kMaxCellText > m_text.size() ? kMaxCellText - m_text.size() : 0;
        m_text.append(size_t(std::min<quint64>(count, room)), c);
    }

    // What the cell holds, from its value attributes, else its text.
    bool cellValue(Cell& cell) const
    {
        if (m_isError && !m_text.empty()) {
            cell.kind = CellKind::Error;
            cell.text = QString::fromUtf8(m_text);
            return true;
        }
        if (m_hasValue) {
            if (m_type == "string") {
                if (m_value.empty())
                    return false;
                cell.kind = CellKind::Text;
                cell.text = QString::fromUtf8(m_value);
                return true;
            }
            if (m_type == "boolean" && (m_value == "true" || m_value == "false")) {
                cell.kind = CellKind::Boolean;
                cell.number = m_value == "true" ? 1 : 0;
                return true;
            }
            if (m_type == "date" && parseDateValue(m_value, cell.number)) {
                cell.kind = CellKind::Date;
                return true;
            }
            if (m_type == "time" && parseTimeValue(m_value, cell.number)) {
                cell.kind = CellKind::Date;
                return true;
            }
            if (parseNumber(m_value, cell.number)) {
                cell.kind = CellKind::Number;
                return true;
            }
        }
        if (!m_text.empty()) {
            // A value the reader cannot take, or none: the text the cell shows.
            cell.kind = CellKind::Text;
            cell.text = QString::fromUtf8(m_text);
            return true;
        }
        if (m_hasFormula && m_type.empty()) {
            cell.kind = CellKind::Empty;
            cell.formulaWithoutResult = true;
            return true;
        }
        return false;
    }

    void endCell()
    {
        m_inCell = false;
        Cell cell;
        if (!m_covered && cellValue(cell)) {
            if (m_col + m_colRepeat > Workbook::kMaxColumns) {
                fail(QStringLiteral("has a row of more than %1 cells").arg(Workbook::kMaxColumns));
                return;
            }
            for (quint64 k = 0; k < m_colRepeat; ++k) {
                if (m_rowCells.size() >= kMaxCellsPerSheet) {
                    fail(QStringLiteral("holds more than %1 cells").arg(kMaxCellsPerSheet));
                    return;
                }
                cell.col = quint32(m_col + k);
                m_rowCells.push_back(cell);
            }
        }
        m_col = std::min<quint64>(m_col + m_colRepeat, quint64(1) << 40);
    }

    void endRow()
    {
        if (!m_rowCells.empty()) {
            if (m_row + m_rowRepeat > Workbook::kMaxRows) {
                fail(QStringLiteral("has more than %1 rows").arg(Workbook::kMaxRows));
                return;
            }
            if (m_rowCells.size() * m_rowRepeat > kMaxCellsPerSheet - m_cells) {
                fail(QStringLiteral("holds more than %1 cells").arg(kMaxCellsPerSheet));
                return;
            }
            m_cells += m_rowCells.size() * m_rowRepeat;
            for (quint64 r = 0; r < m_rowRepeat; ++r) {
                for (Cell& cell : m_rowCells) {
                    cell.row = quint32(m_row + r);
                    m_sheet->add(cell);
                }
            }
        }
        // A repeated run of empty rows only moves the row number on.
        m_row = std::min<quint64>(m_row + m_rowRepeat, quint64(1) << 40);
    }

    const int m_target;
    Workbook::Sheet* m_sheet;
    int m_spreadsheet = 0;
    int m_tableDepth = 0;
    int m_sheetIndex = 0;
    bool m_active = false;

    quint64 m_row = 0, m_rowRepeat = 1, m_col = 0, m_colRepeat = 1;
    size_t m_cells = 0;
    std::vector<Cell> m_rowCells;

    bool m_inCell = false, m_covered = false, m_isError = false, m_hasFormula = false, m_hasValue = false;
    bool m_lastWasSpace = true;
    int m_paragraphs = 0, m_paragraph = 0, m_skipDepth = 0;
    std::string m_type, m_value, m_text;
};

class ManifestHandler final : public Xlsx::XmlHandler
{
public:
    bool encrypted = false;

    void start(std::string_view name, const char** attributes) override
    {
        if (name == "file-entry") {
            const char* path = namespacedAttribute(attributes, "manifest:1.0", "full-path");
            m_content = path && std::string_view(path) == "content.xml";
        } else if (name == "encryption-data" && m_content) {
            encrypted = true;
        }
    }
    void end(std::string_view name) override
    {
        if (name == "file-entry")
            m_content = false;
    }

private:
    bool m_content = false;
};

} // namespace

bool readSheetNames(Xlsx::ZipPackage& package, QStringList& names, QString& error)
{
    ContentHandler handler(-1, nullptr);
    if (!Xlsx::parseXmlPart(package, kContent, Xlsx::kMaxPartBytes, handler, error, true))
        return false;
    names = handler.names;
    return true;
}

bool readSheet(Xlsx::ZipPackage& package, int index, Workbook::Sheet& sheet, QString& error)
{
    ContentHandler handler(index, &sheet);
    return Xlsx::parseXmlPart(package, kContent, Xlsx::kMaxPartBytes, handler, error, true);
}

bool isContentEncrypted(Xlsx::ZipPackage& package)
{
    const QString manifest = QStringLiteral("META-INF/manifest.xml");
    if (package.find(manifest) < 0)
        return false;
    ManifestHandler handler;
    QString error;
    Xlsx::parseXmlPart(package, manifest, Xlsx::kMaxPartBytes, handler, error, true);
    return handler.encrypted;
}

bool parseDateValue(std::string_view text, double& serial)
{
    int year = 0, month = 0, day = 0;
    if (!readDigits(text, 4, year) || !expect(text, '-') || !readDigits(text, 2, month) || !expect(text, '-') ||
        !readDigits(text, 2, day) || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    double fraction = 0;
    if (expect(text, 'T')) {
        int hour = 0, minute = 0, second = 0;
        if (!readDigits(text, 2, hour) || !expect(text, ':') || !readDigits(text, 2, minute) || !expect(text, ':') ||
            !readDigits(text, 2, second) || hour > 24 || minute > 59 || second > 60)
            return false;
        double part = 0;
        if (!text.empty() && text.front() == '.') {
            size_t digits = 1;
            while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
                ++digits;
            const std::string decimals = "0" + std::string(text.substr(0, digits));
            if (digits == 1 || !parseNumber(decimals, part))
                return false;
            text.remove_prefix(digits);
        }
        fraction = (hour * 3600.0 + minute * 60.0 + second + part) / 86400.0;
    }
    // A time zone, when given, is the writer's; the sheet shows local time.
    if (!text.empty() && text != "Z" && !(text.size() == 6 && (text[0] == '+' || text[0] == '-') && text[3] == ':'))
        return false;
    serial = double(daysFromCivil(year, unsigned(month), unsigned(day)) - kSerialEpoch) + fraction;
    return true;
}

bool parseTimeValue(std::string_view text, double& days)
{
    const bool negative = expect(text, '-');
    if (!expect(text, 'P'))
        return false;
    double total = 0; // seconds
    bool inTime = false, any = false;
    while (!text.empty()) {
        if (expect(text, 'T')) {
            if (inTime)
                return false;
            inTime = true;
            continue;
        }
        size_t n = 0;
        while (n < text.size() && ((text[n] >= '0' && text[n] <= '9') || text[n] == '.'))
            ++n;
        double value = 0;
        if (n == 0 || n == text.size() || !parseNumber(text.substr(0, n), value))
            return false;
        const char unit = text[n];
        text.remove_prefix(n + 1);
        if (!inTime && unit == 'D')
            total += value * 86400;
        else if (inTime && unit == 'H')
            total += value * 3600;
        else if (inTime && unit == 'M')
            total += value * 60;
        else if (inTime && unit == 'S')
            total += value;
        else
            return false; // years and months have no fixed length
        any = true;
    }
    if (!any)
        return false;
    days = (negative ? -total : total) / 86400;
    return std::isfinite(days);
}

} // namespace Ods
