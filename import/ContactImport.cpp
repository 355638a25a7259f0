#include "ContactImport.h"

#include "ExcelReader.h"
#include "import/workbook/Workbook.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace ContactImport {

FileKind classify(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return FileKind::Missing;
    const QString extension = info.suffix().toLower();
    if (extension == QLatin1String("txt"))
        return FileKind::Text;
    if (Workbook::isSpreadsheetExtension(extension))
        return FileKind::Spreadsheet;
    return FileKind::NotSupported;
}

TextCheck checkTextFile(const QString& path, QString* reason)
{
    QFile file(path);
    errno = 0;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (reason)
            *reason = errno ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        return TextCheck::Unreadable;
    }
    char first = 0;
    if (file.read(&first, 1) == 1) {
        const uchar b = uchar(first);
        if (b == 0xEF || b == 0xFE || b == 0xFF)
            return TextCheck::NotAnsi;
        return TextCheck::Ok;
    }
    return TextCheck::Empty;
}

bool ReadTextTokens(QIODevice& device, const std::function<bool(int, const QString&, bool)>& token)
{
    QByteArray current;
    current.reserve(64);
    bool tooLong = false;
    int number = 0;
    auto finish = [&]() -> bool {
        if (current.isEmpty() && !tooLong)
            return true;
        const bool keepGoing = token(++number, TextCodec::fromAnsi(current), tooLong);
        current.clear();
        tooLong = false;
        return keepGoing;
    };
    char block[64 * 1024];
    for (;;) {
        const qint64 n = device.read(block, sizeof block);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        for (qint64 i = 0; i < n; ++i) {
            const char c = block[i];
            switch (c) {
            case ' ':
                break;
            case ',':
            case '\r':
            case '\n':
                if (!finish())
                    return true;
                break;
            default:
                if (current.size() < kMaxTokenBytes)
                    current.append(c);
                else
                    tooLong = true;
            }
        }
    }
    finish();
    return true;
}

RowStep::RowStep(ImportSwitches switches, NumberIndex listNumbers, NumberIndex exclusions)
    : m_switches(switches), m_list(std::move(listNumbers)), m_exclusions(std::move(exclusions))
{
}

ImportVerdict RowStep::offer(const QString& raw)
{
    ImportVerdict verdict = ClassifyImportedNumber(raw, m_switches, m_list, m_exclusions);
    if (verdict.outcome == ImportOutcome::Added) {
        m_list.add(verdict.number);
        m_pending.append(verdict.number);
        ++m_added;
    }
    return verdict;
}

QStringList RowStep::takeAccepted()
{
    QStringList out;
    out.swap(m_pending);
    return out;
}

void ReadSheetColumns(const ExcelReader& reader, const QList<int>& columns,
                      const std::function<bool(int, int, const QString&)>& cell)
{
    for (int k = 1; k <= columns.size() && k <= reader.cols(); ++k) {
        if (columns.at(k - 1) != 1)
            continue;
        bool stop = false;
        reader.ForEachCellOfColumn(k, [&](int row, const std::optional<QString>& text) {
            // A value that cannot be converted reads as empty text.
            if (!stop && !cell(row, k, text.value_or(QString())))
                stop = true;
        });
        if (stop)
            return;
    }
}

SkippedFormulas FindSkippedFormulas(const ExcelReader& reader, const QList<int>& columns, ReadingOrder order,
                                    int lastRow)
{
    SkippedFormulas skipped;
    int firstRow = 0, firstCol = 0;
    for (int k = 1; k <= columns.size() && k <= reader.cols(); ++k) {
        if (columns.at(k - 1) != 1)
            continue;
        for (const int row : reader.FormulaRowsWithoutResult(k)) {
            if (row > lastRow)
                break;
            const bool earlier = skipped.count == 0 || (order == ReadingOrder::RowByRow && row < firstRow);
            if (earlier) {
                firstRow = row;
                firstCol = k;
            }
            ++skipped.count;
        }
    }
    if (skipped.count > 0) {
        QString letters;
        for (quint32 c = reader.firstColumn() + quint32(firstCol); c > 0; c = (c - 1) / 26)
            letters.prepend(QChar(u'A' + (c - 1) % 26));
        skipped.first = reader.SheetName() + u'!' + letters + QString::number(reader.firstRow() + quint32(firstRow));
    }
    return skipped;
}

QString SkippedFormulasNotice(const SkippedFormulas& skipped)
{
    if (skipped.count == 0)
        return {};
    const QString cells =
        skipped.count == 1 ? QStringLiteral("1 cell holds a formula whose result the file does not store; it was")
                           : QStringLiteral("%1 cells hold a formula whose result the file does not store; they were")
                                 .arg(skipped.count);
    return QStringLiteral("%1 read as empty (the first is %2).\n\nOpen the file in a spreadsheet program and save it "
                          "there, so that the results are stored, then import it again.")
        .arg(cells, skipped.first);
}

} // namespace ContactImport
