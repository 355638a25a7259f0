#include "XlsxTestWriter.h"

#include <QFile>
#include <QMap>
#include <QtEndian>

#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>

XlsxTestWriter& XlsxTestWriter::sheet(const QString& name)
{
    auto it = std::find_if(m_sheets.begin(), m_sheets.end(), [&](const Sheet& s) { return s.name == name; });
    if (it == m_sheets.end())
        it = m_sheets.insert(m_sheets.end(), Sheet{name, {}});
    m_current = size_t(it - m_sheets.begin());
    return *this;
}

XlsxTestWriter& XlsxTestWriter::add(Op op)
{
    if (m_sheets.empty())
        sheet(QStringLiteral("Sheet1"));
    m_sheets[m_current].ops.push_back(std::move(op));
    return *this;
}

XlsxTestWriter& XlsxTestWriter::text(int row, int col, const QString& value)
{
    return add({row, col, Kind::Text, 0, value, {}, {}});
}

XlsxTestWriter& XlsxTestWriter::number(int row, int col, double value)
{
    return add({row, col, Kind::Number, value, {}, {}, {}});
}

XlsxTestWriter& XlsxTestWriter::boolean(int row, int col, bool value)
{
    return add({row, col, Kind::Boolean, value ? 1.0 : 0.0, {}, {}, {}});
}

XlsxTestWriter& XlsxTestWriter::date(int row, int col, const QDateTime& value, const QString& format)
{
    return add({row, col, Kind::Date, 0, format, {}, value});
}

XlsxTestWriter& XlsxTestWriter::formula(int row, int col, const QString& formula, const QString& cachedText)
{
    return add({row, col, Kind::FormulaText, 0, formula, cachedText, {}});
}

XlsxTestWriter& XlsxTestWriter::formula(int row, int col, const QString& formula, double cachedNumber)
{
    return add({row, col, Kind::FormulaNumber, cachedNumber, formula, {}, {}});
}

XlsxTestWriter& XlsxTestWriter::blank(int row, int col)
{
    return add({row, col, Kind::Blank, 0, {}, {}, {}});
}

bool XlsxTestWriter::save(const QString& path, QString* error) const
{
    QString ignored;
    QString& why = error ? *error : ignored;
    lxw_workbook_options options{};
    options.constant_memory = m_strings == Strings::Inline; // which makes libxlsxwriter write inline strings
    lxw_workbook* book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!book) {
        why = QStringLiteral("libxlsxwriter cannot create %1").arg(path);
        return false;
    }
    lxw_format* blankFormat = workbook_add_format(book);
    format_set_bg_color(blankFormat, LXW_COLOR_YELLOW);
    QMap<QString, lxw_format*> dateFormats;
    lxw_error failure = LXW_NO_ERROR;
    for (const Sheet& s : m_sheets) {
        lxw_worksheet* sheet = workbook_add_worksheet(book, s.name.toUtf8().constData());
        if (!sheet) {
            why = QStringLiteral("libxlsxwriter refuses the sheet name \"%1\"").arg(s.name);
            workbook_close(book);
            return false;
        }
        std::vector<const Op*> ops;
        for (const Op& op : s.ops)
            ops.push_back(&op);
        // Constant-memory mode takes the cells row by row only.
        std::stable_sort(ops.begin(), ops.end(), [](const Op* a, const Op* b) { return a->row < b->row; });
        for (const Op* op : ops) {
            const lxw_row_t row = lxw_row_t(op->row);
            const lxw_col_t col = lxw_col_t(op->col);
            const QByteArray text = op->text.toUtf8();
            lxw_error e = LXW_NO_ERROR;
            switch (op->kind) {
            case Kind::Text:
                e = worksheet_write_string(sheet, row, col, text.constData(), nullptr);
                break;
            case Kind::Number:
                e = worksheet_write_number(sheet, row, col, op->number, nullptr);
                break;
            case Kind::Boolean:
                e = worksheet_write_boolean(sheet, row, col, int(op->number), nullptr);
                break;
            case Kind::Date: {
                lxw_format*& format = dateFormats[op->text];
                if (!format) {
                    format = workbook_add_format(book);
                    format_set_num_format(format, text.constData());
                }
                const QDate d = op->when.date();
                const QTime t = op->when.time();
                lxw_datetime when{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second() + t.msec() / 1000.0};
                e = worksheet_write_datetime(sheet, row, col, &when, format);
                break;
            }
            case Kind::FormulaText:
                e = worksheet_write_formula_str(sheet, row, col, text.constData(), nullptr,
                                                op->cached.toUtf8().constData());
                break;
            case Kind::FormulaNumber:
                e = worksheet_write_formula_num(sheet, row, col, text.constData(), nullptr, op->number);
                break;
            case Kind::Blank:
                e = worksheet_write_blank(sheet, row, col, blankFormat);
                break;
            }
            if (e != LXW_NO_ERROR && failure == LXW_NO_ERROR) {
                failure = e;
                why = QStringLiteral("cell %1,%2 of %3: %4").arg(op->row).arg(op->col).arg(s.name, lxw_strerror(e));
            }
        }
    }
    const lxw_error closed = workbook_close(book);
    if (failure != LXW_NO_ERROR)
        return false;
    if (closed != LXW_NO_ERROR) {
        why = QStringLiteral("libxlsxwriter cannot write %1: %2").arg(path, lxw_strerror(closed));
        return false;
    }
    return true;
}

