#include "GuiTestSupport.h"

#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/core/CommandHost.h"
#include "app/core/RecipientListModel.h"
#include "export/dialogs/ExportController.h"
#include "import/dialogs/CLoad_File_Msg.h"
#include "import/dialogs/ImportCommands.h"
#include "store/dialogs/DataCommands.h"

#include <QFile>
#include <QVBoxLayout>

#include <map>

// A window that hosts the commands without being the main window: it records
// what the commands ask of it, and its options are set by the test.
class FakeWindow : public QWidget, public CommandHost
{
public:
    FakeWindow() : m_model(new RecipientListModel(this)), m_composer(new CMy_Sel_All_Edit(this))
    {
        (new QVBoxLayout(this))->addWidget(m_composer);
        resize(320, 200);
    }

    QWidget* commandWindow() override { return this; }
    void provideCommand(Command command, QObject* owner, std::function<void()> run) override
    {
        commands[command] = std::move(run);
        owners[command] = owner;
    }
    RecipientListModel* recipients() const override { return m_model; }
    CMy_Sel_All_Edit* composer() const override { return m_composer; }
    QString composerText() const override { return m_composer->text(); }
    QString takeComposedMessage() override
    {
        calls.append(QStringLiteral("takeComposedMessage"));
        return composerText();
    }
    void setRowsBeforeImport(int rows) override { rowsBeforeImport = rows; }
    bool skipDuplicates() const override { return skip; }
    bool useExclusionRules() const override { return exclude; }
    const NumberIndex& exclusionIndex() const override { return exclusions; }
    void LoadExclusionNumbers() override { calls.append(QStringLiteral("LoadExclusionNumbers")); }
    void UpdateTotalNumbers() override { ++counterRefreshes; }
    void focusNumber() override { calls.append(QStringLiteral("focusNumber")); }
    void bringToFront() override { calls.append(QStringLiteral("bringToFront")); }
    void setWindowEnabled(bool enabled) override
    {
        calls.append(enabled ? QStringLiteral("enabled") : QStringLiteral("disabled"));
        setEnabled(enabled);
    }
    void setAddEnabled(bool enabled) override { calls.append(QStringLiteral("add %1").arg(enabled)); }
    void setUpdateEnabled(bool enabled) override { calls.append(QStringLiteral("update %1").arg(enabled)); }

    void run(Command command)
    {
        QVERIFY(commands.count(command));
        commands[command]();
    }

    std::map<Command, std::function<void()>> commands;
    std::map<Command, QObject*> owners;
    QStringList calls;
    int counterRefreshes = 0;
    int rowsBeforeImport = -1;
    bool skip = false;
    bool exclude = false;
    NumberIndex exclusions;

private:
    RecipientListModel* m_model;
    CMy_Sel_All_Edit* m_composer;
};

// The commands of the imports, the exports and the data dialogs, hosted by a
// window that is not the main window: what they read of it and what they ask
// of it is all they get.
class TestCommandHost : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<FakeWindow> m_window;

    QString file(const QString& name, const QByteArray& bytes) { return m_folders->appFile(name, bytes); }
    QStringList numbers() const
    {
        QStringList out;
        for (int i = 0; i < m_window->recipients()->count(); ++i)
            out.append(m_window->recipients()->number(i));
        return out;
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        m_window = std::make_unique<FakeWindow>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup()
    {
        Ui::setFileDialogHook({});
        m_window.reset();
        m_messages.reset();
        m_folders.reset();
    }

    void everyCommandTakesItsButton()
    {
        auto* imports = new ImportCommands(m_window.get());
        auto* data = new DataCommands(m_window.get());
        auto* exports = new ExportController(m_window.get());
        using C = CommandHost::Command;
        QCOMPARE(m_window->owners[C::LoadContacts], imports);
        QCOMPARE(m_window->owners[C::DynamicMessages], imports);
        QCOMPARE(m_window->owners[C::ViewTemplates], data);
        QCOMPARE(m_window->owners[C::ShowSentItems], data);
        QCOMPARE(m_window->owners[C::ExclusionWizard], data);
        QCOMPARE(m_window->owners[C::Export], exports);
        // They are the window's children: they end with it.
        QCOMPARE(imports->parent(), m_window.get());
        QCOMPARE(data->parent(), m_window.get());
        QCOMPARE(exports->parent(), m_window.get());
    }

    // The import reads the host's options and list, fills the host's list, and
    // hands the window back with its counters refreshed.
    void importFillsTheHostsList()
    {
        auto* imports = new ImportCommands(m_window.get());
        m_window->composer()->setPlainText(QStringLiteral("Hi"));
        m_window->recipients()->insertRecipient(0, QStringLiteral("222"), QStringLiteral("old"));
        m_window->skip = true;
        m_window->exclude = true;
        m_window->exclusions.add(QStringLiteral("333"));
        const QString path = file(QStringLiteral("c.txt"), "111,222,333,444");
        Ui::setFileDialogHook([path](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString&) {
            return path;
        });
        whenModal<CLoad_File_Msg>([](CLoad_File_Msg* d) { d->done(CLoad_File_Msg::Append); });
        m_window->run(CommandHost::Command::LoadContacts);
        QTRY_VERIFY_WITH_TIMEOUT(!imports->isImporting(), 20000);
        QTRY_VERIFY(m_window->isEnabled());

        QVERIFY2(m_messages->shown.isEmpty(), qPrintable(m_messages->last()));
        // The duplicate and the excluded number stay out; the new ones go on top.
        QCOMPARE(numbers(), (QStringList{"111", "444", "222"}));
        QCOMPARE(m_window->recipients()->message(0), QStringLiteral("Hi"));
        QCOMPARE(m_window->rowsBeforeImport, 1);
        QVERIFY(m_window->calls.contains(QStringLiteral("takeComposedMessage")));
        const qsizetype off = m_window->calls.indexOf(QStringLiteral("disabled"));
        QVERIFY2(off >= 0 && m_window->calls.indexOf(QStringLiteral("enabled"), off) > off,
                 qPrintable(m_window->calls.join(QLatin1Char(','))));
        QVERIFY(m_window->counterRefreshes >= 2);
    }

    // A Yes to the question empties the host's list and turns its Add/Update
    // buttons as a fresh list has them.
    void clearingImportResetsTheHostsButtons()
    {
        auto* imports = new ImportCommands(m_window.get());
        m_window->recipients()->insertRecipient(0, QStringLiteral("999"), QStringLiteral("old"));
        const QString path = file(QStringLiteral("c.txt"), "5");
        Ui::setFileDialogHook([path](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString&) {
            return path;
        });
        whenModal<CLoad_File_Msg>([](CLoad_File_Msg* d) { d->done(CLoad_File_Msg::ClearList); });
        m_window->run(CommandHost::Command::LoadContacts);
        QTRY_VERIFY_WITH_TIMEOUT(!imports->isImporting(), 20000);
        QCOMPARE(numbers(), QStringList{"5"});
        QCOMPARE(m_window->rowsBeforeImport, 0);
        QVERIFY(m_window->calls.contains(QStringLiteral("add 1")));
        QVERIFY(m_window->calls.contains(QStringLiteral("update 0")));
    }

    void exportOfAnEmptyListSaysSoOverTheHost()
    {
        new ExportController(m_window.get());
        m_window->run(CommandHost::Command::Export);
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->last(), QStringLiteral("Phone numbers-Messages list is empty."));
        QCOMPARE(m_window->calls, QStringList{"focusNumber"});
    }
};

QTEST_MAIN(TestCommandHost)
#include "test_commandhost.moc"
