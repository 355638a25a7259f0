#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

// An exported file as an independent reader sees it (tests/export/readback.py
// with Debian's xlrd and openpyxl, or Python's HTML parser).
inline QJsonObject readBack(const QString& kind, const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VEVA_READBACK_SCRIPT), kind, path});
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning("readback %s %s: %s", qPrintable(kind), qPrintable(path), python.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// Rows of one sheet as [type, value] pairs.
inline QJsonArray sheetRows(const QJsonObject& book, int sheet)
{
    return book.value(QStringLiteral("sheets")).toArray().at(sheet).toObject().value(QStringLiteral("rows")).toArray();
}

inline QStringList sheetNames(const QJsonObject& book)
{
    QStringList names;
    for (const QJsonValue& s : book.value(QStringLiteral("sheets")).toArray())
        names.append(s.toObject().value(QStringLiteral("name")).toString());
    return names;
}

// The cell's [type, value] as "type:value" for compact comparisons.
inline QString cellAt(const QJsonArray& rows, int row, int col)
{
    const QJsonArray cell = rows.at(row).toArray().at(col).toArray();
    const QJsonValue v = cell.at(1);
    const QString value = v.isDouble() ? QString::number(v.toDouble(), 'g', 17) : v.toVariant().toString();
    return cell.at(0).toString() + u':' + value;
}
