// Number format codes as spreadsheet programs write them, and what the readers
// make of a number shown through them.

#include "import/workbook/NumberFormat.h"

#include <QTest>

using Workbook::FormatKind;

Q_DECLARE_METATYPE(Workbook::FormatKind)

class TestNumberFormat : public QObject
{
    Q_OBJECT

private slots:
    // The built-in formats, by id and by the code the id stands for: a file
    // may give either, and both must mean the same.
    void builtin_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("code");
        QTest::addColumn<FormatKind>("kind");

        const FormatKind N = FormatKind::Number, D = FormatKind::Date, T = FormatKind::Time;
        const struct
        {
            int id;
            const char* code;
            FormatKind kind;
        } formats[] = {
            {0, "General", N},
            {1, "0", N},
            {2, "0.00", N},
            {3, "#,##0", N},
            {4, "#,##0.00", N},
            {5, "\"$\"#,##0_);\\(\"$\"#,##0\\)", N},
            {6, "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)", N},
            {7, "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)", N},
            {8, "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)", N},
            {9, "0%", N},
            {10, "0.00%", N},
            {11, "0.00E+00", N},
            {12, "# ?/?", N},
            {13, "# ?\?/??", N},
            {14, "mm-dd-yy", D},
            {15, "d-mmm-yy", D},
            {16, "d-mmm", D},
            {17, "mmm-yy", D},
            {18, "h:mm AM/PM", T},
            {19, "h:mm:ss AM/PM", T},
            {20, "h:mm", T},
            {21, "h:mm:ss", T},
            {22, "m/d/yy h:mm", FormatKind::DateTime},
            {37, "#,##0 ;(#,##0)", N},
            {38, "#,##0 ;[Red](#,##0)", N},
            {39, "#,##0.00;(#,##0.00)", N},
            {40, "#,##0.00;[Red](#,##0.00)", N},
            {41, "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", N},
            {42, "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", N},
            {43, "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)", N},
            {44, "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)", N},
            {45, "mm:ss", T},
            {46, "[h]:mm:ss", FormatKind::Elapsed},
            {47, "mmss.0", T},
            {48, "##0.0E+0", N},
            {49, "@", N},
        };
        for (const auto& f : formats)
            QTest::addRow("%d %s", f.id, f.code) << f.id << QString::fromUtf8(f.code) << f.kind;
    }
    void builtin()
    {
        QFETCH(int, id);
        QFETCH(QString, code);
        QFETCH(FormatKind, kind);
        QCOMPARE(Workbook::builtinFormatKind(id), kind);
        QCOMPARE(Workbook::classifyFormatCode(code), kind);
        // A code the file spells out decides over the id's built-in meaning.
        QCOMPARE(Workbook::formatKind(id, &code), kind);
        const QString general = QStringLiteral("General");
        QCOMPARE(Workbook::formatKind(id, &general), FormatKind::Number);
    }

    // Custom codes as LibreOffice, Gnumeric and Excel save them.
    void codes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<FormatKind>("kind");

        const FormatKind N = FormatKind::Number, D = FormatKind::Date, T = FormatKind::Time, DT = FormatKind::DateTime,
                         E = FormatKind::Elapsed;
        const struct
        {
            const char* code;
            FormatKind kind;
        } codes[] = {
            // Letters that are no date letters where they stand.
            {"GENERAL", N},
            {"0.00E+00", N},
            {"##0.0E+0", N},
            {"0.0e-0", N},
            {"0%", N},
            {"#,##0.00 [$€-407]", N},
            {"[$$-409]#,##0.00;[Red]-[$$-409]#,##0.00", N},
            {"[Red]0.00", N},
            {"[<100]0;General", N},
            {"[Red]0.00;\"d\"0", N},
            {"@", N},
            {"\"Date:\" 0", N},
            {"\\d\\m 0", N},
            {"#,##0_m*s", N},
            {"# ?/?", N},
            {"0;-0;;@", N},
            {"", N},
            {"\"unclosed", N},
            {"[Red", N},
            // Dates, times and both.
            {"[$-409]dd/mm/yyyy", D},
            {"yyyy\\-mm\\-dd", D},
            {"DD.MM.YYYY", D},
            {"MMM YY", D},
            {"m", D},
            {"[$-F800]dddd, mmmm dd, yyyy", D},
            {"[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\"", D},
            {"ggge\"年\"m\"月\"d\"日\"", D},
            {"\"Time: \"h:mm", T},
            {"mm:ss.0", T},
            {"HH:MM", T},
            {"[$-F400]h:mm:ss AM/PM", T},
            {"A/P h", T},
            {"ss.000", T},
            {"dd/mm/yyyy hh:mm:ss", DT},
            {"DD.MM.YYYY HH:MM", DT},
            {"yyyy-mm-dd\"T\"hh:mm", DT},
            // Durations.
            {"[h]:mm:ss", E},
            {"[HH]:MM:SS", E},
            {"[mm]:ss", E},
            {"[ss].00", E},
            {"[Blue][h]:mm", E},
        };
        for (const auto& c : codes)
            QTest::addRow("%s", c.code) << QString::fromUtf8(c.code) << c.kind;
    }
    void codes()
    {
        QFETCH(QString, code);
        QTEST(Workbook::classifyFormatCode(code), "kind");
    }
};

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "test_numberformat.moc"
