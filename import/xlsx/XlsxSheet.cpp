#include "XlsxSheet.h"

#include "XlsxParts.h"
#include "XmlPart.h"
#include "XmlScanner.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace Xlsx {

namespace {

using Workbook::CellKind;

// 1900 and 1904 date systems are this many days apart.
constexpr double k1904Offset = 1462;
// Serial numbers of the dates a spreadsheet can show: 1899-12-30 up to 9999-12-31.
constexpr double kLastDateSerial = 2958466;

bool isDateSerial(double serial)
{
    return serial >= 0 && serial < kLastDateSerial;
}

enum class ValueType : unsigned char
{
    Number,
    SharedString,
    InlineString,
    FormulaString,
    Boolean,
    Error,
    Date
};

std::string_view trimmed(std::string_view s)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

bool parseNumber(std::string_view s, double& out)
{
    s = trimmed(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size() && std::isfinite(out);
}

template <typename T> bool parseUnsigned(std::string_view s, T& out)
{
    s = trimmed(s);
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && ptr == s.data() + s.size();
}

ValueType valueType(const char* t)
{
    if (!t)
        return ValueType::Number;
    const std::string_view v(t);
    if (v == "s")
        return ValueType::SharedString;
    if (v == "inlineStr")
        return ValueType::InlineString;
    if (v == "str")
        return ValueType::FormulaString;
    if (v == "b")
        return ValueType::Boolean;
    if (v == "e")
        return ValueType::Error;
    if (v == "d")
        return ValueType::Date;
    return ValueType::Number;
}

class SheetHandler : public XmlHandler
{
public:
    SheetHandler(const SheetContext& context, Workbook::Sheet& sheet) : m_context(context), m_sheet(sheet) {}

    void start(std::string_view name, const char** attributes) override
    {
        if (m_inCell) {
            if (name == "v") {
                m_inValue = true;
                m_hasValue = true;
                m_value.clear();
            } else if (name == "f") {
                m_hasFormula = true;
            } else if (name == "is") {
                m_inInline = true;
                m_hasInline = true;
            } else if (m_inInline && name == "rPh") {
                ++m_phonetic;
            } else if (m_inInline && m_phonetic == 0 && name == "t") {
                m_inText = true;
            }
        } else if (m_inRow) {
            if (name == "c")
                startCell(attributes);
        } else if (m_inSheetData) {
            if (name == "row")
                startRow(attributes);
        } else if (name == "sheetData") {
            m_inSheetData = true;
        } else if (name == "dimension" && m_cells == 0) {
            reserveForRange(attribute(attributes, "ref"));
        }
    }

    void end(std::string_view name) override
    {
        if (m_inCell) {
            if (name == "v") {
                m_inValue = false;
            } else if (name == "t") {
                m_inText = false;
            } else if (name == "rPh" && m_phonetic > 0) {
                --m_phonetic;
            } else if (name == "is") {
                m_inInline = false;
            } else if (name == "c") {
                m_inCell = false;
                endCell();
            }
        } else if (m_inRow) {
            if (name == "row")
                m_inRow = false;
        } else if (name == "sheetData") {
            m_inSheetData = false;
        }
    }

    void characters(std::string_view chars) override
    {
        if (m_inValue)
            m_value.append(chars);
        else if (m_inText)
            m_inlineText.append(chars);
    }

    // Room for the cells the sheet's size suggests, before the first is added.
    void reserveForSize(qint64 partBytes)
    {
        m_partBytes = std::max<qint64>(partBytes, 0);
        // Real sheets take about 40 to 60 bytes of XML per cell.
        m_sheet.reserve(size_t(std::min<qint64>(m_partBytes / 48, qint64(kMaxCellsPerSheet))));
    }

private:
    // The range the sheet declares ("A1:B50001"), when one is: room for all of its
    // cells, as far as the part's size makes that many possible (a cell takes at
    // least 8 bytes of XML), so that the list of cells never has to grow.
    void reserveForRange(const char* ref)
    {
        if (!ref)
            return;
        const std::string_view range(ref);
        const size_t colon = range.find(':');
        if (colon == std::string_view::npos)
            return;
        quint32 firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
        if (!asciiReference(range.substr(0, colon), firstRow, firstCol) ||
            !asciiReference(range.substr(colon + 1), lastRow, lastCol) || lastRow < firstRow || lastCol < firstCol)
            return;
        const quint64 cells = quint64(lastRow - firstRow + 1) * (lastCol - firstCol + 1);
        const quint64 room = std::min<quint64>({cells, quint64(m_partBytes) / 8, kMaxCellsPerSheet});
        if (room > m_sheet.capacity())
            m_sheet.reserve(size_t(room));
    }

    static bool asciiReference(std::string_view ref, quint32& row, quint32& col)
    {
        char16_t buffer[16];
        if (ref.size() >= std::size(buffer))
            return false;
        for (size_t i = 0; i < ref.size(); ++i) {
            if (static_cast<unsigned char>(ref[i]) >= 0x80)
                return false;
            buffer[i] = char16_t(ref[i]);
        }
        return Workbook::parseCellReference(QStringView(buffer, qsizetype(ref.size())), row, col);
    }

    void startRow(const char** attributes)
    {
        m_inRow = true;
        m_lastColumn = -1;
        if (const char* r = attribute(attributes, "r")) {
            quint32 number = 0;
            if (!parseUnsigned(r, number) || number == 0 || number > Workbook::kMaxRows) {
                fail(QStringLiteral("has a row numbered \"%1\"").arg(QString::fromUtf8(r)));
                return;
            }
            m_row = number - 1;
        } else {
            m_row = m_anyRow ? m_row + 1 : 0;
            if (m_row >= Workbook::kMaxRows)
                fail(QStringLiteral("has more than %1 rows").arg(Workbook::kMaxRows));
        }
        m_anyRow = true;
    }

    void startCell(const char** attributes)
    {
        m_inCell = true;
        m_hasValue = m_hasInline = m_hasFormula = m_inValue = m_inInline = m_inText = false;
        m_phonetic = 0;
        m_value.clear();
        m_inlineText.clear();
        m_cellRow = m_row;
        m_type = ValueType::Number;
        m_style = -1;
        const char* ref = nullptr;
        for (const char** a = attributes; *a; a += 2) {
            const char* n = a[0];
            if (n[0] == 0 || n[1] != 0)
                continue;
            if (n[0] == 'r')
                ref = a[1];
            else if (n[0] == 't')
                m_type = valueType(a[1]);
            else if (n[0] == 's' && !parseUnsigned(a[1], m_style))
                m_style = -1;
        }
        if (ref) {
            quint32 row = 0, col = 0;
            if (!asciiReference(ref, row, col)) {
                fail(QStringLiteral("has a malformed cell reference \"%1\"").arg(QString::fromUtf8(ref)));
                return;
            }
            m_cellRow = row;
            m_lastColumn = col;
        } else if (++m_lastColumn >= qint64(Workbook::kMaxColumns)) {
            fail(QStringLiteral("has a row of more than %1 cells").arg(Workbook::kMaxColumns));
        }
    }

    void endCell()
    {
        const std::string_view value = m_value;
        // A formula's empty <v> is no result, unless it is a text formula's empty text.
        if (m_hasFormula && !m_hasInline && m_type != ValueType::FormulaString && trimmed(value).empty())
            m_hasValue = false;
        CellKind kind = CellKind::Empty;
        double number = 0;
        QString text;
        qint64 shared = -1; // a shared string's index
        // A value that does not read as its type keeps its text rather than being lost.
        const auto setText = [&](std::string_view v) {
            kind = CellKind::Text;
            text = cellText(v);
        };
        switch (m_type) {
        case ValueType::SharedString:
            if (m_hasValue && !trimmed(value).empty()) {
                size_t index = 0;
                if (!parseUnsigned(value, index) || index >= m_context.sharedStrings.refs.size()) {
                    fail(QStringLiteral("refers to shared string \"%1\", but the table holds %2")
                             .arg(QString::fromUtf8(value.data(), qsizetype(value.size())))
                             .arg(m_context.sharedStrings.refs.size()));
                    return;
                }
                kind = CellKind::Text;
                shared = qint64(index);
            }
            break;
        case ValueType::InlineString:
            if (m_hasInline || m_hasValue)
                setText(m_hasInline ? std::string_view(m_inlineText) : value);
            break;
        case ValueType::FormulaString:
            if (m_hasValue)
                setText(value);
            break;
        case ValueType::Boolean:
            if (m_hasValue) {
                const std::string_view v = trimmed(value);
                if (v == "1" || v == "true" || v == "0" || v == "false") {
                    kind = CellKind::Boolean;
                    number = (v == "1" || v == "true") ? 1 : 0;
                } else {
                    setText(value);
                }
            }
            break;
        case ValueType::Error:
            if (m_hasValue) {
                kind = CellKind::Error;
                text = cellText(trimmed(value));
            }
            break;
        case ValueType::Date:
            if (m_hasValue) {
                if (isoDateToSerial(trimmed(value), number) && isDateSerial(number))
                    kind = CellKind::Date;
                else
                    setText(value);
            }
            break;
        case ValueType::Number:
            if (m_hasValue && !trimmed(value).empty()) {
                if (!parseNumber(value, number)) {
                    setText(value);
                } else if (m_style >= 0 && size_t(m_style) < m_context.dateStyles.size() &&
                           m_context.dateStyles[size_t(m_style)] &&
                           isDateSerial(number + (m_context.date1904 ? k1904Offset : 0))) {
                    // A number no date can stand for stays a number, as the spreadsheet gives it.
                    kind = CellKind::Date;
                    if (m_context.date1904)
                        number += k1904Offset;
                } else {
                    kind = CellKind::Number;
                }
            }
            break;
        }
        if (++m_cells > kMaxCellsPerSheet) {
            fail(QStringLiteral("holds more than %1 cells").arg(kMaxCellsPerSheet));
            return;
        }
        const quint32 row = m_cellRow;
        const auto col = quint32(m_lastColumn);
        switch (kind) {
        case CellKind::Empty:
            // Writers that leave computing to the spreadsheet program store formulas alone
            // (<f>1+1</f>, or with an empty <v>): such a cell is not simply empty.
            m_sheet.addEmpty(row, col, m_hasFormula);
            break;
        case CellKind::Text:
        case CellKind::Error:
            if (shared >= 0)
                m_sheet.addSharedText(row, col, m_context.sharedStrings.refs[size_t(shared)]);
            else
                m_sheet.addText(row, col, kind, text);
            break;
        default:
            m_sheet.addNumber(row, col, kind, number);
            break;
        }
    }

    const SheetContext& m_context;
    Workbook::Sheet& m_sheet;
    qint64 m_partBytes = 0;
    size_t m_cells = 0;
    bool m_inSheetData = false, m_inRow = false, m_inCell = false;
    bool m_anyRow = false;
    quint32 m_row = 0;
    qint64 m_lastColumn = -1;
    // The cell being read.
    quint32 m_cellRow = 0;
    ValueType m_type = ValueType::Number;
    qint64 m_style = -1;
    bool m_hasValue = false, m_hasInline = false, m_hasFormula = false;
    bool m_inValue = false, m_inInline = false, m_inText = false;
    int m_phonetic = 0;
    std::string m_value;
    std::string m_inlineText;
};

bool fixedDigits(std::string_view s, size_t at, size_t count, int& out)
{
    if (at + count > s.size())
        return false;
    out = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

bool readSheet(ZipPackage& package, const QString& part, const SheetContext& context, Workbook::Sheet& sheet,
               QString& error)
{
    const qint64 bytes = package.declaredSize(package.find(part));
    sheet.useSharedText(context.sharedStrings.pool);
    {
        SheetHandler handler(context, sheet);
        // Growing the cell list step by step costs more than the parse itself.
        handler.reserveForSize(bytes);
        switch (scanXmlPart(package, part, kMaxPartBytes, handler, error)) {
        case XmlScanner::Status::Done:
            return true;
        case XmlScanner::Status::Failed:
            return false;
        case XmlScanner::Status::More:
        case XmlScanner::Status::Unsupported:
            break;
        }
    }
    // XML the scanner does not take (or not well-formed): expat reads it again from the start.
    const QString name = sheet.name;
    sheet.clear();
    sheet.name = name;
    sheet.useSharedText(context.sharedStrings.pool);
    SheetHandler handler(context, sheet);
    handler.reserveForSize(bytes);
    return parseXmlPart(package, part, kMaxPartBytes, handler, error);
}

bool isoDateToSerial(std::string_view s, double& serial)
{
    size_t at = 0;
    double days = 0;
    if (!s.empty() && s.front() != 'T') {
        int year = 0, month = 0, day = 0;
        if (!fixedDigits(s, 0, 4, year) || s.size() < 10 || s[4] != '-' || s[7] != '-' ||
            !fixedDigits(s, 5, 2, month) || !fixedDigits(s, 8, 2, day))
            return false;
        const QDate date(year, month, day);
        if (!date.isValid())
            return false;
        days = double(QDate(1899, 12, 30).daysTo(date));
        at = 10;
    }
    double fraction = 0;
    if (at < s.size()) {
        int hour = 0, minute = 0, second = 0;
        if (s[at] != 'T' || !fixedDigits(s, at + 1, 2, hour) || at + 3 >= s.size() || s[at + 3] != ':' ||
            !fixedDigits(s, at + 4, 2, minute))
            return false;
        at += 6;
        double seconds = 0;
        if (at < s.size() && s[at] == ':') {
            if (!fixedDigits(s, at + 1, 2, second))
                return false;
            seconds = second;
            at += 3;
            if (at < s.size() && s[at] == '.') {
                size_t end = at + 1;
                while (end < s.size() && s[end] >= '0' && s[end] <= '9')
                    ++end;
                double part = 0;
                if (end == at + 1 || std::from_chars(s.data() + at, s.data() + end, part).ec != std::errc())
                    return false;
                seconds += part;
                at = end;
            }
        }
        // A zone designator is accepted and ignored: cells hold local dates.
        if (at < s.size() && s[at] == 'Z')
            ++at;
        else if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
            int zh = 0, zm = 0;
            if (!fixedDigits(s, at + 1, 2, zh) || at + 3 >= s.size() || s[at + 3] != ':' ||
                !fixedDigits(s, at + 4, 2, zm))
                return false;
            at += 6;
        }
        if (at != s.size() || hour > 24 || minute > 59 || seconds >= 61)
            return false;
        fraction = (hour * 3600 + minute * 60 + seconds) / 86400.0;
    }
    if (s.empty())
        return false;
    serial = days + fraction;
    return true;
}

} // namespace Xlsx
