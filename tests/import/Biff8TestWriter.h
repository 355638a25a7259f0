#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Writes .xls workbooks (BIFF8 records in an OLE2 container) for the tests:
// named sheets in the order they are added, each cell through the record a
// test asks for. Rows and columns are 0-based (A1 is 0, 0).
//
//   Biff8TestWriter book;
//   book.addSheet("Numbers").text(0, 0, "Mobile").number(1, 0, 919876543210);
//   book.save(path);
class Biff8TestWriter
{
public:
    enum class SheetKind
    {
        Worksheet,
        Chart,
        MacroSheet,
        DialogSheet
    };

    // Error codes of BOOLERR and FORMULA cells.
    enum ErrorCode : quint8
    {
        Null = 0x00,
        Div0 = 0x07,
        Value = 0x0F,
        Ref = 0x17,
        Name = 0x1D,
        Num = 0x24,
        NA = 0x2A,
    };

    class Sheet
    {
    public:
        // Text through the shared string table (LABELSST), or inline (LABEL).
        Sheet& text(int row, int col, const QString& s);
        Sheet& label(int row, int col, const QString& s);
        // Shared text with rich-text runs and a phonetic block of that many bytes.
        Sheet& richText(int row, int col, const QString& s, int runs, int phoneticBytes);
        Sheet& number(int row, int col, double v);                        // NUMBER
        Sheet& rk(int row, int col, double v);                            // RK; v must have an RK form
        Sheet& mulRk(int row, int firstCol, const QList<double>& values); // MULRK, same condition
        Sheet& boolean(int row, int col, bool v);                         // BOOLERR
        Sheet& error(int row, int col, quint8 code);                      // BOOLERR
        // FORMULA with its cached result; text results follow in a STRING record.
        Sheet& formulaNumber(int row, int col, double cached);
        Sheet& formulaText(int row, int col, const QString& cached);
        Sheet& formulaBoolean(int row, int col, bool cached);
        Sheet& formulaError(int row, int col, quint8 code);
        Sheet& formulaEmptyText(int row, int col);
        Sheet& blank(int row, int col);
        Sheet& mulBlank(int row, int firstCol, int lastCol);
        // A NUMBER shown as a date, through a built-in format id or a format code.
        Sheet& date(int row, int col, double serial, int builtinFormat = 14);
        Sheet& date(int row, int col, double serial, const QString& formatCode);
        Sheet& setHidden(bool hidden = true);
        // The DIMENSION record as written (0-based, inclusive); by default the cells' true bounds.
        Sheet& setDimension(int firstRow, int lastRow, int firstCol, int lastCol);
        // Any record, written as is after the cells so far.
        Sheet& record(quint16 type, const QByteArray& body);

    private:
        friend class Biff8TestWriter;
        Sheet(Biff8TestWriter& book, QString name, SheetKind kind);
        void append(quint16 type, const QByteArray& body);
        void cell(quint16 type, int row, int col, quint16 xf, const QByteArray& rest);
        void touch(int row, int col);
        QByteArray substream() const;

        Biff8TestWriter& m_book;
        QString m_name;
        SheetKind m_kind;
        bool m_hidden = false;
        QByteArray m_records;
        bool m_anyCell = false;
        std::optional<std::array<int, 4>> m_dimension;
        int m_firstRow = 0, m_lastRow = 0, m_firstCol = 0, m_lastCol = 0;
    };

    Biff8TestWriter();
    ~Biff8TestWriter();
    Biff8TestWriter(const Biff8TestWriter&) = delete;
    Biff8TestWriter& operator=(const Biff8TestWriter&) = delete;

    Sheet& addSheet(const QString& name, SheetKind kind = SheetKind::Worksheet);
    void setDate1904(bool on = true) { m_date1904 = on; }
    // A FILEPASS record after the globals' BOF, as password protection writes it.
    void setFilePass(bool on = true) { m_filePass = on; }
    // Ends the string table's record inside shared string s: after `chars` of its
    // characters, or after `bytes` of its rich-text runs and phonetic block.
    // Records are also ended wherever they fill up.
    void breakSstInText(const QString& s, int chars);
    void breakSstInExtras(const QString& s, int bytes);

    QByteArray workbookStream() const;
    QByteArray xls() const;
    bool save(const QString& path) const;

    // One record: type, length, body.
    static QByteArray record(quint16 type, const QByteArray& body);
    // An OLE2 container holding these streams, in this order.
    static QByteArray ole2(const QList<std::pair<QString, QByteArray>>& streams);

private:
    struct SharedString
    {
        QString text;
        int runs = 0;
        int phoneticBytes = 0;
        int breakInText = -1;
        int breakInExtras = -1;
    };
    int sharedString(const QString& s, int runs, int phoneticBytes);
    quint16 dateXf(int format);
    int formatId(const QString& code);
    QByteArray sstRecords() const;

    std::vector<std::unique_ptr<Sheet>> m_sheets;
    std::vector<SharedString> m_strings;
    QHash<QString, int> m_plainStrings;
    int m_sstReferences = 0;
    QList<QString> m_formats;   // custom format codes, ids 164 onwards
    QList<int> m_dateXfFormats; // format of each cell XF after the default one
    bool m_date1904 = false;
    bool m_filePass = false;
};
