// The data commands of the main window as a user meets them: an exclusion list
// made from a file and put in use is skipped by the next send, the run's sent
// items show and can be cleared, and its message comes back as a template.
#include "GuiTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/core/RecipientListModel.h"
#include "deviceservice/ServiceFixture.h"
#include "platform/Shell.h"
#include "store/DataFiles.h"
#include "store/dialogs/CExclusion_Wizard.h"
#include "store/dialogs/CSent_Items.h"
#include "store/dialogs/CViewTemplates.h"
#include "store/dialogs/DataCommands.h"
#include "store/dialogs/ListModels.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

class TestDataCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;

    void click(int id) { byId<QPushButton>(m_dlg.get(), id)->click(); }
    QStringList outboxNumbers()
    {
        QStringList out;
        QFile f(m_service->root() + QStringLiteral("/runtime/outbox-5A5A.jsonl"));
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : f.readAll().split('\n')) {
                if (!line.isEmpty())
                    out.append(QJsonDocument::fromJson(line).object().value(QStringLiteral("number")).toString());
            }
        }
        return out;
    }

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceFixture>();
        QDir().mkpath(m_service->root() + QStringLiteral("/app"));
        resetSharedState();
        g_nAdviceGiven = 1;
        setProcessListProvider([] { return QStringList{QStringLiteral("DesktopMgr.exe")}; });
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        new DataCommands(m_dlg.get());
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        QVERIFY(m_controller->waitForWorkers(10000));
        g_nHandsetWarningShown = 1;
    }

    void cleanup()
    {
        m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_messages.reset();
        m_service.reset();
        setProcessListProvider({});
        Ui::setFileDialogHook({});
    }

    void exclusionListSentItemsAndTemplates()
    {
        const QString numbersFile = m_service->root() + QStringLiteral("/staff.txt");
        QFile f(numbersFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("333\r\n444\r\n");
        f.close();
        Ui::setFileDialogHook([numbersFile](Ui::FileDialogKind, QWidget*, const QString&, const QString&,
                                            const QString&) { return numbersFile; });

        // Exclusion List Wizard: a new list from the file, then put in use.
        bool wizardDone = false;
        whenModal<CExclusion_Wizard>([&](CExclusion_Wizard* w) {
            QTRY_VERIFY(w->isOpened());
            byId<QPushButton>(w, 1133)->click();
            byId<QLineEdit>(w, 1174)->setText(QStringLiteral("Staff"));
            byId<QPushButton>(w, 1101)->click();
            byId<QPushButton>(w, 1115)->click();
            byId<QPushButton>(w, 1192)->click();
            QTRY_COMPARE(w->numbers()->texts(), (QStringList{"333", "444"}));
            m_messages->answer(Ui::IdYes);
            byId<QPushButton>(w, 1178)->click();
            QTRY_COMPARE(w->page(), CExclusion_Wizard::Page::List);
            byId<QPushButton>(w, 1188)->click();
            m_messages->answer(Ui::IdYes);
            byId<QPushButton>(w, 1184)->click();
            byId<QPushButton>(w, 1114)->click();
            wizardDone = true;
        });
        click(1185);
        QVERIFY(wizardDone);
        QCOMPARE(m_messages->texts(), QStringList(2, QStringLiteral("Are you sure you want to continue?")));

        // Send to 111 and 333 with the rules on: 333 is skipped.
        m_service->writeConfig("[h]\nPIN=0x5A5A\nAttached=true\nModuleInstalled=true\n");
        QVERIFY(m_service->start());
        g_bDeviceSelected = true;
        g_strDeviceName.set(QStringLiteral("Emulated handset"));
        for (int id : {1169, 1013, 1106})
            byId<QCheckBox>(m_dlg.get(), id)->setChecked(true);
        const QString message = QStringLiteral("School opens at 9");
        m_dlg->recipients()->appendRecipients({{QStringLiteral("111"), message}, {QStringLiteral("333"), message}});
        m_dlg->composer()->setText(message);
        m_dlg->m_strAppliedMessage = message;
        QSignalSpy finished(m_controller, &DeviceController::sendFinished);
        click(1000);
        QVERIFY(finished.wait(30000));
        QTRY_VERIFY(m_dlg->isEnabled());
        QCOMPARE(outboxNumbers(), QStringList{"111"});

        // Show Sent Item: the run's one message, cleared on the way out.
        bool sentDone = false;
        whenModal<CSent_Items>([&](CSent_Items* s) {
            QTRY_VERIFY(s->isLoaded() && !s->isBusy());
            QCOMPARE(s->model()->count(), 1);
            QCOMPARE(s->model()->item(0).number, QStringLiteral("111"));
            s->list()->selectOnly(0);
            byId<QPushButton>(s, 1028)->click();
            byId<QPushButton>(s, 2)->click();
            sentDone = true;
        });
        click(1024);
        QVERIFY(sentDone);
        QCOMPARE(DataFiles::LoadSentItems().size(), 0);

        // View Templates: the sent message goes back into an empty composer.
        m_dlg->composer()->clear();
        whenModal<CViewTemplates>([&](CViewTemplates* t) {
            QTRY_VERIFY(t->isLoaded() && !t->isBusy());
            QCOMPARE(t->model()->texts(), QStringList{message});
            byId<QPushButton>(t, 1)->click();
        });
        click(1107);
        QTRY_COMPARE(m_dlg->composer()->text(), message);
    }
};

QTEST_MAIN(TestDataCommands)
#include "test_datacommands.moc"
