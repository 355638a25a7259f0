#include "ExcelReader.h"

#include "CellText.h"
#include "ExcelErrors.h"
#include "WorkbookTables.h"
#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <new>

namespace {

std::mutex g_hookMutex;
ExcelReader::Opener g_opener;
std::atomic<bool> g_engineMissing{false};

ExcelReader::Opener opener()
{
    std::lock_guard lock(g_hookMutex);
    return g_opener;
}

// The last sheet parsed, for the next read of the same unchanged file; it is
// let go once read again, or after a minute.
struct SheetCache
{
    ExcelReader::FileStamp file;
    int index = 0;
    std::shared_ptr<const Workbook::Sheet> sheet;
    QElapsedTimer age;
};
// The workbook itself, once its reader has ended, for the next open of the
// same unchanged file: opening an .xls reads its whole string table. Only one
// reader holds it at a time.
struct WorkbookCache
{
    ExcelReader::FileStamp file;
    std::unique_ptr<Workbook::File> workbook;
    QElapsedTimer age;
};
std::mutex g_cacheMutex;
SheetCache g_cache;
WorkbookCache g_bookCache;
constexpr qint64 kCacheMs = 60000;

// What the caches hold is let go a minute after it was put there, unless a
// read took it first. The timer runs on the application's thread.
void scheduleRelease()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            QTimer::singleShot(kCacheMs + 1000, QCoreApplication::instance(), [] {
                std::lock_guard lock(g_cacheMutex);
                if (g_cache.sheet && g_cache.age.elapsed() >= kCacheMs)
                    g_cache = SheetCache{};
                if (g_bookCache.workbook && g_bookCache.age.elapsed() >= kCacheMs)
                    g_bookCache = WorkbookCache{};
            });
        },
        Qt::QueuedConnection);
}

const QString kNotInstalled = QStringLiteral("Microsoft Excel must be installed to use this feature.");

// Cell text in the ANSI code page: characters it lacks become its default character.
QString narrowed(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return TextCodec::fromAnsi(TextCodec::toAnsi(text));
    }
    return text;
}

// Running out of memory ends a read as damaged data does: with the reader's
// message, never an abort of the program.
template <typename F> auto withinMemory(F&& step) -> decltype(step())
{
    try {
        return step();
    } catch (const std::bad_alloc&) {
        throw ExcelAutomationError{QStringLiteral("Not enough memory to read the workbook.")};
    }
}

} // namespace

QString WrongPasswordDescription()
{
    return QStringLiteral("The password you supplied is not correct. Verify that the CAPS LOCK key is off and be "
                          "sure to use the correct capitalization.");
}

ExcelReader::ExcelReader(ExcelReaderUi& ui) : m_ui(ui) {}

ExcelReader::~ExcelReader()
{
    EndExcel();
}

void ExcelReader::setOpenerForTests(Opener opener)
{
    std::lock_guard lock(g_hookMutex);
    g_opener = std::move(opener);
}

void ExcelReader::setEngineMissingForTests(bool missing)
{
    g_engineMissing = missing;
}

bool ExcelReader::StartExcel()
{
    ExcelErrors::clearLastError();
    if (g_engineMissing) {
        m_ui.excelError(ExcelErrors::compose(kNotInstalled));
        return false;
    }
    m_started = true;
    return true;
}

bool ExcelReader::OpenWorkbook(const QString& path)
{
    if (!m_started)
        return false;
    const Opener hook = opener();
    // Arranged workbooks of tests are never cached: their paths need not be files.
    m_path = hook ? QString() : path;
    if (!m_path.isEmpty()) {
        const QFileInfo info(m_path);
        m_opened = FileStamp{m_path, info.size(), info.lastModified()};
        std::lock_guard lock(g_cacheMutex);
        if (g_bookCache.workbook && g_bookCache.file == m_opened && g_bookCache.age.elapsed() < kCacheMs) {
            m_workbook = std::move(g_bookCache.workbook);
            g_bookCache = WorkbookCache{};
            return true;
        }
    }
    Workbook::OpenResult opened = hook ? hook(path) : Workbook::openFile(path);
    switch (opened.status) {
    case Workbook::OpenStatus::Ok:
        if (opened.file) {
            m_workbook = std::move(opened.file);
            return true;
        }
        break;
    case Workbook::OpenStatus::Encrypted:
        throw ExcelAutomationError{WrongPasswordDescription()};
    case Workbook::OpenStatus::NoBackend:
        m_ui.excelError(ExcelErrors::compose(kNotInstalled));
        EndExcel();
        return false;
    case Workbook::OpenStatus::Unreadable:
        ExcelErrors::setLastError(opened.systemError);
        break;
    case Workbook::OpenStatus::NotAWorkbook:
        break;
    }
    m_ui.excelError(ExcelErrors::compose(QStringLiteral("Failed to open Excel file!")));
    ExcelErrors::clearLastError();
    EndExcel();
    return false;
}

void ExcelReader::ListSheetNames()
{
    if (!m_workbook)
        throw ExcelAutomationError{QStringLiteral("No workbook is open.")};
    withinMemory([&] {
        g_arrSheetNames.clear();
        for (const QString& name : m_workbook->sheetNames())
            g_arrSheetNames.append(narrowed(name));
    });
}

