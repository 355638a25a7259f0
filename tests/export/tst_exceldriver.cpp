// The Excel driver stand-in: the SQL and connection strings it takes or
// refuses, and the workbooks it writes, read back with xlrd.
#include "ReadBack.h"

#include "platform/odbc/Odbc.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kCreate = QStringLiteral("CREATE TABLE `Sheet1` ([Number] TEXT,[Message] MEMO,[Date] TEXT)");

QString connectionString(const QString& path, const QString& extra = QString())
{
    return QStringLiteral("DRIVER={MICROSOFT EXCEL DRIVER (*.XLS)};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;"
                          "CREATE_DB=\"%1\";DBQ=%1")
               .arg(path) +
           extra;
}

} // namespace

class TestExcelDriver : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    std::unique_ptr<Odbc::Connection> open(const QString& name, const QString& extra = QString())
    {
        QString error;
        auto c = Odbc::driverConnect(connectionString(m_dir.filePath(name), extra), &error);
        if (!c)
            qWarning("connect: %s", qPrintable(error));
        return c;
    }

private slots:
    void connectionStringAttributes()
    {
        QMap<QString, QString> a;
        QVERIFY(Odbc::parseConnectionString(
            QStringLiteral("DRIVER={A;B};DSN='';create_db=\"/x y/z.xls\";DBQ=/x y/z.xls;"), &a));
        QCOMPARE(a.value(QStringLiteral("DRIVER")), QStringLiteral("A;B"));
        QCOMPARE(a.value(QStringLiteral("DSN")), QString());
        QCOMPARE(a.value(QStringLiteral("CREATE_DB")), QStringLiteral("/x y/z.xls"));
        QCOMPARE(a.value(QStringLiteral("DBQ")), QStringLiteral("/x y/z.xls"));
        QVERIFY(!Odbc::parseConnectionString(QStringLiteral("DRIVER={A;DBQ=x"), &a));
        QVERIFY(!Odbc::parseConnectionString(QStringLiteral("DRIVER"), &a));
    }

    void connectRefusals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown driver") << QStringLiteral("DRIVER={Other};CREATE_DB=\"/tmp/x.xls\"")
                                        << QStringLiteral("Data source name not found");
        QTest::newRow("no CREATE_DB") << QStringLiteral("DRIVER={Microsoft Excel Driver (*.xls)};DBQ=/tmp/x.xls")
                                      << QStringLiteral("only creates new workbooks");
        QTest::newRow("missing folder")
            << QStringLiteral("DRIVER={MICROSOFT EXCEL DRIVER (*.XLS)};CREATE_DB=\"/no/such/folder/x.xls\"")
            << QStringLiteral("not a valid path");
        QTest::newRow("two files")
            << QStringLiteral("DRIVER={MICROSOFT EXCEL DRIVER (*.XLS)};CREATE_DB=\"/tmp/a.xls\";DBQ=/tmp/b.xls")
            << QStringLiteral("different files");
        QTest::newRow("unbalanced") << QStringLiteral("DRIVER={MICROSOFT")
                                    << QStringLiteral("Invalid connection string");
    }
    void connectRefusals()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QString why;
        QVERIFY(!Odbc::driverConnect(text, &why));
        QVERIFY2(why.contains(error), qPrintable(why));
    }

    // Each row runs after kCreate; every statement but the last must succeed.
    void statements_data()
    {
        QTest::addColumn<QStringList>("sql");
        QTest::addColumn<QString>("error"); // empty: the last statement succeeds
        auto row = [](const char* name, QStringList sql, const char* error) {
            QTest::newRow(name) << sql << QString::fromLatin1(error);
        };
        row("full insert", {"INSERT INTO `Sheet1` ([Number],[Message],[Date]) VALUES ('1','it''s','01/01/2012')"}, "");
        row("no column list", {"INSERT INTO `Sheet1` VALUES ('1','m',NULL)"}, "");
        row("other order, bracketed", {"insert into [sheet1] ([Date],[Number]) values ('d','1');"}, "");
        row("unknown table", {"INSERT INTO Sheet9 VALUES ('1','m','d')"}, "Could not find the table 'Sheet9'");
        row("unknown column", {"INSERT INTO `Sheet1` ([Phone]) VALUES ('1')"}, "Unknown field name");
        row("same column twice", {"INSERT INTO `Sheet1` ([Number],[number]) VALUES ('1','2')"}, "Duplicate output");
        row("too few values", {"INSERT INTO `Sheet1` ([Number],[Message]) VALUES ('1')"}, "Number of query values");
        row("unterminated string", {"INSERT INTO `Sheet1` VALUES ('1','m','d)"}, "Syntax error in INSERT INTO");
        row("trailing text", {"INSERT INTO `Sheet1` VALUES ('1','m','d') x"}, "Syntax error in INSERT INTO");
        row("not a statement", {"SELECT * FROM `Sheet1`"}, "Invalid SQL statement");
        row("table twice", {"CREATE TABLE SHEET1 ([A] TEXT)"}, "already exists");
        row("bad sheet name", {"CREATE TABLE [a:b] ([A] TEXT)"}, "not a valid name");
        row("unknown type", {"CREATE TABLE T2 ([A] BLOB)"}, "Syntax error in CREATE TABLE");
        row("column twice", {"CREATE TABLE T2 ([A] TEXT, [a] MEMO)"}, "defined more than once");
        row("text into number", {"CREATE TABLE T2 ([V] NUMBER)", "INSERT INTO T2 VALUES ('abc')"},
            "Data type mismatch");
        row("numbers", {"CREATE TABLE T2 ([V] NUMBER, [W] TEXT(20))", "INSERT INTO T2 VALUES (-1.5e3, 7)"}, "");
        row("too long", {"INSERT INTO `Sheet1` ([Message]) VALUES ('" + QString(32768, u'x') + "')"}, "too small");
    }
    void statements()
    {
        QFETCH(QStringList, sql);
        QFETCH(QString, error);
        auto c = open(QStringLiteral("statements.xls"));
        QVERIFY(c && c->execute(kCreate));
        for (qsizetype i = 0; i + 1 < sql.size(); ++i)
            QVERIFY2(c->execute(sql[i]), qPrintable(c->lastError()));
        const bool ok = c->execute(sql.last());
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(c->lastError().contains(error), qPrintable(c->lastError()));
    }

    void readOnlyConnectionRefusesWrites()
    {
        auto c = open(QStringLiteral("ro.xls"), QStringLiteral(";READONLY=TRUE"));
        QVERIFY(c);
        QVERIFY(!c->execute(kCreate));
        QVERIFY(c->lastError().contains(QLatin1String("updateable")));
    }

    void sheetHoldsNamesRowAnd65535Rows()
    {
        auto c = open(QStringLiteral("full.xls"));
        QVERIFY(c && c->execute(kCreate));
        for (int i = 0; i < 65535; ++i)
            QVERIFY(c->execute(QStringLiteral("INSERT INTO `Sheet1` ([Number]) VALUES ('%1')").arg(i)));
        QVERIFY(!c->execute(QStringLiteral("INSERT INTO `Sheet1` ([Number]) VALUES ('x')")));
        QVERIFY(c->lastError().contains(QLatin1String("Cannot expand named range")));
    }

    void workbookReadsBack()
    {
        const QString path = m_dir.filePath(QStringLiteral("book.xls"));
        auto c = open(QStringLiteral("book.xls"));
        QVERIFY(c && c->execute(kCreate));
        const QString greek = QStringLiteral("Καλημέρα 😀");
        const QString longNarrow = QString(20000, u'n') + u'!';
        const QString longWide = QString(9000, QChar(0x3B1)) + u'?';
        const QStringList messages = {QStringLiteral("it's"), QStringLiteral("two\r\nlines"), greek, longNarrow,
                                      longWide};
        for (int i = 0; i < messages.size(); ++i) {
            QVERIFY(c->execute(QStringLiteral("INSERT INTO `Sheet1` ([Number],[Message],[Date]) VALUES ('%1','%2','d')")
                                   .arg(i)
                                   .arg(QString(messages[i]).replace(u'\'', QLatin1String("''")))));
        }
        // Enough distinct strings for several index buckets and continuation records.
        QVERIFY(c->execute(QStringLiteral("CREATE TABLE Sheet2 ([Text] TEXT,[Value] NUMBER)")));
        for (int i = 0; i < 3000; ++i)
            QVERIFY(c->execute(QStringLiteral("INSERT INTO Sheet2 VALUES ('row %1', %1.5)").arg(i)));
        QVERIFY2(c->close(), qPrintable(c->lastError()));

        const QJsonObject book = readBack(QStringLiteral("xls"), path);
        QCOMPARE(sheetNames(book), QStringList({QStringLiteral("Sheet1"), QStringLiteral("Sheet2")}));
        const QJsonArray first = sheetRows(book, 0);
        QCOMPARE(first.size(), messages.size() + 1);
        QCOMPARE(cellAt(first, 0, 1), QStringLiteral("s:Message"));
        for (int i = 0; i < messages.size(); ++i) {
            QCOMPARE(cellAt(first, i + 1, 0), QStringLiteral("s:%1").arg(i));
            QCOMPARE(cellAt(first, i + 1, 1), QStringLiteral("s:") + messages[i]);
        }
        const QJsonArray second = sheetRows(book, 1);
        QCOMPARE(second.size(), 3001);
        QCOMPARE(cellAt(second, 2999, 0), QStringLiteral("s:row 2998"));
        QCOMPARE(cellAt(second, 3000, 1), QStringLiteral("n:2999.5"));
    }

    void closeReportsAnUnwritableFile()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("taken.xls")));
        auto c = open(QStringLiteral("taken.xls"));
        QVERIFY(c && c->execute(kCreate));
        QVERIFY(!c->close());
        QVERIFY(c->lastError().contains(QLatin1String("Cannot write")));
    }
};

QTEST_GUILESS_MAIN(TestExcelDriver)
#include "tst_exceldriver.moc"
