#include "GuiTestSupport.h"
#include "TestWorkbooks.h"
#include "import/dialogs/CExcel_Info_Dlg.h"

#include "app/CCorvaneDlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CSpecialEdit.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"
#include "store/dialogs/CExclusion_Wizard.h"
#include "store/dialogs/ListModels.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using Page = CExclusion_Wizard::Page;

namespace {

const QByteArray kBom("\xff\xfe", 2);

QByteArray lfFile(const QStringList& lines)
{
    QString text;
    for (const QString& l : lines)
        text += l + QLatin1Char('\n');
    return lines.isEmpty() ? QByteArray()
                           : kBom + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeList(const QString& path, const QStringList& lines)
{
    QCOMPARE(DataFiles::RewriteExclusionFile(path, lines), QString());
}

} // namespace

class TestExclusionWizard : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_main;
    std::unique_ptr<CExclusion_Wizard> m_wizard;

    // Lists of numbers, all in the index; `inUse` names those in use.
    void makeLists(const QList<QPair<QString, QStringList>>& lists, const QStringList& inUse)
    {
        QStringList names;
        for (const auto& [name, numbers] : lists) {
            names.append(name);
            writeList(DataFiles::exclusionListPath(name), numbers);
        }
        writeList(DataFiles::exclusionIndexPath(), names);
        writeList(DataFiles::inUseListPath(), inUse);
    }
    void open()
    {
        m_wizard = std::make_unique<CExclusion_Wizard>(m_main.get());
        m_wizard->onListsChanged = [this] { m_main->LoadExclusionNumbers(); };
        m_wizard->show();
        QTRY_VERIFY(m_wizard->isOpened());
    }
    void idle() { QTRY_VERIFY(!m_wizard->isBusy()); }
    CMyListCtrl* view(int id) { return byId<CMyListCtrl>(m_wizard.get(), id); }
    void select(int id, std::initializer_list<int> rows)
    {
        CMyListCtrl* list = view(id);
        list->clearSelection();
        for (int r : rows)
            list->selectionModel()->select(list->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void startNewList(const QString& name)
    {
        m_wizard->OnAddNew();
        byId<QLineEdit>(m_wizard.get(), 1174)->setText(name);
        m_wizard->OnNext();
    }
    void typeNumber(const QString& number)
    {
        byId<CSpecialEdit>(m_wizard.get(), 1181)->setText(number);
        m_wizard->OnAddNumber();
    }
    void loadFile(const QString& path)
    {
        byId<QLineEdit>(m_wizard.get(), 1154)->setText(path);
        m_wizard->OnLoad();
        idle();
    }
    QString file(const QString& name, const QByteArray& bytes) { return m_folders->appFile(name, bytes); }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        m_main = std::make_unique<CCorvaneDlg>();
        m_main->show();
    }
    void cleanup()
    {
        m_wizard.reset();
        m_main.reset();
        m_messages.reset();
        m_folders.reset();
        Ui::setFileDialogHook({});
    }

    void opensWithTheListsOfTheFiles()
    {
        makeLists({{"Staff", {"1"}}, {"Parents", {"2"}}}, {"Parents", "../../outside"});
        open();
        QCOMPARE(m_wizard->availableLists()->texts(), (QStringList{"Staff", "Parents"}));
        QCOMPARE(m_wizard->listsInUse()->texts(), QStringList{"Parents"});
        QCOMPARE(view(1172)->selectedRowsAscending(), QList<int>{0});
        QCOMPARE(m_wizard->page(), Page::List);
    }

    void newListNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("accepted, trimmed") << "  Team  " << QString();
        QTest::newRow("empty") << "   "
                               << "Please enter exclusion list name.";
        QTest::newRow("letter case clash") << "Friends"
                                           << "Entered exclusion list name already exists.";
        QTest::newRow("index name") << "ExListIndex"
                                    << "Please enter the another name.";
        QTest::newRow("slash") << "Class 7/C"
                               << "Please enter a valid name.";
    }