bool ExcelReader::SelectWorksheet(int index)
{
    if (!m_workbook)
        throw ExcelAutomationError{QStringLiteral("No workbook is open.")};
    m_sheet.reset();
    m_haveRange = false;
    if (index < 1 || index > m_workbook->sheetNames().size()) {
        m_ui.excelError(ExcelErrors::compose(QStringLiteral("Failed to get Excel Worksheet!")));
        EndExcel();
        return false;
    }
    if (m_workbook->hasUsedRange(index - 1))
        m_haveRange = true;
    {
        std::lock_guard lock(g_cacheMutex);
        if (!m_path.isEmpty() && g_cache.sheet && g_cache.file == m_opened && g_cache.index == index &&
            g_cache.age.elapsed() < kCacheMs) {
            m_sheet = g_cache.sheet;
            m_sheetShared = true;
            return true;
        }
    }
    m_sheet = withinMemory([&] {
        auto sheet = std::make_shared<Workbook::Sheet>();
        QString error;
        if (!m_workbook->loadSheet(index - 1, *sheet, error))
            throw ExcelAutomationError{error.isEmpty() ? QStringLiteral("The sheet's data is damaged.") : error};
        return sheet;
    });
    if (!m_path.isEmpty()) {
        std::lock_guard lock(g_cacheMutex);
        g_cache = SheetCache{m_opened, index, m_sheet, {}};
        g_cache.age.start();
        scheduleRelease();
    }
    return true;
}

ExcelReader::Grid ExcelReader::LoadUsedGrid()
{
    m_rows = m_cols = 0;
    if (!m_sheet || !m_haveRange) {
        m_ui.excelError(ExcelErrors::compose(QStringLiteral("Failed to get header cell range!")));
        EndExcel();
        return Grid::NoRange;
    }
    const Workbook::Sheet& sheet = *m_sheet;
    // A sheet without cells has the single empty cell A1 as its range, whose value is empty.
    if (!sheet.hasCells())
        return Grid::Empty;
    if (sheet.rowCount() == 1 && sheet.columnCount() == 1) {
        const Workbook::Cell& only = sheet.cells().front();
        if (only.kind == Workbook::CellKind::Empty)
            return Grid::Empty;
        // One cell, wherever it stands, is read as the one-cell range it is:
        // falling back to A1 would read an empty cell and lose it.
    }
    m_firstRow = sheet.firstRow();
    m_firstCol = sheet.firstColumn();
    m_rows = int(sheet.rowCount());
    m_cols = int(sheet.columnCount());
    return Grid::Cells;
}

std::optional<QString> ExcelReader::ReadCellText(int row, int col) const
{
    if (!m_sheet || row < 1 || col < 1 || row > m_rows || col > m_cols)
        throw ExcelAutomationError{QStringLiteral("The cell lies outside the range.")};
    return withinMemory([&]() -> std::optional<QString> {
        const auto text =
            CellValueText(*m_sheet, m_sheet->find(m_firstRow + quint32(row - 1), m_firstCol + quint32(col - 1)));
        if (!text)
            return std::nullopt;
        return narrowed(*text);
    });
}

// The cells are in row order; walking them all spares a list of the column's cells.
template <typename F> void ExcelReader::forEachCell(int col, F&& visit) const
{
    const quint32 wanted = m_firstCol + quint32(col - 1);
    for (const Workbook::Cell& cell : m_sheet->cells()) {
        if (cell.col != wanted)
            continue;
        const int row = int(cell.row - m_firstRow) + 1;
        if (row > m_rows)
            break;
        visit(cell, row);
    }
}

void ExcelReader::ForEachCellOfColumn(int col,
                                      const std::function<void(int, const std::optional<QString>&)>& visit) const
{
    if (!m_sheet || col < 1 || col > m_cols)
        throw ExcelAutomationError{QStringLiteral("The column lies outside the range.")};
    withinMemory([&] {
        forEachCell(col, [&](const Workbook::Cell& cell, int row) {
            const auto text = CellValueText(*m_sheet, &cell);
            if (!text)
                visit(row, std::nullopt);
            else if (!text->isEmpty())
                visit(row, narrowed(*text));
        });
    });
}

QString ExcelReader::SheetName() const
{
    return m_sheet ? m_sheet->name : QString();
}

std::vector<int> ExcelReader::FormulaRowsWithoutResult(int col) const
{
    if (!m_sheet || col < 1 || col > m_cols)
        throw ExcelAutomationError{QStringLiteral("The column lies outside the range.")};
    return withinMemory([&] {
        std::vector<int> rows;
        forEachCell(col, [&](const Workbook::Cell& cell, int row) {
            if (cell.formulaWithoutResult)
                rows.push_back(row);
        });
        return rows;
    });
}

void ExcelReader::EndExcel()
{
    // Safe after a failure released things already: only what is held is let go.
    if (m_sheetShared) {
        std::lock_guard lock(g_cacheMutex);
        if (g_cache.sheet == m_sheet)
            g_cache = SheetCache{};
    }
    m_sheetShared = false;
    m_sheet.reset();
    if (m_workbook && !m_path.isEmpty()) {
        std::lock_guard lock(g_cacheMutex);
        g_bookCache = WorkbookCache{m_opened, std::move(m_workbook), {}};
        g_bookCache.age.start();
        scheduleRelease();
    }
    m_workbook.reset();
    m_haveRange = false;
    m_rows = m_cols = 0;
    m_started = false;
}
