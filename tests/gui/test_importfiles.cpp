#include "GuiTestSupport.h"

#include "TestWorkbooks.h"
#include "app/CCorvaneDlg.h"
#include "app/core/RecipientListModel.h"
#include "import/ContactPreview.h"
#include "import/dialogs/CExcel_Info_Dlg.h"
#include "import/dialogs/ImportCommands.h"
#include "store/DataFiles.h"

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTextStream>

// Real files through "Load Contacts From File" and through the command-line
// preview: one table drives both, and both must give the same numbers in the
// same order.
class TestImportFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;

    QString path(const QString& name) const { return m_folders->app() + QLatin1Char('/') + name; }

    QStringList windowImport(const QString& file, int sheet, const QList<int>& columns, bool skip, bool exclusions)
    {
        CCorvaneDlg dlg;
        auto* commands = new ImportCommands(&dlg);
        dlg.initialise();
        dlg.show();
        byId<QCheckBox>(&dlg, 1014)->setChecked(skip);
        byId<QCheckBox>(&dlg, 1169)->setChecked(exclusions);
        Ui::setFileDialogHook([file](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString&) {
            return file;
        });
        if (!file.endsWith(QLatin1String(".txt"))) {
            whenModal<CExcel_Info_Dlg>([sheet, columns](CExcel_Info_Dlg* d) {
                byId<QListWidget>(d, 1072)->setCurrentRow(sheet - 1);
                auto* list = byId<QListWidget>(d, 1005);
                QTRY_VERIFY(!d->isReading() && list->count() > 0);
                for (int i = 0; i < list->count(); ++i) {
                    if (columns.isEmpty() || columns.contains(i + 1))
                        list->item(i)->setCheckState(Qt::Checked);
                }
                byId<QPushButton>(d, 1)->click();
            });
        }
        byId<QPushButton>(&dlg, 1006)->click();
        if (!QTest::qWaitFor([commands] { return !commands->isImporting(); }, 30000))
            qWarning("the import did not end");
        Ui::setFileDialogHook({});
        QStringList numbers;
        for (int i = 0; i < dlg.recipients()->count(); ++i)
            numbers.append(dlg.recipients()->number(i));
        return numbers;
    }

    QStringList preview(const QString& file, int sheet, const QList<int>& columns, bool skip, bool exclusions)
    {
        QStringList args{QStringLiteral("--preview"), file};
        if (!file.endsWith(QLatin1String(".txt")))
            args << QStringLiteral("--sheet") << QString::number(sheet);
        if (!columns.isEmpty()) {
            QStringList list;
            for (int c : columns)
                list.append(QString::number(c));
            args << QStringLiteral("--columns") << list.join(QLatin1Char(','));
        }
        if (skip)
            args << QStringLiteral("--skip-duplicates");
        if (exclusions)
            args << QStringLiteral("--exclusions");
        QString out, err;
        QTextStream o(&out), e(&err);
        const int status = ContactPreview::run(args, o, e);
        if (status != 0)
            qWarning("preview ended with %d: %s", status, qPrintable(err));
        return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        DataFiles::EnsureDataFiles();
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::exclusionIndexPath(), {QStringLiteral("Staff")}));
        QVERIFY(DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), {QStringLiteral("Staff")}).isEmpty());
        QVERIFY(DataFiles::RewriteExclusionFile(DataFiles::exclusionListPath(QStringLiteral("Staff")),
                                                {QStringLiteral("00447700900999"), QStringLiteral("555")})
                    .isEmpty());
    }
    void cleanup()
    {
        m_messages.reset();
        m_folders.reset();
    }

    void windowAndPreviewAgree_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QList<int>>("columns");
        QTest::addColumn<bool>("skip");
        QTest::addColumn<bool>("exclusions");
        QTest::addColumn<QStringList>("expected");
        for (const QString& ext : {QStringLiteral("xlsx"), QStringLiteral("xls")}) {
            const QString book = QStringLiteral("contacts.") + ext;
            QTest::addRow("%s, columns A and C", qPrintable(ext))
                << book << 2 << QList<int>{1, 3} << false << false
                << QStringList{"447700900123", "987", "447700900123", "00441234", "555", "00447700900999"};
            QTest::addRow("%s, skip duplicates", qPrintable(ext))
                << book << 2 << QList<int>{1, 3} << true << false
                << QStringList{"447700900123", "987", "00441234", "555", "00447700900999"};
            QTest::addRow("%s, exclusions", qPrintable(ext))
                << book << 2 << QList<int>{1, 3} << true << true << QStringList{"447700900123", "987", "00441234"};
            QTest::addRow("%s, every column of the first sheet", qPrintable(ext))
                << book << 1 << QList<int>{} << false << false << QStringList{"1", "2"};
        }
        // A CSV file is one sheet; its empty fields are no cells, so its range starts at B3 too.
        QTest::newRow("csv, columns A and C")
            << QStringLiteral("contacts.csv") << 1 << QList<int>{1, 3} << false << false
            << QStringList{"447700900123", "987", "447700900123", "00441234", "555", "00447700900999"};
        QTest::newRow("csv, exclusions") << QStringLiteral("contacts.csv") << 1 << QList<int>{1, 3} << true << true
                                         << QStringList{"447700900123", "987", "00441234"};
        QTest::newRow("text") << QStringLiteral("contacts.txt") << 0 << QList<int>{} << true << true
                              << QStringList{"111", "222", "333", "00441"};
    }
    void windowAndPreviewAgree()
    {
        QFETCH(QString, name);
        QFETCH(int, sheet);
        QFETCH(QList<int>, columns);
        QFETCH(bool, skip);
        QFETCH(bool, exclusions);
        QFETCH(QStringList, expected);
        const QString file = path(name);
        if (name.endsWith(QLatin1String(".txt"))) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("111, 222\r\n333,111\r555\n+44 1\nabc");
        } else if (name.endsWith(QLatin1String(".csv"))) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(",,,\r\n\r\n,Mobile,Name,Other\r\n,447700900123,\"Ann, B\",+441234\r\n,9-87,,555\r\n"
                    ",447700900123,,+447700900999\r\n,,,not a number\r\n");
        } else {
            // Sheet 2's range starts at B3: column 1 is B, and row 1 holds headings.
            QVERIFY(writeTestWorkbook(file, {TestSheet(QStringLiteral("First")).number(0, 0, 1).number(0, 1, 2),
                                             TestSheet(QStringLiteral("Contacts"))
                                                 .text(2, 1, QStringLiteral("Mobile"))
                                                 .text(2, 2, QStringLiteral("Name"))
                                                 .text(2, 3, QStringLiteral("Other"))
                                                 .number(3, 1, 447700900123.0)
                                                 .text(3, 2, QStringLiteral("Ann"))
                                                 .text(4, 1, QStringLiteral("9-87"))
                                                 .text(5, 1, QStringLiteral("447700900123"))
                                                 .text(3, 3, QStringLiteral("+441234"))
                                                 .number(4, 3, 555)
                                                 .text(5, 3, QStringLiteral("+447700900999"))
                                                 .text(6, 3, QStringLiteral("not a number"))}));
        }
        const QStringList fromWindow = windowImport(file, sheet, columns, skip, exclusions);
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        QCOMPARE(fromWindow, expected);
        QCOMPARE(preview(file, sheet, columns, skip, exclusions), fromWindow);
    }
};

QTEST_MAIN(TestImportFiles)
#include "test_importfiles.moc"