    void newListNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        makeLists({{"friends", {"1"}}}, {});
        open();
        startNewList(name);
        QCOMPARE(m_messages->last(), message);
        QCOMPARE(m_wizard->page(), message.isEmpty() ? Page::Numbers : Page::Name);
        if (message.isEmpty())
            QCOMPARE(byId<QLabel>(m_wizard.get(), 1155)->text(),
                     QStringLiteral("Currently using exclusion list : Team"));
    }

    // Typed numbers go on top; a leftover number file of the same name is replaced, not appended to.
    void newListIsWrittenOnFinish()
    {
        makeLists({{"Staff", {"1"}}}, {});
        writeList(DataFiles::exclusionListPath(QStringLiteral("Team")), {"999"}); // left over from a crash
        open();
        startNewList(QStringLiteral("Team"));
        typeNumber(QStringLiteral("111"));
        typeNumber(QStringLiteral("+44222"));
        typeNumber(QStringLiteral("0044222"));
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number already exists."));
        typeNumber(QStringLiteral("12+3"));
        QCOMPARE(m_messages->last(), QStringLiteral("Please enter a valid phone number."));
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"0044222", "111"}));
        QCOMPARE(byId<QLabel>(m_wizard.get(), 1102)->text(), QStringLiteral("Total Numbers : 2"));

        m_wizard->OnFinish(); // No
        QCOMPARE(m_wizard->page(), Page::Numbers);
        m_messages->answer(Ui::IdYes);
        m_wizard->OnFinish();
        idle();
        QCOMPARE(m_wizard->page(), Page::List);
        QCOMPARE(readBytes(DataFiles::exclusionListPath(QStringLiteral("Team"))), lfFile({"0044222", "111"}));
        QCOMPARE(readBytes(DataFiles::exclusionIndexPath()), lfFile({"Staff", "Team"}));
        QCOMPARE(m_wizard->availableLists()->texts(), (QStringList{"Staff", "Team"}));
    }

    void existingListIsRewrittenOnFinish()
    {
        makeLists({{"Staff", {"3", "1", "2"}}}, {});
        open();
        select(1172, {0});
        m_wizard->OnUpdate(view(1172));
        idle();
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"3", "1", "2"}));
        QVERIFY(!m_wizard->numbersChanged());
        select(1179, {1});
        whenModal<CUpdate_Ex_Num>([](CUpdate_Ex_Num* d) {
            byId<CSpecialEdit>(d, 1194)->setText(QStringLiteral("3"));
            byId<QPushButton>(d, 1)->click(); // already listed
            byId<CSpecialEdit>(d, 1194)->setText(QStringLiteral("+44"));
            byId<QPushButton>(d, 1)->click();
        });
        m_wizard->OnUpdateNumber();
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number already exists."));
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"3", "0044", "2"}));

        m_wizard->OnBack(); // changed: asks, No stays
        QCOMPARE(m_wizard->page(), Page::Numbers);
        m_messages->answer(Ui::IdYes);
        m_wizard->OnFinish();
        idle();
        QCOMPARE(readBytes(DataFiles::exclusionListPath(QStringLiteral("Staff"))), lfFile({"3", "0044", "2"}));
        QCOMPARE(readBytes(DataFiles::exclusionIndexPath()), lfFile({"Staff"}));
    }

    // After an update the old number is free again and the new one is taken, for typing and for updates.
    void updatedNumberMovesInTheDuplicateCheck()
    {
        makeLists({{"Staff", {"3", "1", "2"}}}, {});
        open();
        select(1172, {0});
        m_wizard->OnUpdate(view(1172));
        idle();
        auto update = [this](int row, const QString& number) {
            select(1179, {row});
            whenModal<CUpdate_Ex_Num>([number](CUpdate_Ex_Num* d) {
                byId<CSpecialEdit>(d, 1194)->setText(number);
                byId<QPushButton>(d, 1)->click();
                if (d->isVisible())
                    d->reject();
            });
            m_wizard->OnUpdateNumber();
        };
        update(1, QStringLiteral("+44"));
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"3", "0044", "2"}));

        typeNumber(QStringLiteral("1"));
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"1", "3", "0044", "2"}));
        typeNumber(QStringLiteral("0044"));
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Entered number already exists.")});

        // Row 2 ("0044") to 5 frees 0044 for row 3; row 0 may not take 5 then.
        m_messages->clear();
        update(2, QStringLiteral("5"));
        update(3, QStringLiteral("0044"));
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"1", "3", "5", "0044"}));
        update(0, QStringLiteral("5"));
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Entered number already exists.")});
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"1", "3", "5", "0044"}));
    }

    void listWithoutNumberFile()
    {
        makeLists({{"Staff", {"1"}}}, {});
        QFile::remove(DataFiles::exclusionListPath(QStringLiteral("Staff")));
        open();
        select(1172, {0});
        m_wizard->OnUpdate(view(1172));
        idle();
        QCOMPARE(m_messages->last(), QStringLiteral("Error in file accessing."));
        QCOMPARE(m_wizard->page(), Page::List);
    }

    // The arrows change the view only; "Save Applied" writes it, "Cancel" drops it.
    void listsInUse()
    {
        makeLists({{"A", {}}, {"B", {}}, {"C", {}}}, {"B"});
        open();
        select(1172, {1});
        m_wizard->OnAdd();
        QCOMPARE(m_messages->last(), QStringLiteral("Selected list is already in use."));
        select(1172, {0});
        m_wizard->OnAdd();
        m_wizard->OnCancel();
        QCOMPARE(readBytes(DataFiles::inUseListPath()), lfFile({"B"}));

        open();
        m_wizard->OnAddAll();
        QCOMPARE(m_wizard->listsInUse()->texts(), (QStringList{"B", "A", "C"}));
        m_wizard->OnAddAll();
        QCOMPARE(m_messages->last(), QStringLiteral("All available lists are already in use."));
        m_messages->answer(Ui::IdYes);
        m_wizard->OnSaveApplied();
        QCOMPARE(readBytes(DataFiles::inUseListPath()), lfFile({"B", "A", "C"}));
        m_wizard->OnRemoveAll();
        m_messages->answer(Ui::IdYes);
        m_wizard->OnSaveApplied();
        QCOMPARE(readBytes(DataFiles::inUseListPath()), QByteArray());
    }

    // Deleting a list in use empties it out of both views, both files and the cache, and removes its file.
    void deleteListInUse()
    {
        makeLists({{"A", {"0044123", "555"}}, {"B", {"555"}}}, {"A", "B"});
        byId<QCheckBox>(m_main.get(), 1169)->setChecked(true);
        QCOMPARE(m_main->exclusionCache().numbers(), (QStringList{"0044123", "555", "555"}));
        QVERIFY(m_main->IsExcludedNumber(QStringLiteral("0044123")));
        QVERIFY(!m_main->IsExcludedNumber(QStringLiteral("44123")));
        open();
        select(1172, {0});
        m_messages->answer(Ui::IdYes);
        m_wizard->OnDelete();
        QCOMPARE(m_wizard->availableLists()->texts(), QStringList{"B"});
        QCOMPARE(m_wizard->listsInUse()->texts(), QStringList{"B"});
        QCOMPARE(readBytes(DataFiles::exclusionIndexPath()), lfFile({"B"}));
        QCOMPARE(readBytes(DataFiles::inUseListPath()), lfFile({"B"}));
        QVERIFY(!QFile::exists(DataFiles::exclusionListPath(QStringLiteral("A"))));
        QCOMPARE(m_main->exclusionCache().numbers(), QStringList{"555"});
    }

    // When the lists cannot be rewritten, nothing is deleted.
    void deleteKeepsEverythingWhenListsCannotBeWritten()
    {
        makeLists({{"A", {"1"}}}, {"A"});
        open();
        CStdioFileEx holder;
        QVERIFY(holder.open(DataFiles::inUseListPath(), CStdioFileEx::OpenMode::Read));
        select(1172, {0});
        m_messages->answer(Ui::IdYes);
        m_wizard->OnDelete();
        QCOMPARE(m_messages->last(), QStringLiteral("Error in file accessing."));
        QCOMPARE(readBytes(DataFiles::exclusionListPath(QStringLiteral("A"))), lfFile({"1"}));
        QCOMPARE(readBytes(DataFiles::exclusionIndexPath()), lfFile({"A"}));
        QCOMPARE(m_wizard->availableLists()->texts(), QStringList{"A"});
    }

    void loadFromFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("numbers");
        const QString failed = QStringLiteral(
            "Either file is corrupted or selected file contains invalid characters.\n\nOR\n\nNumbers are skipped "
            "because of duplicate number already exits in the exclusion list.");
        QTest::newRow("on top in file order")
            << "a.txt" << QByteArray("12-34, 5678\r\n999") << QString() << QStringList{"1234", "5678", "999"};
        QTest::newRow("all already listed") << "b.txt" << QByteArray("999\r\n+999x") << failed << QStringList{"999"};
        QTest::newRow("Unicode file") << "c.txt"
                                      << QByteArray("\xff\xfe"
                                                    "9\0",
                                                    4)
                                      << "Please select the ANSI encoded text file." << QStringList{"999"};
        QTest::newRow("empty file") << "d.txt" << QByteArray() << "File is empty." << QStringList{"999"};
        QTest::newRow("damaged spreadsheet") << "e.xlsx" << QByteArray("PK") << "Failed to open Excel file!"
                                             << QStringList{"999"};
    }

    void loadFromFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(QStringList, numbers);
        open();
        startNewList(QStringLiteral("Team"));
        typeNumber(QStringLiteral("999"));
        loadFile(file(name, bytes));
        QCOMPARE(m_messages->last(), message);
        QCOMPARE(m_wizard->numbers()->texts(), numbers);
    }

    // The chosen columns of the chosen sheet, column by column, through the sheet dialog.
    void loadFromWorkbook_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("sheet");
        QTest::newRow("xlsx") << QStringLiteral("staff.xlsx") << 1;
        QTest::newRow("xls") << QStringLiteral("staff.xls") << 1;
        QTest::newRow("csv") << QStringLiteral("staff.csv") << 0;
    }
    void loadFromWorkbook()
    {
        QFETCH(QString, name);
        QFETCH(int, sheet);
        const QString path = m_folders->app() + QLatin1Char('/') + name;
        if (name.endsWith(QLatin1String(".csv")))
            file(name, "Mobile;Name;Office\r\n12-34;Ann;+44 55\r\n999;;+4455\r\n");
        else if (!writeTestWorkbook(path, {TestSheet(QStringLiteral("Other")).number(0, 0, 1),
                                           TestSheet(QStringLiteral("Staff"))
                                               .text(0, 0, QStringLiteral("Mobile"))
                                               .text(1, 0, QStringLiteral("12-34"))
                                               .number(2, 0, 999)
                                               .text(0, 1, QStringLiteral("Name"))
                                               .text(1, 1, QStringLiteral("Ann"))
                                               .text(0, 2, QStringLiteral("Office"))
                                               .text(1, 2, QStringLiteral("+44 55"))
                                               .text(2, 2, QStringLiteral("+4455"))}))
            QFAIL("the workbook was not written");
        open();
        startNewList(QStringLiteral("Team"));
        typeNumber(QStringLiteral("999"));
        whenModal<CExcel_Info_Dlg>([sheet](CExcel_Info_Dlg* d) {
            byId<QListWidget>(d, 1072)->setCurrentRow(sheet);
            auto* columns = byId<QListWidget>(d, 1005);
            QTRY_COMPARE(columns->count(), 3);
            columns->item(0)->setCheckState(Qt::Checked);
            columns->item(2)->setCheckState(Qt::Checked);
            byId<QPushButton>(d, 1)->click();
        });
        loadFile(path);
        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        QCOMPARE(m_wizard->numbers()->texts(), (QStringList{"1234", "004455", "999"}));

        // Cancelling the sheet choice ends the import quietly.
        whenModal<CExcel_Info_Dlg>([](CExcel_Info_Dlg* d) { d->reject(); });
        loadFile(path);
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(m_wizard->numbers()->count(), 3);
    }

    void chooseFile()
    {
        open();
        startNewList(QStringLiteral("Team"));
        QString chosen;
        Ui::setFileDialogHook([&](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString& filter) {
            [&] {
                QCOMPARE(filter,
                         QStringLiteral("Text & Excel Files(*.txt;*.xls;*.xlsx) (*.txt *.xls *.xlsx *.csv *.ods)"));
            }();
            return chosen;
        });
        chosen = file(QStringLiteral("list.doc"), "1");
        m_wizard->OnBrowse();
        QCOMPARE(m_messages->last(), QStringLiteral("Please select a valid file."));
        chosen = m_folders->app() + QStringLiteral("/gone.txt");
        m_wizard->OnBrowse();
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Warning"));
        chosen = file(QStringLiteral("LIST.TXT"), "1");
        m_wizard->OnBrowse();
        QCOMPARE(byId<QLineEdit>(m_wizard.get(), 1154)->text(), chosen);
        byId<QLineEdit>(m_wizard.get(), 1154)->clear();
        m_wizard->OnLoad();
        QCOMPARE(m_messages->last(), QStringLiteral("Please select a valid file path."));
    }
};

QTEST_MAIN(TestExclusionWizard)
#include "test_exclusionwizard.moc"
