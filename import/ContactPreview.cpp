#include "ContactPreview.h"

#include "ContactImport.h"
#include "ExcelErrors.h"
#include "ExcelReader.h"
#include "WorkbookTables.h"
#include "store/DataFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace ContactPreview {

namespace {

using namespace ContactImport;

enum class Command { None, Sheets, Columns, Preview };

struct Options
{
    Command command = Command::None;
    QString file;
    int sheet = 1;
    QList<int> columns; // 1-based; empty: every column
    bool skipDuplicates = false;
    bool exclusions = false;
    bool why = false;
    bool sheetGiven = false;
};

struct UsageError
{
    QString text;
};

// The window's boxes become lines on standard error.
class ConsoleExcelUi : public ExcelReaderUi
{
public:
    explicit ConsoleExcelUi(QTextStream& err) : m_err(err) {}
    void excelError(const QString& text) override { m_err << text << Qt::endl; }
    void notice(const QString& text) override { m_err << text << Qt::endl; }

private:
    QTextStream& m_err;
};

const QString kDiscarded = QStringLiteral("Excel Error : File reading process is discarded.");

int positiveNumber(const QString& text, const QString& option)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1)
        throw UsageError{QStringLiteral("%1 takes a number from 1 up, not \"%2\"").arg(option, text)};
    return n;
}

Options parse(const QStringList& args)
{
    Options o;
    const bool preview = args.contains(QLatin1String("--preview"));
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("%1 needs a value").arg(a)};
            return args.at(++i);
        };
        auto command = [&](Command c) {
            if (o.command != Command::None)
                throw UsageError{QStringLiteral("give one of --sheets, --columns FILE and --preview")};
            o.command = c;
            o.file = value();
        };
        if (a == QLatin1String("--sheets")) {
            command(Command::Sheets);
        } else if (a == QLatin1String("--preview")) {
            command(Command::Preview);
        } else if (a == QLatin1String("--columns") && !preview) {
            command(Command::Columns);
        } else if (a == QLatin1String("--columns")) {
            for (const QString& part : value().split(QLatin1Char(',')))
                o.columns.append(positiveNumber(part.trimmed(), a));
        } else if (a == QLatin1String("--sheet")) {
            o.sheet = positiveNumber(value(), a);
            o.sheetGiven = true;
        } else if (a == QLatin1String("--skip-duplicates") && preview) {
            o.skipDuplicates = true;
        } else if (a == QLatin1String("--exclusions") && preview) {
            o.exclusions = true;
        } else if (a == QLatin1String("--why") && preview) {
            o.why = true;
        } else if (!preview && (a == QLatin1String("--skip-duplicates") || a == QLatin1String("--exclusions") ||
                                a == QLatin1String("--why"))) {
            throw UsageError{QStringLiteral("%1 applies to --preview only").arg(a)};
        } else if (a.startsWith(QLatin1Char('-'))) {
            throw UsageError{QStringLiteral("unknown option \"%1\"").arg(a)};
        } else {
            throw UsageError{QStringLiteral("unexpected argument \"%1\"").arg(a)};
        }
    }
    if (o.command == Command::None)
        throw UsageError{QStringLiteral("give one of --sheets FILE, --columns FILE and --preview FILE")};
    if (o.command == Command::Sheets && o.sheetGiven)
        throw UsageError{QStringLiteral("--sheet does not apply to --sheets")};
    return o;
}

