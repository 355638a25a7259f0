#include "ExcelCells.h"

#include "Automation.h"

#include <QRegularExpression>

namespace Automation {

namespace {

double serialOf(const QDate& date)
{
    return double(QDate(1899, 12, 30).daysTo(date));
}

int fullYear(const QString& digits)
{
    const int y = digits.toInt();
    if (digits.size() > 2)
        return y;
    return y < 30 ? 2000 + y : 1900 + y;
}

std::optional<QDate> typedDate(const QString& text, const QDate& today)
{
    static const QRegularExpression dayMonth(QStringLiteral("^(\\d{1,2})([/-])(\\d{1,2})(?:\\2(\\d{2}|\\d{4}))?$"));
    static const QRegularExpression monthYear(QStringLiteral("^(\\d{1,2})[/-](\\d{2}|\\d{4})$"));
    if (const auto m = dayMonth.match(text); m.hasMatch()) {
        // Asked only here: the current date costs a look at the time zone.
        const QDate thisYear = today.isValid() ? today : QDate::currentDate();
        const int year = m.captured(4).isEmpty() ? thisYear.year() : fullYear(m.captured(4));
        const QDate d(year, m.captured(3).toInt(), m.captured(1).toInt());
        if (d.isValid())
            return d;
    }
    if (const auto m = monthYear.match(text); m.hasMatch()) {
        const QDate d(fullYear(m.captured(2)), m.captured(1).toInt(), 1);
        if (d.isValid())
            return d;
    }
    return std::nullopt;
}

} // namespace

CellValue cellFromText(const QString& text, const QDate& today)
{
    using K = CellValue::Kind;
    if (text.isEmpty())
        return {};
    if (text.startsWith(u'\''))
        return {K::Text, 0, text.mid(1)};
    if (text.size() > 1 && text.startsWith(u'='))
        return {K::Formula, 0, text};

    const QString t = text.trimmed();
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?(%?)$"));
    if (const auto m = number.match(t); m.hasMatch()) {
        double v = QStringView(t).left(t.size() - m.capturedLength(3)).toDouble();
        if (!m.captured(3).isEmpty())
            v /= 100;
        return {K::Number, QString::number(v, 'g', 15).toDouble(), {}};
    }
    if (t.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        return {K::Boolean, 1, {}};
    if (t.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
        return {K::Boolean, 0, {}};
    static const QStringList errors = {QStringLiteral("#N/A"),  QStringLiteral("#DIV/0!"), QStringLiteral("#VALUE!"),
                                       QStringLiteral("#REF!"), QStringLiteral("#NAME?"),  QStringLiteral("#NUM!"),
                                       QStringLiteral("#NULL!")};
    for (const QString& e : errors) {
        if (t.compare(e, Qt::CaseInsensitive) == 0)
            return {K::Error, 0, e};
    }
    if (const auto d = typedDate(t, today))
        return {K::Date, serialOf(*d), {}};
    return {K::Text, 0, text};
}

std::optional<CellValue> cellFromVariant(const Variant& value)
{
    using K = CellValue::Kind;
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return CellValue{};
    case VT_I2:
    case VT_I4:
        return CellValue{K::Number, double(value.lVal), {}};
    case VT_R8:
        return CellValue{K::Number, value.dblVal, {}};
    case VT_DATE:
        return CellValue{K::Date, value.dblVal, {}};
    case VT_BOOL:
        return CellValue{K::Boolean, value.lVal ? 1.0 : 0.0, {}};
    case VT_ERROR:
        return CellValue{K::Error, 0, QStringLiteral("#N/A")};
    case VT_BSTR: {
        CellValue cell = cellFromText(value.bstrVal);
        if (cell.text.size() > kMaxCellText)
            return std::nullopt;
        return cell;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::pair<int, int>> parseCellReference(QStringView text)
{
    static const QRegularExpression cell(QStringLiteral("^\\$?([A-Za-z]{1,3})\\$?(\\d{1,7})$"));
    const auto m = cell.match(text.trimmed().toString());
    if (!m.hasMatch())
        return std::nullopt;
    int column = 0;
    for (QChar c : m.capturedView(1))
        column = column * 26 + (c.toUpper().unicode() - u'A' + 1);
    const int row = m.capturedView(2).toInt();
    if (row < 1 || row > kMaxSheetRows || column > kMaxSheetColumns)
        return std::nullopt;
    return std::make_pair(row - 1, column - 1);
}

} // namespace Automation
