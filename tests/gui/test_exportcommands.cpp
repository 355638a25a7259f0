// The export commands as a user meets them: options, file choice, questions,
// the wait window, the result dialog and opening the file.
#include "GuiTestSupport.h"

#include "app/CCorvaneDlg.h"
#include "app/core/RecipientListModel.h"
#include "export/dialogs/CExport_Option.h"
#include "export/dialogs/COpen_Export_Log.h"
#include "export/dialogs/ExportCommands.h"
#include "export/dialogs/ExportController.h"
#include "export/ExportJob.h"
#include "platform/Shell.h"
#include "platform/automation/ExcelStandIn.h"
#include "app/controls/WaitDialogs.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>

#include <fcntl.h>
#include <unistd.h>

namespace {

class RecordingShell : public Shell
{
public:
    bool openUrl(const QString&) override { return true; }
    bool openMail(const QString&, const QString&) override { return true; }
    bool openFile(const QString& path) override
    {
        files.append(path);
        return canOpen;
    }
    bool startHidden(const QString&, const QString&) override { return true; }
    int runBatchHidden(const QString&, int) override { return 0; }
    QStringList files;
    bool canOpen = true;
};

QList<DataFiles::SentItem> todaysItems()
{
    const QString today = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    return {{QStringLiteral("0044123"), QStringLiteral("Hello"), today},
            {QStringLiteral("555"), QStringLiteral("it's me"), today}};
}

QByteArray head(const QString& path, int n)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
}

void chooseFormat(int radio)
{
    whenModal<CExport_Option>([radio](CExport_Option* d) {
        byId<QRadioButton>(d, radio)->click();
        byId<QPushButton>(d, 1)->click();
    });
}

// Answers the options dialog with a format, then the result dialog with OK.
void chooseFormatThenOk(int radio, bool open = true)
{
    chooseFormat(radio);
    whenModal<COpen_Export_Log>([open](COpen_Export_Log* d) {
        byId<QCheckBox>(d, 1183)->setChecked(open);
        byId<QPushButton>(d, 1)->click();
    });
}

} // namespace

class TestExportCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    RecordingShell m_shell;
    QString m_chosen;
    QStringList m_filters;
    int m_type = 0;

    QString file(const QString& name) const { return m_folders->app() + u'/' + name; }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        m_shell.files.clear();
        m_shell.canOpen = true;
        m_filters.clear();
        m_type = 0;
        Shell::setInstance(&m_shell);
        setReportPause(std::chrono::milliseconds(0));
        Ui::setFileDialogHook([this](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString& f) {
            m_filters.append(f);
            return m_chosen;
        });
        Ui::setFileTypeHook([this](const QString&) { return m_type; });
    }
    void cleanup()
    {
        Ui::setFileDialogHook({});
        Ui::setFileTypeHook({});
        Shell::setInstance(nullptr);
        m_messages.reset();
        m_folders.reset();
    }

    void sentItemsInEachFormat_data()
    {
        QTest::addColumn<int>("radio");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("txt") << 1093 << "report.dat"
                             << "report.dat.txt"
                             << "Text Files(*.txt)" << QByteArray("====");
        QTest::newRow("html") << 1094 << "report"
                              << "report.html"
                              << "Html Files(*.html)" << QByteArray("\xFF\xFE<\0", 4);
        QTest::newRow("xls") << 1141 << "report.XLS"
                             << "report.XLS"
                             << "Excel(97-2003) Files(*.xls)" << QByteArray("\xD0\xCF\x11\xE0");
        QTest::newRow("xlsx") << 1142 << "report.xlsx"
                              << "report.xlsx"
                              << "Excel Files(*.xlsx)" << QByteArray("PK");
    }
    void sentItemsInEachFormat()
    {
        QFETCH(int, radio);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(QString, filter);
        QFETCH(QByteArray, magic);
        m_chosen = file(chosen);
        chooseFormatThenOk(radio);
        QWidget owner;
        ExportSentItems(&owner, todaysItems());
        QCOMPARE(m_filters, QStringList{filter});
        QCOMPARE(head(file(written), int(magic.size())), magic);
        QCOMPARE(m_shell.files, QStringList{file(written)});
        QVERIFY(m_messages->shown.isEmpty());
        QVERIFY(owner.isEnabled());
    }

    // No program opens the file: the user learns where it is instead of nothing happening.
    void exportedFileThatCannotBeOpened()
    {
        m_shell.canOpen = false;
        m_chosen = file(QStringLiteral("report.txt"));
        chooseFormatThenOk(1093);
        QWidget owner;
        ExportSentItems(&owner, todaysItems());
        QCOMPARE(m_shell.files, QStringList{m_chosen});
        QCOMPARE(m_messages->texts(),
                 QStringList{QStringLiteral("No program could be started to open the file.\n\nIt is saved as:\n") +
                             m_chosen});
        QVERIFY(owner.isEnabled());
    }

    void nothingToExport()
    {
        QWidget owner;
        ExportSentItems(&owner, {});
        QCOMPARE(m_messages->texts(), QStringList{"Sent items list is empty."});
        RecipientListModel empty;
        ExportRecipientList(&owner, empty);
        QCOMPARE(m_messages->last(), QStringLiteral("Phone numbers-Messages list is empty."));
        QVERIFY(m_filters.isEmpty());
    }

    // "report.dat" grew ".txt": the file of that final name is asked about.
    void appendedNameIsAskedAbout()
    {
        m_chosen = file(QStringLiteral("r.dat"));
        QFile old(file(QStringLiteral("r.dat.txt")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QWidget owner;
        chooseFormat(1093);
        ExportSentItems(&owner, todaysItems());
        QCOMPARE(m_messages->last(), QStringLiteral("r.dat.txt already exists.\nDo you want to replace it?"));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Confirm Save As"));
        QCOMPARE(head(old.fileName(), 10), QByteArray("old"));

        m_messages->answer(Ui::IdYes);
        chooseFormatThenOk(1093, false);
        ExportSentItems(&owner, todaysItems());
        QCOMPARE(head(old.fileName(), 4), QByteArray("===="));
        QVERIFY(m_shell.files.isEmpty());
    }

    void fileHeldElsewhere_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("office lock file") << 0;
        QTest::newRow("locked by a program") << 1;
        QTest::newRow("a folder of that name") << 2;
    }
    void fileHeldElsewhere()
    {
        QFETCH(int, how);
        const QString target = file(QStringLiteral("held.xls"));
        int fd = -1;
        if (how == 2) {
            QVERIFY(QDir().mkpath(target));
        } else {
            QFile existing(target);
            QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("kept") == 4);
            existing.close();
            if (how == 0) {
                QFile lock(file(QStringLiteral(".~lock.held.xls#")));
                QVERIFY(lock.open(QIODevice::WriteOnly));
            } else {
                fd = ::open(QFile::encodeName(target).constData(), O_RDWR);
                struct flock l
                {
                };
                l.l_type = F_WRLCK;
                l.l_whence = SEEK_SET;
                QVERIFY(::fcntl(fd, F_OFD_SETLK, &l) == 0);
            }
        }
        m_chosen = target;
        RecipientListModel list;
        list.appendRecipients({{QStringLiteral("1"), QStringLiteral("m")}});
        QWidget owner;
        ExportRecipientList(&owner, list);
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(m_messages->texts(), QStringList{"Error in file accessing."});
        if (how != 2)
            QCOMPARE(head(target, 10), QByteArray("kept"));
    }

    void capacityQuestion()
    {
        RecipientListModel list;
        QList<RecipientListModel::Row> rows;
        for (int i = 0; i < 65536; ++i)
            rows.append({QString::number(i), QStringLiteral("m")});
        list.appendRecipients(rows);
        m_chosen = file(QStringLiteral("big.xls"));
        QWidget owner;
        ExportRecipientList(&owner, list);
        QVERIFY(m_messages->last().startsWith(QStringLiteral("Number of rows in table is greater than the capacity")));
        QVERIFY(!QFile::exists(m_chosen));

        m_messages->answer(Ui::IdYes);
        whenModal<COpen_Export_Log>([](COpen_Export_Log* d) { byId<QPushButton>(d, 2)->click(); });
        ExportRecipientList(&owner, list);
        QCOMPARE(head(m_chosen, 4), QByteArray("\xD0\xCF\x11\xE0"));
        QVERIFY(m_shell.files.isEmpty());
    }

    // The spreadsheet program is missing: its error box comes from the export
    // thread while the owner is disabled behind the wait window.
    void spreadsheetProgramMissing()
    {
        QWidget owner;
        owner.show();
        bool ownerEnabled = true, waitShown = false;
        Ui::setMessageBoxHook([&](QWidget*, const QString& text, const QString& caption, Ui::Buttons, Ui::Icon icon) {
            m_messages->shown.append({text, caption, Ui::Buttons::Ok, icon});
            ownerEnabled = owner.isEnabled();
            waitShown = owner.findChild<CAddSentItem*>() && owner.findChild<CAddSentItem*>()->isVisible();
            return int(Ui::IdOk);
        });
        Automation::unregisterClass(QStringLiteral("Excel.Application"));
        m_chosen = file(QStringLiteral("none.xlsx"));
        chooseFormat(1142);
        ExportSentItems(&owner, todaysItems());
        Automation::registerClass(QStringLiteral("Excel.Application"), Automation::CLSID_ExcelApplication,
                                  CLSCTX_LOCAL_SERVER, [](const Guid& iid, void** object) {
                                      return Automation::createExcelApplication()->QueryInterface(iid, object);
                                  });
        QCOMPARE(m_messages->texts(), QStringList{"Microsoft Excel must be installed to use this feature."});
        QCOMPARE(m_messages->shown.first().caption, QStringLiteral("Excel Error"));
        QCOMPARE(m_messages->shown.first().icon, Ui::Icon::Error);
        QVERIFY(!ownerEnabled);
        QVERIFY(waitShown);
        QVERIFY(owner.isEnabled());
        QVERIFY(!QFile::exists(m_chosen));
    }

    void unwritableFolder()
    {
        m_chosen = file(QStringLiteral("gone/report.txt"));
        chooseFormat(1093);
        QWidget owner;
        ExportSentItems(&owner, todaysItems());
        QCOMPARE(m_messages->texts(), QStringList{"Error in file."});
    }

    void mainWindowExportButton()
    {
        CCorvaneDlg main;
        ExportController controller(&main);
        main.show();
        byId<QPushButton>(&main, 1133)->click();
        QCOMPARE(m_messages->texts(), QStringList{"Phone numbers-Messages list is empty."});
        QCOMPARE(main.focusWidget(), byId(&main, 1001));

        main.recipients()->appendRecipients({{QStringLiteral("0044"), QStringLiteral("Hi")}});
        m_chosen = file(QStringLiteral("list"));
        m_type = 1;
        whenModal<COpen_Export_Log>([](COpen_Export_Log* d) { byId<QPushButton>(d, 1)->click(); });
        byId<QPushButton>(&main, 1133)->click();
        QCOMPARE(m_filters, QStringList{"Excel(97-2003) Files(*.xls);;Excel Files(*.xlsx)"});
        QCOMPARE(m_shell.files, QStringList{file(QStringLiteral("list.xlsx"))});
        QCOMPARE(head(m_shell.files.first(), 2), QByteArray("PK"));
        QVERIFY(main.isEnabled());
    }
};

QTEST_MAIN(TestExportCommands)
#include "test_exportcommands.moc"
