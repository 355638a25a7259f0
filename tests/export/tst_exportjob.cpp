// Whole exports as the worker runs them: the range, the files each format
// writes (read back independently), the spreadsheet program missing, and
// writes that fail leaving an earlier file as it was.
#include "ReadBack.h"
#include "TextSamples.h"

#include "export/ExportJob.h"
#include "export/SpreadsheetWriters.h"
#include "platform/automation/ExcelStandIn.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

using Status = ExportOutcome::Status;

const ExportDateRange kMarch{QDate(2012, 3, 1), QDate(2012, 3, 31)};

class RecordingHost : public ExportHost
{
public:
    void showExcelError(const QString& text) override { errors.append(text); }
    QStringList errors;
};

DataFiles::SentItem item(const QString& number, const QString& message, const QString& date)
{
    return {number, message, date};
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestExportJob : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingHost m_host;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { setReportPause(std::chrono::milliseconds(0)); }
    void init() { m_host.errors.clear(); }

    void range_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("both ends included")
            << QDate(2012, 3, 1) << QDate(2012, 3, 31) << QStringList{"start", "single digits", "end", "with a time"};
        QTest::newRow("one day") << QDate(2012, 3, 31) << QDate(2012, 3, 31) << QStringList{"end"};
        QTest::newRow("reversed") << QDate(2012, 3, 31) << QDate(2012, 3, 1) << QStringList{};
        QTest::newRow("nothing logged") << QDate(2011, 1, 1) << QDate(2011, 12, 31) << QStringList{};
    }
    void range()
    {
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(QStringList, numbers);
        const QList<DataFiles::SentItem> rows = {item("before", "m", "29/02/2012"),
                                                 item("start", "m", "01/03/2012"),
                                                 item("single digits", "m", "7/3/2012"),
                                                 item("not a day", "m", "31/02/2012"),
                                                 item("year first", "m", "2012/03/07"),
                                                 item("empty", "m", ""),
                                                 item("end", "m", "31/03/2012"),
                                                 item("after", "m", "01/04/2012"),
                                                 item("with a time", "m", "07/03/2012 10:30"),
                                                 item("glued", "m", "07/03/2012x")};
        QStringList found;
        for (const auto& row : sentItemsInRange(rows, {start, end}))
            found.append(row.number);
        QCOMPARE(found, numbers);

        // No record in the range: no file, whatever the format, and an earlier file stays.
        if (numbers.isEmpty()) {
            for (ExportFormat f : {ExportFormat::Text, ExportFormat::Html, ExportFormat::Xls, ExportFormat::Xlsx}) {
                const QString target = path(QStringLiteral("empty") + formatExtension(f));
                QFile::remove(target);
                QCOMPARE(exportSentItemsTo(target, f, rows, {start, end}, m_host).status, Status::NoRecord);
                QVERIFY(!QFile::exists(target));
            }
            QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
    }

    // 65,536 sent items: the first sheet takes 65,535 under its names row, the second one.
    void xlsSplitsIntoSheets()
    {
        QList<DataFiles::SentItem> rows;
        rows.append(item("001", "it's a 'quote'", "01/03/2012"));
        for (int i = 1; i < 65536; ++i)
            rows.append(item(QString::number(i), QStringLiteral("m"), QStringLiteral("02/03/2012")));
        const QString target = path(QStringLiteral("split.xls"));
        QCOMPARE(exportSentItemsTo(target, ExportFormat::Xls, rows, kMarch, m_host).status, Status::Exported);
        const QJsonObject book = readBack(QStringLiteral("xls"), target);
        QCOMPARE(sheetNames(book), QStringList({QStringLiteral("Sheet1"), QStringLiteral("Sheet2")}));
        const QJsonArray first = sheetRows(book, 0), second = sheetRows(book, 1);
        QCOMPARE(first.size(), 65536);
        QCOMPARE(second.size(), 2);
        QCOMPARE(cellAt(first, 0, 2), QStringLiteral("s:Date"));
        QCOMPARE(cellAt(first, 1, 0), QStringLiteral("s:001"));
        QCOMPARE(cellAt(first, 1, 1), QStringLiteral("s:it's a 'quote'"));
        QCOMPARE(cellAt(first, 65535, 0), QStringLiteral("s:65534"));
        QCOMPARE(cellAt(second, 0, 0), QStringLiteral("s:Number"));
        QCOMPARE(cellAt(second, 1, 0), QStringLiteral("s:65535"));
    }

    // What each spreadsheet format keeps of the texts: nothing is taken as a
    // number unless it is one, nothing as a date or formula, nothing too long.
    void cellsKeepTheirText_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("xlsx"); // number and message as openpyxl reads them
        QTest::newRow("leading zero") << "00447700900123"
                                      << "=1+1"
                                      << "s:00447700900123|s:=1+1";
        QTest::newRow("16 digits") << "1234567890123456"
                                   << "1/2"
                                   << "s:1234567890123456|s:1/2";
        QTest::newRow("short number") << "447700900123"
                                      << "12-34"
                                      << "n:447700900123|s:12-34";
        QTest::newRow("not digits only") << "12-34"
                                         << "'quoted"
                                         << "s:12-34|s:'quoted";
        QTest::newRow("too long") << "7" << QString(40000, u'x') << "n:7|s:" + QString(32767, u'x');
    }
    void cellsKeepTheirText()
    {
        QFETCH(QString, number);
        QFETCH(QString, message);
        QFETCH(QString, xlsx);
        const QList<RecipientListModel::Row> rows = {{number, message}};
        const QStringList captions = {QStringLiteral("Number"), QStringLiteral("Message")};

        const QString workbook = path(QStringLiteral("cells.xlsx"));
        QCOMPARE(exportRecipientsTo(workbook, ExportFormat::Xlsx, rows, captions, m_host).status, Status::Exported);
        const QJsonArray x = sheetRows(readBack(QStringLiteral("xlsx"), workbook), 0);
        QCOMPARE(cellAt(x, 0, 0) + u'|' + cellAt(x, 0, 1), QStringLiteral("s:Number|s:Message"));
        QCOMPARE(cellAt(x, 1, 0) + u'|' + cellAt(x, 1, 1), xlsx);

        const QString old = path(QStringLiteral("cells.xls"));
        QCOMPARE(exportRecipientsTo(old, ExportFormat::Xls, rows, captions, m_host).status, Status::Exported);
        const QJsonArray o = sheetRows(readBack(QStringLiteral("xls"), old), 0);
        QCOMPARE(cellAt(o, 1, 0), QStringLiteral("s:") + number);
        QCOMPARE(cellAt(o, 1, 1), QStringLiteral("s:") + message.left(32767));
    }

    void sentItemsWorkbookKeepsDatesAsText()
    {
        const QString target = path(QStringLiteral("sent.xlsx"));
        QCOMPARE(exportSentItemsTo(target, ExportFormat::Xlsx,
                                   {item("out", "m", "01/01/2000"), item("12345", "Hi\r\nthere", "07/03/2012")}, kMarch,
                                   m_host)
                     .status,
                 Status::Exported);
        const QJsonArray rows = sheetRows(readBack(QStringLiteral("xlsx"), target), 0);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(cellAt(rows, 0, 2), QStringLiteral("s:Date"));
        QCOMPARE(cellAt(rows, 1, 0), QStringLiteral("n:12345"));
        QCOMPARE(cellAt(rows, 1, 1), QStringLiteral("s:Hi\r\nthere"));
        QCOMPARE(cellAt(rows, 1, 2), QStringLiteral("s:07/03/2012"));
    }

    // Every text reads back as typed from both workbook exports and the .xls: OOXML takes "_xHHHH_" for
    // the code unit U+HHHH, so a text holding one literally must have it escaped.
    void textsComeBackAsTyped()
    {
        // An unpaired surrogate is no character: the .xls holds the replacement character in its place.
        QStringList texts, inXls;
        for (const TextSample& sample : textSamples()) {
            texts.append(sample.text);
            inXls.append(qstrcmp(sample.name, "lone surrogate") == 0 ? QStringLiteral("half \uFFFD a pair")
                                                                     : sample.text);
        }
        const qsizetype samples = texts.size();
        texts << QStringLiteral("code _x0041_ here") << QStringLiteral("_x005F_x00e9_")
              << QStringLiteral("_x1234") + QChar(0x01) << QStringLiteral("bell\a, tab\t, end\r");
        inXls += texts.mid(samples);
        QList<DataFiles::SentItem> items;
        QList<RecipientListModel::Row> recipients;
        for (int i = 0; i < texts.size(); ++i) {
            items.append(item(QString::number(100 + i), texts.at(i), QStringLiteral("07/03/2012")));
            recipients.append({QString::number(100 + i), texts.at(i)});
        }
        auto messages = [](const QJsonArray& rows) {
            QStringList out;
            for (qsizetype r = 1; r < rows.size(); ++r)
                out.append(rows.at(r).toArray().at(1).toArray().at(1).toString());
            return out;
        };

        const QString sent = path(QStringLiteral("texts-sent.xlsx"));
        QCOMPARE(exportSentItemsTo(sent, ExportFormat::Xlsx, items, kMarch, m_host).status, Status::Exported);
        QCOMPARE(messages(sheetRows(readBack(QStringLiteral("xlsx"), sent), 0)), texts);

        const QString list = path(QStringLiteral("texts-list.xlsx"));
        QCOMPARE(exportRecipientsTo(list, ExportFormat::Xlsx, recipients, {"Number", "Message"}, m_host).status,
                 Status::Exported);
        QCOMPARE(messages(sheetRows(readBack(QStringLiteral("xlsx"), list), 0)), texts);

        const QString old = path(QStringLiteral("texts-sent.xls"));
        QCOMPARE(exportSentItemsTo(old, ExportFormat::Xls, items, kMarch, m_host).status, Status::Exported);
        QCOMPARE(messages(sheetRows(readBack(QStringLiteral("xls"), old), 0)), inXls);
    }

    void spreadsheetProgramMissing()
    {
        const QString target = path(QStringLiteral("none.xlsx"));
        const QList<RecipientListModel::Row> rows = {{QStringLiteral("1"), QStringLiteral("m")}};
        Automation::unregisterClass(QStringLiteral("Excel.Application"));
        QCOMPARE(exportRecipientsTo(target, ExportFormat::Xlsx, rows, {"Number", "Message"}, m_host).status,
                 Status::ExcelError);
        Automation::registerClass(QStringLiteral("Excel.Application"), Automation::CLSID_ExcelApplication,
                                  CLSCTX_LOCAL_SERVER, [](const Guid&, void**) { return E_NOINTERFACE; });
        QCOMPARE(exportRecipientsTo(target, ExportFormat::Xlsx, rows, {"Number", "Message"}, m_host).status,
                 Status::ExcelError);
        Automation::registerClass(QStringLiteral("Excel.Application"), Automation::CLSID_ExcelApplication,
                                  CLSCTX_LOCAL_SERVER, [](const Guid& iid, void** object) {
                                      return Automation::createExcelApplication()->QueryInterface(iid, object);
                                  });
        QCOMPARE(m_host.errors, QStringList({QStringLiteral("Microsoft Excel must be installed to use this feature."),
                                             QStringLiteral("Excel not registered properly.")}));
        QVERIFY(!QFile::exists(target));
    }

    // The file size limit makes every write past 64 KiB fail, in our code and
    // in the libraries alike.
    void failedWriteLeavesEarlierFile_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("txt") << int(ExportFormat::Text);
        QTest::newRow("html") << int(ExportFormat::Html);
        QTest::newRow("xls") << int(ExportFormat::Xls);
        QTest::newRow("xlsx") << int(ExportFormat::Xlsx);
    }
    void failedWriteLeavesEarlierFile()
    {
        QFETCH(int, format);
        const auto exportFormat = ExportFormat(format);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("report") + formatExtension(exportFormat));
        {
            QFile earlier(target);
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier export") == 14);
        }
        QList<DataFiles::SentItem> rows;
        for (int i = 0; i < 20000; ++i)
            rows.append(item(QString::number(i), // hard to compress: the packed formats must grow too
                             QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha1).toHex(),
                             "07/03/2012"));

        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const ExportOutcome outcome = exportSentItemsTo(target, exportFormat, rows, kMarch, m_host);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &old) == 0);

        QCOMPARE(outcome.status, Status::FileError);
        QCOMPARE(contents(target), QByteArray("earlier export"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(target).fileName()});
    }

    void folderThatCannotTakeAFile()
    {
        const QString target = path(QStringLiteral("no such folder/report.txt"));
        QCOMPARE(exportSentItemsTo(target, ExportFormat::Text, {item("1", "m", "07/03/2012")}, kMarch, m_host).status,
                 Status::FileError);
    }
};

QTEST_GUILESS_MAIN(TestExportJob)
#include "tst_exportjob.moc"
