#pragma once

#include "import/ExcelReader.h"
#include "import/workbook/Workbook.h"

#include <QHash>
#include <QList>
#include <QMetaType>

#include <atomic>
#include <memory>
#include <new>

// An in-memory workbook the reader can be handed instead of a file, so every
// outcome of a read can be arranged: damaged sheets, sheets without a range,
// any cell kind anywhere.
struct FakeSheet
{
    FakeSheet() = default;
    explicit FakeSheet(const QString& sheetName) : name(sheetName) {}

    QString name;
    QList<Workbook::CellValue> cells;
    bool damaged = false;
    bool noRange = false;
    bool outOfMemory = false; // loading it runs out of memory

    FakeSheet& put(const char* ref, Workbook::CellKind kind, double number, const QString& text = {})
    {
        Workbook::CellValue c;
        Workbook::parseCellReference(QString::fromLatin1(ref), c.row, c.col);
        c.kind = kind;
        c.number = number;
        c.text = text;
        cells.append(c);
        return *this;
    }
    FakeSheet& text(const char* ref, const QString& value) { return put(ref, Workbook::CellKind::Text, 0, value); }
    FakeSheet& number(const char* ref, double value) { return put(ref, Workbook::CellKind::Number, value); }
    FakeSheet& error(const char* ref, const QString& shown = QStringLiteral("#N/A"))
    {
        return put(ref, Workbook::CellKind::Error, 0, shown);
    }
    FakeSheet& blank(const char* ref) { return put(ref, Workbook::CellKind::Empty, 0); }
    // A formula saved without the result it computes to.
    FakeSheet& formula(const char* ref)
    {
        put(ref, Workbook::CellKind::Empty, 0);
        cells.last().formulaWithoutResult = true;
        return *this;
    }
};

Q_DECLARE_METATYPE(FakeSheet)

class FakeWorkbook : public Workbook::File
{
public:
    explicit FakeWorkbook(QList<FakeSheet> sheets) : m_sheets(std::move(sheets)) {}

    QStringList sheetNames() const override
    {
        QStringList names;
        for (const FakeSheet& s : m_sheets)
            names.append(s.name);
        return names;
    }
    bool loadSheet(int index, Workbook::Sheet& sheet, QString& error) override
    {
        const FakeSheet& fake = m_sheets.at(index);
        if (fake.outOfMemory)
            throw std::bad_alloc();
        if (fake.damaged) {
            error = QStringLiteral("damaged sheet data");
            return false;
        }
        sheet.clear();
        sheet.name = fake.name;
        for (const Workbook::CellValue& c : fake.cells)
            sheet.add(c);
        sheet.finish();
        return true;
    }
    bool hasUsedRange(int index) const override { return !m_sheets.at(index).noRange; }

private:
    QList<FakeSheet> m_sheets;
};

// Hands the reader the arranged outcome for each path while it lives; other
// paths are read from their files as usual.
class FakeEngine
{
public:
    FakeEngine()
    {
        ExcelReader::setOpenerForTests([this](const QString& path) {
            ++opens;
            Workbook::OpenResult result;
            if (m_status.contains(path)) {
                result.status = m_status.value(path);
                result.systemError = m_errno.value(path);
                return result;
            }
            if (!m_books.contains(path))
                return Workbook::openFile(path); // real files go to the real readers
            result.status = Workbook::OpenStatus::Ok;
            result.file = std::make_unique<FakeWorkbook>(m_books.value(path));
            return result;
        });
    }
    ~FakeEngine()
    {
        ExcelReader::setOpenerForTests({});
        ExcelReader::setEngineMissingForTests(false);
    }
    void book(const QString& path, QList<FakeSheet> sheets) { m_books.insert(path, std::move(sheets)); }
    void fail(const QString& path, Workbook::OpenStatus status, int systemError = 0)
    {
        m_status.insert(path, status);
        m_errno.insert(path, systemError);
    }
    std::atomic<int> opens{0};

private:
    QHash<QString, QList<FakeSheet>> m_books;
    QHash<QString, Workbook::OpenStatus> m_status;
    QHash<QString, int> m_errno;
};

// Records what the reader showed.
class RecordingExcelUi : public ExcelReaderUi
{
public:
    void excelError(const QString& text) override { errors.append(text); }
    void notice(const QString& text) override { notices.append(text); }
    QStringList errors;
    QStringList notices;
};
