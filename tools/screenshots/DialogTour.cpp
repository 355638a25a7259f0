#include "DialogTour.h"

#include "app/AboutDialogs.h"
#include "app/controls/SupportLinks.h"
#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/ListEditDialogs.h"
#include "app/controls/Ui.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "device/dialogs/CVistaMessage.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/CGatewayDialog.h"
#include "export/dialogs/CExport_Option.h"
#include "export/dialogs/COpen_Export_Log.h"
#include "import/WorkbookTables.h"
#include "import/dialogs/CDynamic_Excel_Msg.h"
#include "import/dialogs/CExcel_Info_Dlg.h"
#include "import/dialogs/CExl_Msg_EG.h"
#include "import/dialogs/CLoad_File_Msg.h"
#include "import/dialogs/CLoad_Xl_SMS_Modeless.h"
#include "platform/Shell.h"
#include "app/controls/WaitDialogs.h"
#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"
#include "sending/dialogs/CSend_Msg_Info.h"
#include "store/DataFiles.h"
#include "store/dialogs/CExclusion_Wizard.h"
#include "store/dialogs/CSent_Items.h"
#include "store/dialogs/CViewTemplates.h"
#include "store/dialogs/ListModels.h"

#include "import/FakeWorkbook.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

const DialogVisitor* g_visit = nullptr;

// Shown and laid out, handed to the visitor, hidden again.
void save(QWidget* w, const QString& name)
{
    w->show();
    QApplication::processEvents();
    QApplication::processEvents();
    (*g_visit)(w, name);
    w->hide();
}

template <typename Pred> void waitUntil(Pred pred)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void fillDataFiles()
{
    DataFiles::EnsureDataFiles();
    DataFiles::RewriteTemplates({QStringLiteral("Dear parents, school is closed tomorrow."),
                                 QStringLiteral("Meeting moved to 3 pm.\r\nPlease confirm."),
                                 QStringLiteral("Happy holidays from all of us!")});
    DataFiles::RewriteSentItems(
        {{QStringLiteral("00441234567"), QStringLiteral("Dear parents,\r\nschool is closed tomorrow."),
          QStringLiteral("07/03/2012")},
         {QStringLiteral("0049301234"), QStringLiteral("Meeting moved to 3 pm."), QStringLiteral("08/03/2012")},
         {QStringLiteral("0033612345"), QStringLiteral("Happy holidays!"), QStringLiteral("24/12/2012")}});
    DataFiles::RewriteExclusionFile(
        DataFiles::exclusionIndexPath(),
        {QStringLiteral("Administration"), QStringLiteral("Marketing"), QStringLiteral("R & D")});
    DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), {QStringLiteral("Administration")});
    DataFiles::RewriteExclusionFile(DataFiles::exclusionListPath(QStringLiteral("Marketing")),
                                    {QStringLiteral("00441234567"), QStringLiteral("0049301234")});
}
// A message box runs its own loop: grabbed once it is up, then closed.
void saveMessage(const std::function<void()>& show, const QString& name)
{
    QTimer::singleShot(300, [=] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            (*g_visit)(box, name);
            box->close();
        }
    });
    show();
}

// Nothing can be opened: the links show their address instead.
class NoBrowser : public DesktopShell
{
public:
    bool openUrl(const QString&) override { return false; }
    bool openMail(const QString&, const QString&) override { return false; }
};

// The list after a run that stopped part-way, the question of the next "Send
// Sms", and the notice after a run that did not end.
void saveResumeScreens()
{
    CCorvaneDlg main;
    const QString text = QStringLiteral("Dear parents, school is closed tomorrow.");
    const QList<RowStatus> statuses = {
        RowStatus::Sent,  RowStatus::Excluded, RowStatus::Sent,           RowStatus::SkippedDuplicate,
        RowStatus::Blank, RowStatus::Failed,   RowStatus::NotSentStopped, RowStatus::NotSentStopped};
    const QStringList numbers = {QStringLiteral("00441234567"), QStringLiteral("0049301234"),
                                 QStringLiteral("0033612345"),  QStringLiteral("00441234567"),
                                 QStringLiteral("0039061234"),  QStringLiteral("0034911234"),
                                 QStringLiteral("0031201234"),  QStringLiteral("0032212345")};
    for (int i = 0; i < numbers.size(); ++i) {
        main.recipients()->appendRecipients({{numbers.at(i), statuses.at(i) == RowStatus::Blank ? QString() : text}});
        main.recipients()->setStatus({i}, statuses.at(i));
    }
    main.UpdateTotalNumbers();
    main.showStatusColumn();
    main.recipientList()->selectOnly(5);
    save(&main, QStringLiteral("main-window-stopped-run"));
    main.show();
    saveMessage(
        [&] {
            Ui::messageBox(&main,
                           QStringLiteral("3 of 7 messages in the list were already sent. Send only the 4 messages "
                                          "not sent yet?"),
                           QStringLiteral("Confirm"), Ui::Buttons::YesNoCancel, Ui::Icon::Question);
        },
        QStringLiteral("resume-question"));
    saveMessage([&] { Ui::notice(&main, DeviceController::interruptedRunNotice(499, 1)); },
                QStringLiteral("interrupted-run"));
}

} // namespace

