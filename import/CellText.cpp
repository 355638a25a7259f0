#include "CellText.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>

QString NumberText(double value)
{
    if (value == 0)
        return QStringLiteral("0"); // also -0
    // Whole numbers of up to 15 digits (phone numbers, mostly) print as they are.
    if (std::abs(value) < 1e15 && value == std::trunc(value))
        return QString::number(qint64(value));
    // %G with 15 digits switches to the exponent form below 1E-5 and from 1E+15,
    // exactly where the platform's conversion does; it only needs tidying.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    QString text = QString::fromLatin1(buffer);
    const qsizetype e = text.indexOf(u'E');
    QString mantissa = e < 0 ? text : text.left(e);
    QString exponent = e < 0 ? QString() : text.mid(e);
    if (mantissa.contains(u'.')) {
        while (mantissa.endsWith(u'0'))
            mantissa.chop(1);
        if (mantissa.endsWith(u'.'))
            mantissa.chop(1);
    }
    const QChar point = QLocale().decimalPoint().at(0);
    if (point != u'.')
        mantissa.replace(u'.', point);
    return mantissa + exponent;
}

namespace {

// The locale's time with seconds, without a time zone.
QString timeText(const QLocale& locale, const QTime& time)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    format.remove(zone);
    return locale.toString(time, format.trimmed());
}

QString dateText(double serial)
{
    // Serial days since 1899-12-30; the fraction is the time of day.
    if (!std::isfinite(serial) || serial < -657434 || serial > 2958466)
        return NumberText(serial);
    const double days = std::floor(serial);
    qint64 ms = qint64(std::llround((serial - days) * 86400000.0));
    QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    if (ms >= 86400000) {
        date = date.addDays(1);
        ms -= 86400000;
    }
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(ms / 1000 * 1000));
    const QLocale locale;
    if (ms / 1000 == 0)
        return locale.toString(date, QLocale::ShortFormat);
    if (days == 0)
        return timeText(locale, time);
    return locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') + timeText(locale, time);
}

} // namespace

std::optional<QString> CellValueText(const Workbook::Sheet& sheet, const Workbook::Cell* cell)
{
    using Workbook::CellKind;
    if (!cell)
        return QString();
    switch (cell->kind) {
    case CellKind::Empty:
        return QString();
    case CellKind::Text:
        return sheet.text(*cell).toString();
    case CellKind::Number:
        return NumberText(cell->number());
    case CellKind::Boolean:
        return cell->number() != 0 ? QStringLiteral("-1") : QStringLiteral("0");
    case CellKind::Date:
        return dateText(cell->number());
    case CellKind::Error:
        return std::nullopt;
    }
    return std::nullopt;
}
