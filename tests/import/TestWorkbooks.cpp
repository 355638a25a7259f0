#include "TestWorkbooks.h"

#include "Biff8TestWriter.h"
#include "XlsxTestWriter.h"

bool writeTestWorkbook(const QString& path, const QList<TestSheet>& sheets)
{
    if (path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive)) {
        Biff8TestWriter book;
        for (const TestSheet& s : sheets) {
            Biff8TestWriter::Sheet& sheet = book.addSheet(s.name);
            for (const TestCell& c : s.cells) {
                if (c.isText)
                    sheet.text(c.row, c.col, c.text);
                else
                    sheet.number(c.row, c.col, c.number);
            }
        }
        return book.save(path);
    }
    XlsxTestWriter book;
    for (const TestSheet& s : sheets) {
        book.sheet(s.name);
        for (const TestCell& c : s.cells) {
            if (c.isText)
                book.text(c.row, c.col, c.text);
            else
                book.number(c.row, c.col, c.number);
        }
    }
    return book.save(path);
}
