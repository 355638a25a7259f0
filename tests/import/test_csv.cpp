// Comma-separated files: fields and records as spreadsheet programs save them,
// the separator and the encoding told from the content, one sheet per file.

#include "import/csv/CsvTable.h"
#include "import/workbook/Workbook.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString reference(quint32 row, quint32 col)
{
    return QChar(u'A' + col) + QString::number(row + 1);
}

QStringList fields(const QString& text, QChar separator)
{
    QStringList out;
    Csv::parse(text, separator, [&](quint32 record, quint32 index, QString&& value) {
        out.append(reference(record, index) + u' ' + value);
        return true;
    });
    return out;
}

} // namespace

class TestCsv : public QObject
{
    Q_OBJECT

private slots:
    void records_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QStringList>("cells");

        QTest::newRow("CR LF, last line break") << "a,b\r\nc,d\r\n"
                                                << QChar(u',') << QStringList{"A1 a", "B1 b", "A2 c", "B2 d"};
        QTest::newRow("LF, CR, none at the end") << "a\nb\rc" << QChar(u',') << QStringList{"A1 a", "A2 b", "A3 c"};
        QTest::newRow("quoted separators, quotes and line breaks")
            << "\"x,y\",\"say \"\"hi\"\"\"\r\n\"one\r\ntwo\",z" << QChar(u',')
            << QStringList{"A1 x,y", "B1 say \"hi\"", "A2 one\r\ntwo", "B2 z"};
        QTest::newRow("empty fields and lines keep their places")
            << "a,,c\n\n,e,\"\"" << QChar(u',') << QStringList{"A1 a", "C1 c", "B3 e"};
        QTest::newRow("semicolons, decimal commas")
            << "1,5;2,5\n-3;x" << QChar(u';') << QStringList{"A1 1,5", "B1 2,5", "A2 -3", "B2 x"};
        QTest::newRow("phone numbers as written") << "00441234567,+44 7700 900123, 555 " << QChar(u',')
                                                  << QStringList{"A1 00441234567", "B1 +44 7700 900123", "C1  555 "};
        QTest::newRow("stray quotes are kept")
            << "ab\"c,\"d\"e\n\"open,end" << QChar(u',') << QStringList{"A1 ab\"c", "B1 de", "A2 open,end"};
    }
    void records()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QTEST(fields(text, separator), "cells");
    }

    void separator_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::newRow("commas") << "Name,Phone\nAsha,0044" << QChar(u',');
        QTest::newRow("semicolons, CR LF") << "Name;Phone\r\nAsha;0044\r\n\r\n" << QChar(u';');
        QTest::newRow("semicolons around decimal commas") << "1,5;2,5\n3,5;4,5" << QChar(u';');
        QTest::newRow("semicolons on some lines only") << "a;b\nc,d\n" << QChar(u',');
        QTest::newRow("semicolons only inside quotes") << "\"x;y\",z\n\"p;q\",r" << QChar(u',');
        QTest::newRow("a quoted line break") << "\"two\nlines;\";b\nc;d" << QChar(u';');
        QTest::newRow("one field") << "12345" << QChar(u',');
    }
    void separator()
    {
        QFETCH(QString, text);
        QTEST(Csv::detectSeparator(text), "separator");
    }

    void encoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString manana = QStringLiteral("Ma\u00f1ana,1");
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFMa\xC3\xB1"
                                                      "ana,1")
                                        << manana;
        QTest::newRow("UTF-8 without BOM") << QByteArray("Ma\xC3\xB1"
                                                         "ana,1")
                                           << manana;
        QTest::newRow("ANSI code page") << QByteArray("Ma\xF1"
                                                      "ana,1")
                                        << manana;
        QTest::newRow("ASCII") << QByteArray("a,b") << QStringLiteral("a,b");
    }
    void encoding()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(TextCodec::setAnsiCodePage("windows-1252"));
        QTEST(Csv::decode(bytes), "text");
    }

    // A .csv file opens as a workbook of one sheet, named after the file.
    void fileIsOneSheet()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Kunden Liste.CSV"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xEF\xBB\xBFName;Mobil;Betrag\r\nJ\xC3\xBCrgen;004915112345678;1,5\r\n");
        f.close();
        Workbook::OpenResult opened = Workbook::openFile(path);
        QVERIFY2(opened.status == Workbook::OpenStatus::Ok, qPrintable(opened.detail));
        QCOMPARE(opened.file->sheetNames(), QStringList{QStringLiteral("Kunden Liste")});
        Workbook::Sheet sheet;
        QString error;
        QVERIFY(opened.file->loadSheet(0, sheet, error));
        QCOMPARE(sheet.rowCount(), 2u);
        QCOMPARE(sheet.columnCount(), 3u);
        const Workbook::Cell* mobile = sheet.find(1, 1);
        QVERIFY(mobile);
        QCOMPARE(mobile->kind, Workbook::CellKind::Text);
        QCOMPARE(sheet.text(*mobile).toString(), QStringLiteral("004915112345678"));
        QCOMPARE(sheet.text(*sheet.find(1, 0)).toString(), QStringLiteral("J\u00fcrgen"));
        QCOMPARE(sheet.text(*sheet.find(1, 2)).toString(), QStringLiteral("1,5"));
        QVERIFY(!opened.file->loadSheet(1, sheet, error));
    }
};

QTEST_APPLESS_MAIN(TestCsv)
#include "test_csv.moc"
