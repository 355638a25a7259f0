#pragma once

#include <QList>
#include <QString>

// One workbook's content, written as .xlsx (libxlsxwriter) or .xls (the tests'
// BIFF8 writer) by the path's extension, so a test table can run the same
// content through both readers.
struct TestCell
{
    int row = 0; // 0-based
    int col = 0;
    bool isText = true;
    QString text;
    double number = 0;
};

struct TestSheet
{
    TestSheet() = default;
    explicit TestSheet(const QString& sheetName) : name(sheetName) {}

    QString name;
    QList<TestCell> cells;

    TestSheet& text(int row, int col, const QString& value)
    {
        cells.append({row, col, true, value, 0});
        return *this;
    }
    TestSheet& number(int row, int col, double value)
    {
        cells.append({row, col, false, QString(), value});
        return *this;
    }
};

bool writeTestWorkbook(const QString& path, const QList<TestSheet>& sheets);
