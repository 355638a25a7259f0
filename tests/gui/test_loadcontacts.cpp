#include "GuiTestSupport.h"
#include "import/FakeWorkbook.h"

#include "app/CCorvaneDlg.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/core/RecipientListModel.h"
#include "import/dialogs/CExcel_Info_Dlg.h"
#include "import/dialogs/CLoad_File_Msg.h"
#include "import/dialogs/ImportCommands.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

// "Load Contacts From File" from the main window: the question, the file
// choice, both readers, and every way an import can be refused.
class TestLoadContacts : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    ImportCommands* m_commands = nullptr;
    QString m_nextFile;
    QStringList m_filters;

    RecipientListModel* rows() { return m_dlg->recipients(); }
    QString total() { return byId<QLabel>(m_dlg.get(), 1011)->text(); }

    QString file(const QString& name, const QByteArray& bytes) { return m_folders->appFile(name, bytes); }
    void seed(int count)
    {
        for (int i = 0; i < count; ++i)
            rows()->insertRecipient(0, QStringLiteral("70000%1").arg(i), QStringLiteral("old"));
    }
    // Starts the command, answering the question when it comes, and waits for the end.
    void load(const QString& path, int answer = -1)
    {
        m_nextFile = path;
        if (answer >= 0)
            whenModal<CLoad_File_Msg>([answer](CLoad_File_Msg* d) { d->done(answer); });
        byId<QPushButton>(m_dlg.get(), 1006)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_commands->isImporting(), 20000);
        QVERIFY(m_dlg->isEnabled());
    }
    QStringList numbers()
    {
        QStringList out;
        for (int i = 0; i < rows()->count(); ++i)
            out.append(rows()->number(i));
        return out;
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_commands = new ImportCommands(m_dlg.get());
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        m_filters.clear();
        Ui::setFileDialogHook([this](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString& f) {
            m_filters.append(f);
            return m_nextFile;
        });
    }
    void cleanup()
    {
        Ui::setFileDialogHook({});
        m_dlg.reset();
        m_messages.reset();
        m_folders.reset();
    }

    void textFileGoesOnTopInFileOrder()
    {
        seed(5);
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setPlainText(QStringLiteral("Hello"));
        load(file(QStringLiteral("c.txt"), "111, 222\r\n333\r444\n 9 8 7 6 "), CLoad_File_Msg::Append);
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        QCOMPARE(numbers().mid(0, 5), (QStringList{"111", "222", "333", "444", "9876"}));
        QCOMPARE(rows()->count(), 10);
        QCOMPARE(rows()->message(0), QStringLiteral("Hello"));
        QCOMPARE(rows()->message(5), QStringLiteral("old"));
        QCOMPARE(m_dlg->m_nCountBeforeImport, 5);
        QCOMPARE(total(), QStringLiteral("Total Numbers : 10"));
        QCOMPARE(m_filters.size(), 1);
        QVERIFY(m_filters.first().startsWith(QStringLiteral("Text & Excel Files(*.txt;*.xls;*.xlsx)")));
    }

    void noQuestionForAnEmptyList()
    {
        load(file(QStringLiteral("c.TXT"), "1,2"));
        QCOMPARE(numbers(), (QStringList{"1", "2"}));
        QCOMPARE(m_dlg->m_nCountBeforeImport, 0);
    }

    // A Yes empties the list only once rows go in; every refusal keeps it.
    void refusalsKeepTheList_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption");
        const QString noRows = QStringLiteral(
            "Either file is corrupted or selected file contains invalid characters.\n\nOR\n\nRecipient number is "
            "skipped because of using 'Skip Duplicate Numbers' or 'Exclusion List' option.");
        const int yes = CLoad_File_Msg::ClearList, no = CLoad_File_Msg::Append;
        QTest::newRow("dialog cancelled") << QString() << QByteArray() << yes << QString() << QString();
        QTest::newRow("missing file") << QStringLiteral("gone") << QByteArray() << yes
                                      << QStringLiteral("File does not exist on selected location.")
                                      << QStringLiteral("Warning");
        QTest::newRow("other extension") << QStringLiteral("n.doc") << QByteArray("123") << yes
                                         << QStringLiteral("Please select a valid file.") << QStringLiteral("Message");
        QTest::newRow("UTF-8 mark") << QStringLiteral("u.txt") << QByteArray("\xEF\xBB\xBF" "123") << yes
                                    << QStringLiteral("Please select the ANSI encoded text file.")
                                    << QStringLiteral("Message");
        QTest::newRow("UTF-16 mark") << QStringLiteral("w.txt") << QByteArray("\xFF\xFE" "1\0", 4) << no
                                     << QStringLiteral("Please select the ANSI encoded text file.")
                                     << QStringLiteral("Message");
        QTest::newRow("empty file") << QStringLiteral("e.txt") << QByteArray() << yes << QStringLiteral("File is empty.")
                                    << QStringLiteral("Message");
        QTest::newRow("separators only") << QStringLiteral("s.txt") << QByteArray(",,,\r\n\r\n") << yes << noRows
                                         << QStringLiteral("Message");
        QTest::newRow("all invalid") << QStringLiteral("i.txt") << QByteArray("abc,12+3") << no << noRows
                                     << QStringLiteral("Message");
        QTest::newRow("one token without separators")
            << QStringLiteral("l.txt") << QByteArray(200000, '5') << yes << noRows << QStringLiteral("Message");
    }
    void refusalsKeepTheList()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        seed(5);
        const QStringList before = numbers();
        QString path;
        if (name == QLatin1String("gone"))
            path = m_folders->app() + QStringLiteral("/gone.txt");
        else if (!name.isEmpty())
            path = file(name, bytes);
        load(path, answer);
        QCOMPARE(numbers(), before);
        if (message.isEmpty()) {
            QVERIFY(m_messages->shown.isEmpty());
        } else {
            QCOMPARE(m_messages->shown.size(), 1);
            QCOMPARE(m_messages->shown.first().text, message);
            QCOMPARE(m_messages->shown.first().caption, caption);
        }
        QCOMPARE(total(), QStringLiteral("Total Numbers : 5"));
    }

    void yesReplacesTheListWhenRowsCome()
    {
        seed(3);
        load(file(QStringLiteral("c.txt"), "5,6"), CLoad_File_Msg::ClearList);
        QCOMPARE(numbers(), (QStringList{"5", "6"}));
        QCOMPARE(m_dlg->m_nCountBeforeImport, 0);
        // Duplicates are judged against the list the import builds, not the one it replaced.
        byId<QCheckBox>(m_dlg.get(), 1014)->setChecked(true);
        load(file(QStringLiteral("d.txt"), "5,7,7"), CLoad_File_Msg::ClearList);
        QCOMPARE(numbers(), (QStringList{"5", "7"}));
    }

    // A file of several blocks: the list is emptied before the first block only.
    void yesReplacesTheListWithEveryBlock_data()
    {
        QTest::addColumn<bool>("workbook");
        QTest::newRow("text") << false;
        QTest::newRow("workbook") << true;
    }
    void yesReplacesTheListWithEveryBlock()
    {
        QFETCH(bool, workbook);
        FakeEngine engine;
        seed(3);
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setPlainText(QStringLiteral("New"));
        QStringList expected;
        for (int i = 0; i < 12000; ++i)
            expected.append(QString::number(5000000 + i * 7));
        QString path;
        if (workbook) {
            // Column A, then column B: 6000 rows each.
            FakeSheet sheet(QStringLiteral("One"));
            for (int i = 0; i < 12000; ++i) {
                Workbook::CellValue c;
                c.row = quint32(i % 6000);
                c.col = quint32(i / 6000);
                c.kind = Workbook::CellKind::Number;
                c.number = expected.at(i).toDouble();
                sheet.cells.append(c);
            }
            path = file(QStringLiteral("many.xlsx"), "not read: the engine is faked");
            engine.book(path, {sheet});
            whenModal<CExcel_Info_Dlg>([](CExcel_Info_Dlg* d) {
                byId<QListWidget>(d, 1072)->setCurrentRow(0);
                auto* columns = byId<QListWidget>(d, 1005);
                QTRY_COMPARE(columns->count(), 2);
                columns->item(0)->setCheckState(Qt::Checked);
                columns->item(1)->setCheckState(Qt::Checked);
                byId<QPushButton>(d, 1)->click();
            });
        } else {
            path = file(QStringLiteral("many.txt"), expected.join(QStringLiteral("\r\n")).toLatin1());
        }
        QObject watch;
        int blocks = 0;
        connect(rows(), &RecipientListModel::rowsInserted, &watch, [&blocks] { ++blocks; });
        load(path, CLoad_File_Msg::ClearList);
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        QVERIFY2(blocks > 1, "the file should come in more than one block");
        QCOMPARE(numbers(), expected);
        QStringList messages;
        for (int i = 0; i < rows()->count(); ++i)
            messages.append(rows()->message(i));
        QCOMPARE(messages, QStringList(expected.size(), QStringLiteral("New")));
        QCOMPARE(total(), QStringLiteral("Total Numbers : 12000"));
    }

    void duplicatesAreSkippedOnlyWhenAsked()
    {
        const QString path = file(QStringLiteral("dup.txt"), "12,12,13");
        load(path);
        QCOMPARE(numbers(), (QStringList{"12", "12", "13"}));
        byId<QCheckBox>(m_dlg.get(), 1014)->setChecked(true);
        load(path, CLoad_File_Msg::Append);
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(rows()->count(), 3);
        load(file(QStringLiteral("new.txt"), "14,14,12,15"), CLoad_File_Msg::Append);
        QCOMPARE(numbers(), (QStringList{"14", "15", "12", "12", "13"}));
    }

    void longFileArrivesInBlocksWithTheWindowDisabled()
    {
        QByteArray bytes;
        for (int i = 0; i < 300000; ++i)
            bytes += QByteArray::number(100000 + i) + "\r\n";
        int blocks = 0;
        bool disabledWhileFilling = true;
        connect(rows(), &RecipientListModel::rowsInserted, this, [&] {
            ++blocks;
            disabledWhileFilling = disabledWhileFilling && !m_dlg->isEnabled();
        });
        load(file(QStringLiteral("big.txt"), bytes));
        QCOMPARE(rows()->count(), 300000);
        QCOMPARE(rows()->number(0), QStringLiteral("100000"));
        QCOMPARE(rows()->number(299999), QStringLiteral("399999"));
        QVERIFY2(blocks > 1, "the list should fill while the file is read");
        QVERIFY(disabledWhileFilling);
    }

    void spreadsheetColumnsInColumnOrder()
    {
        FakeEngine engine;
        FakeSheet zeta{QStringLiteral("Zeta")};
        zeta.number("A1", 1);
        FakeSheet alpha{QStringLiteral("Alpha")};
        alpha.text("A1", QStringLiteral("Phone")).number("A2", 111).error("A3").text("A4", QStringLiteral("+44 222"));
        alpha.text("B1", QStringLiteral("Name")).text("B2", QStringLiteral("Ann"));
        alpha.text("C2", QStringLiteral("9-87")).number("C3", 111);
        const QString path = file(QStringLiteral("book.xlsx"), "not read: the engine is faked");
        engine.book(path, {zeta, alpha, FakeSheet{QStringLiteral("Mid")}});
        whenModal<CExcel_Info_Dlg>([](CExcel_Info_Dlg* d) {
            auto* sheets = byId<QListWidget>(d, 1072);
            QCOMPARE(sheets->count(), 3);
            QCOMPARE(sheets->item(1)->text(), QStringLiteral("Alpha"));
            sheets->setCurrentRow(1);
            auto* columns = byId<QListWidget>(d, 1005);
            QTRY_COMPARE(columns->count(), 3);
            columns->item(0)->setCheckState(Qt::Checked);
            columns->item(2)->setCheckState(Qt::Checked);
            byId<QPushButton>(d, 1)->click();
        });
        load(path);
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        // Column A top to bottom, then column C; "+44 222" has a space, which makes it invalid.
        QCOMPARE(numbers(), (QStringList{"111", "987", "111"}));
    }

    // Formulas saved without their result read as empty; the import ends by saying how many of the read
    // columns' cells were such, and where the first one read is.
    void formulasWithoutResultAreToldOf_data()
    {
        QTest::addColumn<FakeSheet>("sheet");
        QTest::addColumn<QString>("notice");
        const QString advice = QStringLiteral(
            "\n\nOpen the file in a spreadsheet program and save it there, so that the results are stored, then "
            "import it again.");
        FakeSheet plain(QStringLiteral("S"));
        plain.number("B1", 111).number("D1", 222);
        QTest::newRow("none") << plain << QString();
        QTest::newRow("one") << FakeSheet(plain).formula("B2")
                             << QStringLiteral("1 cell holds a formula whose result the file does not store; it was "
                                               "read as empty (the first is S!B2).") +
                                    advice;
        // Column B is read before column D; column C is not read.
        QTest::newRow("first in column order")
            << FakeSheet(plain).formula("D2").formula("C2").formula("B6").formula("B7")
            << QStringLiteral("3 cells hold a formula whose result the file does not store; they were read as empty "
                              "(the first is S!B6).") +
                   advice;
    }
    void formulasWithoutResultAreToldOf()
    {
        QFETCH(FakeSheet, sheet);
        QFETCH(QString, notice);
        FakeEngine engine;
        const QString path = file(QStringLiteral("computed.xlsx"), "not read: the engine is faked");
        engine.book(path, {sheet});
        whenModal<CExcel_Info_Dlg>([](CExcel_Info_Dlg* d) {
            byId<QListWidget>(d, 1072)->setCurrentRow(0);
            auto* columns = byId<QListWidget>(d, 1005);
            QTRY_COMPARE(columns->count(), 3);
            columns->item(0)->setCheckState(Qt::Checked);
            columns->item(2)->setCheckState(Qt::Checked);
            byId<QPushButton>(d, 1)->click();
        });
        load(path);
        QCOMPARE(numbers(), (QStringList{"111", "222"}));
        QCOMPARE(m_messages->texts(), notice.isEmpty() ? QStringList() : QStringList{notice});
    }

    void spreadsheetFailuresKeepTheList()
    {
        FakeEngine engine;
        seed(2);
        const QString locked = file(QStringLiteral("locked.xlsx"), "x");
        engine.fail(locked, Workbook::OpenStatus::Encrypted);
        load(locked, CLoad_File_Msg::ClearList);
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown.first().text, QStringLiteral("Excel Error : File reading process is discarded."));
        QCOMPARE(m_messages->shown.first().caption, QStringLiteral("Excel Error"));
        QCOMPARE(rows()->count(), 2);

        m_messages->clear();
        const QString broken = file(QStringLiteral("broken.xls"), "x");
        load(broken, CLoad_File_Msg::ClearList);
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Failed to open Excel file!")});
        QCOMPARE(rows()->count(), 2);

        m_messages->clear();
        const QString book = file(QStringLiteral("b.xlsx"), "x");
        engine.book(book, {FakeSheet{QStringLiteral("One")}.number("A1", 5)});
        whenModal<CExcel_Info_Dlg>([](CExcel_Info_Dlg* d) { d->reject(); });
        load(book, CLoad_File_Msg::ClearList);
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(rows()->count(), 2);
    }
};

QTEST_MAIN(TestLoadContacts)
#include "test_loadcontacts.moc"