void tourDialogs(const QString& scratch, const DialogVisitor& visit)
{
    g_visit = &visit;

    CCorvaneDlg main;
    main.recipients()->appendRecipients(
        {{QStringLiteral("00441234567"), QStringLiteral("Dear parents, school is closed tomorrow.")},
         {QStringLiteral("0049301234"), QStringLiteral("Dear parents, school is closed tomorrow.")},
         {QStringLiteral("0033612345"), QString()}});
    main.UpdateTotalNumbers();
    save(&main, QStringLiteral("main-window"));
    main.show();

    CLong_SMS_Dlg longSms(&main, 160);
    save(&longSms, QStringLiteral("long-sms"));
    CFill_Msg_In_List fill(&main, main.recipients(), main.recipientList(), QStringLiteral("Hello"));
    save(&fill, QStringLiteral("apply-message"));
    CUpdate_Num_Message update(&main, 0, QStringLiteral("00441234567"),
                               QStringLiteral("Dear parents,\r\nschool is closed."), QStringLiteral("MSG"));
    save(&update, QStringLiteral("update"));
    main.recipientList()->selectAll();
    CUpdate_Selected_Item_SMS selected(&main, main.recipients(), main.recipientList());
    save(&selected, QStringLiteral("update-selected"));
    AboutDialog about(&main);
    save(&about, QStringLiteral("about"));
    HelpSupportDialog help(&main);
    save(&help, QStringLiteral("help"));
    CVistaMessage vista(&main);
    save(&vista, QStringLiteral("uac-advice"));
    CAddSentItem wait(&main);
    save(&wait, QStringLiteral("wait"));
    CModeless progress(&main);
    progress.setupRun(120, QStringLiteral("00441234567"));
    progress.showRow(41, 120, QStringLiteral("0049301234"));
    progress.setPauseLineVisible(true);
    progress.setPauseText(QStringLiteral("Pausing the process for 1 Minute 30 Second."));
    save(&progress, QStringLiteral("progress"));
    CModeless lanes(&main);
    lanes.setupRun(120, QStringLiteral("00441234567"));
    lanes.showRow(41, 120, QStringLiteral("0049301234"));
    lanes.setupLanes({QStringLiteral("COM7"), QStringLiteral("COM8"), QStringLiteral("COM9")});
    lanes.setLaneText(0, QStringLiteral("Sending to 0049301234 (14 sent)"));
    lanes.setLaneText(1, QStringLiteral("Sent to 0033612345 (14 sent)"));
    lanes.setLaneText(2, QStringLiteral("Pausing the process for 1 Minute 30 Second. (13 sent)"));
    save(&lanes, QStringLiteral("progress-modems"));
    CModeless gatewayLanes(&main);
    gatewayLanes.setupRun(1000, QStringLiteral("00441234567"));
    gatewayLanes.showRow(640, 1000, QStringLiteral("0049301234"));
    QStringList gatewayNames;
    for (int i = 1; i <= 10; ++i)
        gatewayNames.append(QStringLiteral("gateway %1").arg(i));
    gatewayLanes.setupLanes(gatewayNames);
    for (int i = 0; i < 10; ++i)
        gatewayLanes.setLaneText(i, QStringLiteral("Sent to 00447700%1 (64 sent)").arg(900630 + i));
    save(&gatewayLanes, QStringLiteral("progress-gateway"));
    GatewaySettings gatewaySettings;
    gatewaySettings.url = QStringLiteral("http://127.0.0.1:13013/cgi-bin/sendsms");
    gatewaySettings.user = QStringLiteral("school");
    gatewaySettings.password = QStringLiteral("secret");
    gatewaySettings.sender = QStringLiteral("XYZ School");
    gatewaySettings.ratePerSecond = 20;
    CConnectionwizard steps(&main);
    save(&steps, QStringLiteral("connection-steps"));
    CGatewayDialog gateway(&main, gatewaySettings);
    save(&gateway, QStringLiteral("gateway"));
    CDeviceIni deviceIni(&main);
    save(&deviceIni, QStringLiteral("device-init"));
    CSend_Msg_Info info(&main);
    save(&info, QStringLiteral("composer-changed"));
    CFirst advice(&main);
    save(&advice, QStringLiteral("advice"));

    CLoad_File_Msg clearOrAppend(&main);
    save(&clearOrAppend, QStringLiteral("clear-or-append"));
    FakeEngine engine;
    engine.book(QStringLiteral("parents.xlsx"),
                {FakeSheet(QStringLiteral("Class VII")), FakeSheet(QStringLiteral("Class VIII"))
                                                             .text("A1", QStringLiteral("Mobile"))
                                                             .text("C1", QStringLiteral("Parent"))
                                                             .text("D1", QStringLiteral("Student"))
                                                             .number("A2", 447700900123)});
    g_arrSheetNames = {QStringLiteral("Class VII"), QStringLiteral("Class VIII")};
    CExcel_Info_Dlg sheets(&main, QStringLiteral("parents.xlsx"));
    sheets.show();
    sheets.findChild<QListWidget*>(QStringLiteral("1072"))->setCurrentRow(1);
    while (sheets.isReading())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    auto* columns = sheets.findChild<QListWidget*>(QStringLiteral("1005"));
    columns->item(0)->setCheckState(Qt::Checked);
    save(&sheets, QStringLiteral("sheet-and-columns"));

    CDynamic_Excel_Msg::Host host;
    host.newRowStep = [] { return ContactImport::RowStep(); };
    host.insertRows = [](int, const QList<RecipientListModel::Row>&) {};
    CDynamic_Excel_Msg wizard(&main, host);
    save(&wizard, QStringLiteral("wizard-1"));
    wizard.show();
    wizard.findChild<QRadioButton*>(QStringLiteral("1152"))->setChecked(true);
    wizard.findChild<QPushButton*>(QStringLiteral("1"))->click();
    const QString book = QDir(scratch).filePath(QStringLiteral("results.xlsx"));
    QFile(book).open(QIODevice::WriteOnly);
    engine.book(book, {FakeSheet(QStringLiteral("Results"))
                           .text("A1", QStringLiteral("Parent's Mobile"))
                           .text("B1", QStringLiteral("Parent"))
                           .text("C1", QStringLiteral("Student"))
                           .text("D1", QStringLiteral("Class"))
                           .text("F1", QStringLiteral("Total Marks"))
                           .number("A2", 447700900123)});
    wizard.findChild<QLineEdit*>(QStringLiteral("1154"))->setText(book);
    save(&wizard, QStringLiteral("wizard-2"));
    wizard.show();
    wizard.findChild<QPushButton*>(QStringLiteral("1"))->click();
    while (wizard.isWorking())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    auto* templ = wizard.findChild<QPlainTextEdit*>(QStringLiteral("1157"));
    templ->setPlainText(QStringLiteral("Dear <COL-2>, <COL-3> of class <COL-4> scored "));
    wizard.findChild<QTableWidget*>(QStringLiteral("1156"))->selectRow(4);
    save(&wizard, QStringLiteral("wizard-3"));
    CLoad_Xl_SMS_Modeless reading(&main);
    reading.start(50000);
    reading.showRow(
        1234, 50000, QStringLiteral("00447700900123"),
        QStringLiteral("Dear Mr. Rajesh Sharma, This is to inform you that Ankit Sharma, studying in VII C "
                       "has Passed by obtaining 564 marks out of 600 in monthly tests. Regards, XYZ School"));
    save(&reading, QStringLiteral("wizard-reading"));
    CExl_Msg_EG example(&main);
    save(&example, QStringLiteral("wizard-example"));

    fillDataFiles();
    {
        CViewTemplates templates(&main, main.composer());
        templates.show();
        waitUntil([&] { return templates.isLoaded() && !templates.isBusy(); });
        save(&templates, QStringLiteral("templates"));
        CUpdateTemp update(&main, templates.model(), templates.model()->text(1), templates.model()->text(1));
        save(&update, QStringLiteral("update-template"));
    }
    {
        CSent_Items sent(&main);
        sent.show();
        waitUntil([&] { return sent.isLoaded() && !sent.isBusy(); });
        sent.list()->selectOnly(0);
        save(&sent, QStringLiteral("sent-items"));
    }
    {
        CExclusion_Wizard exclusion(&main);
        exclusion.show();
        waitUntil([&] { return exclusion.isOpened(); });
        save(&exclusion, QStringLiteral("exclusion-lists"));
        exclusion.show();
        exclusion.OnAddNew();
        exclusion.findChild<QLineEdit*>(QStringLiteral("1174"))->setText(QStringLiteral("Customer Care"));
        save(&exclusion, QStringLiteral("exclusion-name"));
        exclusion.show();
        exclusion.OnNext();
        exclusion.numbers()->insertTexts(0, {QStringLiteral("00441234567"), QStringLiteral("0049301234")});
        save(&exclusion, QStringLiteral("exclusion-numbers"));
        CUpdate_Ex_Num number(&main, QStringLiteral("00441234567"), 0, exclusion.numbers());
        save(&number, QStringLiteral("update-exclusion-number"));
    }
    CExport_Option exportOptions(&main, {}, QDate(2012, 3, 31));
    save(&exportOptions, QStringLiteral("export-options"));
    COpen_Export_Log exported(&main, QStringLiteral("Sent Items has been exported successfully."));
    save(&exported, QStringLiteral("export-done"));
    saveResumeScreens();
    NoBrowser noBrowser;
    Shell::setInstance(&noBrowser);
    saveMessage([&] { Support::openPage(&main, Support::website()); }, QStringLiteral("link-not-opened"));
    Shell::setInstance(nullptr);
    QFile::remove(DataFiles::templatesPath());
    QDir().mkpath(DataFiles::templatesPath()); // a folder where a data file belongs
    saveMessage(
        [&] {
            CCorvaneDlg second;
            second.initialise();
        },
        QStringLiteral("data-files-notice"));
    g_visit = nullptr;
}