QString columnLetters(quint32 col)
{
    QString letters;
    for (quint32 c = col + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

QString shown(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

QString outcomeText(const ImportVerdict& v)
{
    switch (v.outcome) {
    case ImportOutcome::Added:
        return QStringLiteral("added\t") + v.number;
    case ImportOutcome::Empty:
        return QStringLiteral("empty");
    case ImportOutcome::Invalid:
        return QStringLiteral("invalid");
    case ImportOutcome::Duplicate:
        return QStringLiteral("duplicate");
    case ImportOutcome::Excluded:
        return QStringLiteral("excluded");
    }
    return {};
}

// Refuses what the window refuses before reading a file.
bool fileAccepted(const Options& o, FileKind kind, QTextStream& err)
{
    if (kind == FileKind::Missing) {
        err << "File does not exist on selected location." << Qt::endl;
        return false;
    }
    if (kind == FileKind::NotSupported || (kind == FileKind::Text && o.command != Command::Preview)) {
        err << "Please select a valid file." << Qt::endl;
        return false;
    }
    return true;
}

// The preview writes each number as it is taken: the list a window would fill
// from the step is not wanted, and for a million rows it would be the largest thing held.
void dropAccepted(RowStep& step)
{
    if (step.hasAccepted())
        step.takeAccepted();
}

int previewText(const Options& o, RowStep& step, QTextStream& out, QTextStream& err)
{
    QString reason;
    switch (checkTextFile(o.file, &reason)) {
    case TextCheck::NotAnsi:
        err << "Please select the ANSI encoded text file." << Qt::endl;
        return 1;
    case TextCheck::Empty:
        err << "File is empty." << Qt::endl;
        return 1;
    case TextCheck::Unreadable:
        err << "The selected file cannot be read.\n" << reason << Qt::endl;
        return 1;
    case TextCheck::Ok:
        break;
    }
    QFile file(o.file);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "The selected file cannot be read.\n" << file.errorString() << Qt::endl;
        return 1;
    }
    if (o.sheetGiven || !o.columns.isEmpty())
        err << "Note: --sheet and --columns apply to spreadsheets only." << Qt::endl;
    ReadTextTokens(file, [&](int number, const QString& token, bool tooLong) {
        const ImportVerdict v = tooLong ? ImportVerdict{ImportOutcome::Invalid, {}} : step.offer(token);
        dropAccepted(step);
        if (o.why)
            out << "token " << number << '\t' << shown(token) << '\t' << outcomeText(v) << '\n';
        else if (v.outcome == ImportOutcome::Added)
            out << v.number << '\n';
        return true;
    });
    return 0;
}

int readSpreadsheet(const Options& o, RowStep* step, QTextStream& out, QTextStream& err)
{
    ConsoleExcelUi ui(err);
    ExcelReader reader(ui);
    try {
        if (!reader.StartExcel() || !reader.OpenWorkbook(o.file))
            return 1;
        reader.ListSheetNames();
        if (o.command == Command::Sheets) {
            for (const QString& name : g_arrSheetNames)
                out << name << '\n';
            return 0;
        }
        if (o.sheet > g_arrSheetNames.size())
            throw UsageError{
                QStringLiteral("sheet %1 is beyond the %2 sheets of the workbook").arg(o.sheet).arg(g_arrSheetNames.size())};
        if (!reader.SelectWorksheet(o.sheet))
            return 1;
        // Only this sheet is read, once: the workbook is not needed while its rows are listed.
        reader.CloseWorkbook();
        switch (reader.LoadUsedGrid()) {
        case ExcelReader::Grid::NoRange:
            return 1;
        case ExcelReader::Grid::Empty:
            err << "Excel sheet is empty." << Qt::endl;
            return 1;
        case ExcelReader::Grid::Cells:
            break;
        }
        if (o.command == Command::Columns) {
            int untitled = 0;
            for (int i = 1; i <= reader.cols(); ++i) {
                const QString text = reader.ReadCellText(1, i).value_or(QString());
                out << (!text.isEmpty() ? text : QStringLiteral("Untitled Column %1").arg(++untitled)) << '\n';
            }
            return 0;
        }
        QList<int> selected(reader.cols(), o.columns.isEmpty() ? 1 : 0);
        for (int c : o.columns) {
            if (c > reader.cols())
                throw UsageError{QStringLiteral("column %1 is beyond the %2 columns of sheet %3")
                                     .arg(c)
                                     .arg(reader.cols())
                                     .arg(o.sheet)};
            selected[c - 1] = 1;
        }
        const QString sheetName = g_arrSheetNames.value(o.sheet - 1);
        auto where = [&](int row, int col) {
            return columnLetters(reader.firstColumn() + quint32(col - 1)) + QString::number(reader.firstRow() + quint32(row));
        };
        // Cells that hold nothing are not visited; --why names each run of them as one range,
        // and each formula whose result the file lacks on its own line: it would have been read.
        int nextRow = 1;
        int noResultColumn = 0;
        std::vector<int> noResult; // rows of column noResultColumn
        size_t nextNoResult = 0;
        auto emptyRun = [&](int col, int from, int to) {
            if (to < from)
                return;
            out << sheetName << '!' << where(from, col);
            if (to > from)
                out << ':' << where(to, col);
            out << "\t\t" << outcomeText({ImportOutcome::Empty, {}}) << '\n';
        };
        auto emptyUpTo = [&](int col, int row) {
            if (col != noResultColumn) {
                noResult = reader.FormulaRowsWithoutResult(col);
                noResultColumn = col;
                nextNoResult = 0;
            }
            for (; nextNoResult < noResult.size() && noResult[nextNoResult] < row; ++nextNoResult) {
                const int formula = noResult[nextNoResult];
                emptyRun(col, nextRow, formula - 1);
                out << sheetName << '!' << where(formula, col) << "\t\tformula without a stored result\n";
                nextRow = formula + 1;
            }
            emptyRun(col, nextRow, row - 1);
            nextRow = row + 1;
        };
        // Closes the column being listed and lists every selected column before `next` as empty.
        int listing = 0;
        auto closeColumnsBefore = [&](int next) {
            for (int k = std::max(listing, 1); k < next; ++k) {
                if (k != listing)
                    nextRow = 1;
                if (selected.at(k - 1) == 1)
                    emptyUpTo(k, reader.rows() + 1);
            }
            listing = next;
            nextRow = 1;
        };
        ReadSheetColumns(reader, selected, [&](int row, int col, const QString& text) {
            const ImportVerdict v = step->offer(text);
            dropAccepted(*step);
            if (o.why) {
                if (col != listing)
                    closeColumnsBefore(col);
                emptyUpTo(col, row);
                out << sheetName << '!' << where(row, col) << '\t' << shown(text) << '\t' << outcomeText(v) << '\n';
            } else if (v.outcome == ImportOutcome::Added) {
                out << v.number << '\n';
            }
            return true;
        });
        if (o.why)
            closeColumnsBefore(reader.cols() + 1);
        return 0;
    } catch (const ExcelAutomationError&) {
        err << kDiscarded << Qt::endl;
        return 1;
    }
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "Look at a contact file the way \"Load Contacts From File\" reads it:\n"
        "  veva-sms --sheets FILE                 the sheet names, in workbook order\n"
        "  veva-sms --columns FILE [--sheet N]    the column captions of sheet N (default 1)\n"
        "  veva-sms --preview FILE [--sheet N] [--columns 1,3] [--skip-duplicates] [--exclusions] [--why]\n"
        "                                         the numbers the import would add, in list order;\n"
        "                                         --why: one line per cell or token with its outcome\n"
        "                                         (a run of empty cells as one range)\n"
        "FILE is a .txt, .xls, .xlsx, .csv or .ods file. --exclusions uses the exclusion lists in use, read only.\n"
        "Status: 0 done, 1 the file was refused (the reason on standard error), 2 wrong usage.\n");
}

bool isPreviewCommand(const QStringList& arguments)
{
    // Their options alone count too, so that a missing command is what the error names.
    static const QStringList kOwn = {QStringLiteral("--sheets"),          QStringLiteral("--columns"),
                                     QStringLiteral("--preview"),         QStringLiteral("--sheet"),
                                     QStringLiteral("--skip-duplicates"), QStringLiteral("--exclusions"),
                                     QStringLiteral("--why")};
    for (const QString& a : arguments) {
        if (kOwn.contains(a))
            return true;
    }
    return false;
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    Options o;
    try {
        o = parse(arguments);
    } catch (const UsageError& e) {
        err << "veva-sms: " << e.text << "\n\n" << usage();
        err.flush();
        return 2;
    }
    const FileKind kind = classify(o.file);
    if (!fileAccepted(o, kind, err))
        return 1;

    NumberIndex exclusions;
    // A program that never ran has no lists in use; that is not an error.
    if (o.exclusions && QFileInfo::exists(DataFiles::inUseListPath())) {
        const DataFiles::ExclusionNumbers loaded = DataFiles::ReadExclusionNumbers();
        if (!loaded.inUseReadable) {
            err << "Error in file accessing." << Qt::endl;
            return 1;
        }
        exclusions.reserve(loaded.numbers.size());
        for (const QString& n : loaded.numbers)
            exclusions.add(n);
    }
    RowStep step({o.skipDuplicates, o.exclusions}, NumberIndex(), exclusions);
    int status = 0;
    try {
        status = kind == FileKind::Text ? previewText(o, step, out, err) : readSpreadsheet(o, &step, out, err);
    } catch (const UsageError& e) {
        out.flush();
        err << "veva-sms: " << e.text << "\n\n" << usage();
        err.flush();
        return 2;
    }
    out.flush();
    if (status == 0 && o.command == Command::Preview && step.added() == 0) {
        err << kNoRowsMessage << Qt::endl;
        status = 1;
    }
    err.flush();
    return status;
}

} // namespace ContactPreview
