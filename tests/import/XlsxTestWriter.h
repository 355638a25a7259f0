#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <utility>
#include <vector>

// Real .xlsx workbooks for tests and benchmarks, written by libxlsxwriter:
//
//     XlsxTestWriter w;
//     w.sheet("Contacts").text(0, 0, "Number").number(1, 0, 919876543210);
//     QVERIFY(w.save(path));
//
// Rows and columns are 0-based (row 0, column 0 is A1). Sheets keep the order
// they were started in.
class XlsxTestWriter
{
public:
    // Shared strings are what spreadsheet programs write; inline strings are
    // what streaming writers do.
    enum class Strings
    {
        Shared,
        Inline
    };
    explicit XlsxTestWriter(Strings strings = Strings::Shared) : m_strings(strings) {}

    // Starts a sheet (or goes back to one); the cells that follow go to it.
    XlsxTestWriter& sheet(const QString& name);

    XlsxTestWriter& text(int row, int col, const QString& value);
    XlsxTestWriter& number(int row, int col, double value);
    XlsxTestWriter& boolean(int row, int col, bool value);
    XlsxTestWriter& date(int row, int col, const QDateTime& value,
                         const QString& format = QStringLiteral("dd/mm/yyyy"));
    // A formula with the result the spreadsheet program cached for it.
    XlsxTestWriter& formula(int row, int col, const QString& formula, const QString& cachedText);
    XlsxTestWriter& formula(int row, int col, const QString& formula, double cachedNumber);
    // A formatted cell without a value: it counts for the used range.
    XlsxTestWriter& blank(int row, int col);

    // False, with the reason in `error`, when libxlsxwriter refuses something.
    bool save(const QString& path, QString* error = nullptr) const;

private:
    enum class Kind
    {
        Text,
        Number,
        Boolean,
        Date,
        FormulaText,
        FormulaNumber,
        Blank
    };
    struct Op
    {
        int row, col;
        Kind kind;
        double number = 0;
        QString text;   // text, formula, or date format
        QString cached; // cached text of a formula
        QDateTime when;
    };
    struct Sheet
    {
        QString name;
        std::vector<Op> ops;
    };
    XlsxTestWriter& add(Op op);

    Strings m_strings;
    std::vector<Sheet> m_sheets;
    size_t m_current = 0;
};

// Hand-made packages whose parts are given as text, for odd cases that no
// writer produces: inline strings with runs, cells without r=, absolute
// targets, DTDs, bombs. workbook() gives the parts of a plain workbook; tests
// then replace or remove single parts.
class RawPackage
{
public:
    enum class Storage
    {
        Deflated,
        Stored
    };

    // [Content_Types].xml, _rels/.rels, xl/workbook.xml and its relationships
    // (to xl/styles.xml and xl/sharedStrings.xml too, parts a test may add),
    // and xl/worksheets/sheetN.xml for each (name, sheetData content) pair.
    static RawPackage workbook(const QList<std::pair<QString, QByteArray>>& sheets);

    // Adds or replaces a part; parts are stored in the order first added.
    RawPackage& part(const QString& name, const QByteArray& content, Storage storage = Storage::Deflated);
    RawPackage& remove(const QString& name);
    QByteArray content(const QString& name) const;

    QByteArray zip() const;
    bool save(const QString& path) const;

private:
    struct Part
    {
        QString name;
        QByteArray content;
        Storage storage;
    };
    std::vector<Part> m_parts;
};

// The XML of a worksheet holding `sheetData` (the rows), and of a shared
// string table holding `items` (the <si> elements).
QByteArray worksheetXml(const QByteArray& sheetData);
QByteArray sharedStringsXml(const QByteArray& items);
// A styles part whose cell formats use these number formats, with custom
// formats given as (id, code).
QByteArray stylesXml(const QList<int>& cellFormats, const QList<std::pair<int, QString>>& customFormats = {});

// `zip` with the uncompressed size that its headers declare for `part`
// replaced, for packages that lie about their sizes.
QByteArray withDeclaredSize(const QByteArray& zip, const QString& part, quint32 size);
