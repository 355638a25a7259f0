#include "ExcelStandIn.h"

#include <QFile>
#include <QRegularExpression>

#include <xlsxwriter.h>
#include <zip.h>

namespace Automation {

namespace {

// The writer library does not notice failed writes, neither into the file nor
// into its own temporary files, and then leaves a short or damaged package
// behind. So the package is read back: a consistent archive whose entries
// inflate to their checksums, and whose XML parts end with the closing tag
// of the element they start with (a failed write loses the end of a part).
bool xmlPartIsWhole(const QByteArray& head, const QByteArray& tail)
{
    static const QRegularExpression root(QStringLiteral("<([A-Za-z_][^\\s/>]*)"));
    QString start = QString::fromUtf8(head);
    start.remove(QRegularExpression(QStringLiteral("<[?!][^>]*>")));
    const auto m = root.match(start);
    if (!m.hasMatch())
        return false;
    const QByteArray end = tail.trimmed();
    return end.endsWith("</" + m.captured(1).toUtf8() + '>') || (head.size() < 1024 && end.endsWith("/>"));
}

QString verifyPackage(const QString& path)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive)
        return QStringLiteral("the written file is not a complete package");
    QString why;
    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (zip_int64_t i = 0; i < entries && why.isEmpty(); ++i) {
        const QByteArray name = zip_get_name(archive, zip_uint64_t(i), 0);
        zip_file_t* entry = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!entry) {
            why = QStringLiteral("cannot read ") + QString::fromUtf8(name);
            break;
        }
        QByteArray head, tail;
        zip_int64_t n;
        while ((n = zip_fread(entry, chunk.data(), zip_uint64_t(chunk.size()))) > 0) {
            if (head.size() < 1024)
                head.append(chunk.constData(), std::min<qsizetype>(qsizetype(n), 1024 - head.size()));
            tail = (tail + QByteArray(chunk.constData(), qsizetype(n))).right(1024);
        }
        const bool xml = name.endsWith(".xml") || name.endsWith(".rels");
        if (n < 0 || zip_fclose(entry) != 0)
            why = QStringLiteral("damaged entry ") + QString::fromUtf8(name);
        else if (xml && !xmlPartIsWhole(head, tail))
            why = QStringLiteral("incomplete part ") + QString::fromUtf8(name);
    }
    zip_discard(archive);
    return why;
}

// What XML cannot carry, or carries changed (a CR becomes LF when read):
// control characters but tab and line feed, unpaired surrogates, U+FFFE, U+FFFF.
bool needsEscape(QStringView text, qsizetype i)
{
    const char16_t c = text.at(i).unicode();
    if (c < 0x20)
        return c != u'\t' && c != u'\n';
    if (QChar::isHighSurrogate(c))
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    if (QChar::isLowSurrogate(c))
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return c == 0xFFFE || c == 0xFFFF;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

void appendEscape(QString& out, char16_t unit)
{
    out += QLatin1String("_x") + QString::number(uint(unit), 16).toUpper().rightJustified(4, u'0') + u'_';
}

// A cell's text as an OOXML string holds it: "_xHHHH_" stands for the code
// unit U+HHHH, both for what XML cannot carry and, as "_x005F_", for a '_'
// that would otherwise start such a sequence.
QString escapedCellText(const QString& text)
{
    const qsizetype n = text.size();
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (needsEscape(text, i)) {
            appendEscape(out, c.unicode());
            continue;
        }
        // "_x", four hex digits and a '_' (written, or starting an escape) would read as an escape:
        // its first '_' goes as "_x005F_".
        if (c == u'_' && i + 6 < n && text.at(i + 1) == u'x' && isHexDigit(text.at(i + 2)) &&
            isHexDigit(text.at(i + 3)) && isHexDigit(text.at(i + 4)) && isHexDigit(text.at(i + 5)) &&
            (text.at(i + 6) == u'_' || needsEscape(text, i + 6))) {
            appendEscape(out, u'_');
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

QString saveXlsx(const BookModel& book, const QString& path)
{
    lxw_workbook_options options{};
    // Rows go out in order (the cells are kept sorted), so the library may
    // stream them instead of holding a second copy of the sheet.
    options.constant_memory = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!workbook)
        return QStringLiteral("cannot start the workbook");
    lxw_format* dateFormat = workbook_add_format(workbook);
    format_set_num_format(dateFormat, "dd/mm/yyyy");

    lxw_error error = LXW_NO_ERROR;
    for (const auto& sheet : book.sheets) {
        lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet->name.toUtf8().constData());
        if (!worksheet) {
            error = LXW_ERROR_MEMORY_MALLOC_FAILED;
            break;
        }
        for (const auto& [at, cell] : sheet->cells) {
            const lxw_row_t row = lxw_row_t(at.first);
            const lxw_col_t col = lxw_col_t(at.second);
            switch (cell.kind) {
            case CellValue::Kind::Empty:
                break;
            case CellValue::Kind::Text:
                error = worksheet_write_string(worksheet, row, col, escapedCellText(cell.text).toUtf8().constData(),
                                               nullptr);
                break;
            case CellValue::Kind::Number:
                error = worksheet_write_number(worksheet, row, col, cell.number, nullptr);
                break;
            case CellValue::Kind::Boolean:
                error = worksheet_write_boolean(worksheet, row, col, cell.number != 0, nullptr);
                break;
            case CellValue::Kind::Date:
                error = worksheet_write_number(worksheet, row, col, cell.number, dateFormat);
                break;
            case CellValue::Kind::Formula:
                error = worksheet_write_formula(worksheet, row, col, cell.text.toUtf8().constData(), nullptr);
                break;
            case CellValue::Kind::Error:
                error = worksheet_write_formula_str(worksheet, row, col, "=NA()", nullptr, "#N/A");
                break;
            }
            if (error != LXW_NO_ERROR)
                break;
        }
        if (error != LXW_NO_ERROR)
            break;
    }
    // Closing writes the file; it also frees the workbook after a failure above.
    const lxw_error closed = workbook_close(workbook);
    if (error == LXW_NO_ERROR)
        error = closed;
    QString why = error != LXW_NO_ERROR ? QString::fromUtf8(lxw_strerror(error)) : verifyPackage(path);
    if (!why.isEmpty())
        QFile::remove(path);
    return why;
}

} // namespace Automation