RawPackage RawPackage::workbook(const QList<std::pair<QString, QByteArray>>& sheets)
{
    QByteArray overrides, entries, rels;
    for (int i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        overrides +=
            "<Override PartName=\"/xl/worksheets/sheet" + n +
            ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        entries += "<sheet name=\"" + sheets[i].first.toHtmlEscaped().toUtf8() + "\" sheetId=\"" + n + "\" r:id=\"rId" +
                   n + "\"/>";
        rels += "<Relationship Id=\"rId" + n +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                "Target=\"worksheets/sheet" +
                n + ".xml\"/>";
    }
    RawPackage p;
    p.part(QStringLiteral("[Content_Types].xml"),
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>" +
               overrides + "</Types>");
    p.part(QStringLiteral("_rels/.rels"),
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
           "Target=\"xl/workbook.xml\"/></Relationships>");
    p.part(QStringLiteral("xl/workbook.xml"),
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<workbookPr/><sheets>" +
               entries + "</sheets></workbook>");
    p.part(QStringLiteral("xl/_rels/workbook.xml.rels"),
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
               rels +
               "<Relationship Id=\"rIdS\" "
               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
               "Target=\"styles.xml\"/>"
               "<Relationship Id=\"rIdT\" "
               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
               "Target=\"sharedStrings.xml\"/></Relationships>");
    for (int i = 0; i < sheets.size(); ++i)
        p.part(QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1), worksheetXml(sheets[i].second));
    return p;
}

RawPackage& RawPackage::part(const QString& name, const QByteArray& content, Storage storage)
{
    for (Part& p : m_parts) {
        if (p.name == name) {
            p.content = content;
            p.storage = storage;
            return *this;
        }
    }
    m_parts.push_back({name, content, storage});
    return *this;
}

RawPackage& RawPackage::remove(const QString& name)
{
    std::erase_if(m_parts, [&](const Part& p) { return p.name == name; });
    return *this;
}

QByteArray RawPackage::content(const QString& name) const
{
    for (const Part& p : m_parts) {
        if (p.name == name)
            return p.content;
    }
    return {};
}

QByteArray RawPackage::zip() const
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (buffer)
            zip_source_free(buffer);
        return {};
    }
    zip_source_keep(buffer);
    for (const Part& p : m_parts) {
        zip_source_t* data = zip_source_buffer(archive, p.content.constData(), zip_uint64_t(p.content.size()), 0);
        const zip_int64_t index =
            data ? zip_file_add(archive, p.name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (data)
                zip_source_free(data);
            continue;
        }
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 p.storage == Storage::Stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    QByteArray out;
    if (zip_close(archive) == 0 && zip_source_open(buffer) == 0) {
        zip_source_seek(buffer, 0, SEEK_END);
        out.resize(qsizetype(zip_source_tell(buffer)));
        zip_source_seek(buffer, 0, SEEK_SET);
        if (zip_source_read(buffer, out.data(), zip_uint64_t(out.size())) != out.size())
            out.clear();
        zip_source_close(buffer);
    } else {
        zip_discard(archive);
    }
    zip_source_free(buffer);
    return out;
}

bool RawPackage::save(const QString& path) const
{
    const QByteArray bytes = zip();
    QFile f(path);
    return !bytes.isEmpty() && f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray worksheetXml(const QByteArray& sheetData)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheetData>" +
           sheetData + "</sheetData></worksheet>";
}

QByteArray sharedStringsXml(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
           items + "</sst>";
}

QByteArray stylesXml(const QList<int>& cellFormats, const QList<std::pair<int, QString>>& customFormats)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts>";
    for (const auto& [id, code] : customFormats)
        xml += "<numFmt numFmtId=\"" + QByteArray::number(id) + "\" formatCode=\"" + code.toHtmlEscaped().toUtf8() +
               "\"/>";
    // A cell style format that is a date must not count: only cellXfs do.
    xml += "</numFmts><cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs>";
    for (int id : cellFormats)
        xml += "<xf numFmtId=\"" + QByteArray::number(id) + "\" xfId=\"0\"/>";
    return xml + "</cellXfs></styleSheet>";
}

QByteArray withDeclaredSize(const QByteArray& zip, const QString& part, quint32 size)
{
    QByteArray out = zip;
    const QByteArray name = part.toUtf8();
    const qsizetype end = out.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > out.size())
        return out;
    auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(out.constData() + at); };
    auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(out.constData() + at); };
    qsizetype at = u32(end + 16);
    for (int i = 0, n = u16(end + 10); i < n && at + 46 <= out.size(); ++i) {
        const quint16 nameLength = u16(at + 28);
        if (out.mid(at + 46, nameLength) == name) {
            const quint32 local = u32(at + 42);
            qToLittleEndian<quint32>(size, out.data() + at + 24);
            if (local + 26 <= quint32(out.size()))
                qToLittleEndian<quint32>(size, out.data() + local + 22);
        }
        at += 46 + nameLength + u16(at + 30) + u16(at + 32);
    }
    return out;
}
