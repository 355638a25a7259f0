#include "DeviceController.h"

#include "CCorvaneDlg.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "device/dialogs/CFirst.h"
#include "device/gateway/GatewaySettings.h"
#include "device/link/USBClient.h"
#include "device/modem/GsmModem.h"
#include "device/modem/ModemChannel.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnectionwizard.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/TextCodec.h"
#include "platform/deviceservice/DeviceServiceClient.h"
#include "platform/serial/SerialPortList.h"
#include "sending/ParallelSendRun.h"
#include "sending/SendJournal.h"
#include "sending/GatewaySendStep.h"
#include "app/controls/WaitDialogs.h"
#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"
#include "sending/dialogs/CSend_Msg_Info.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace {

const QString kNoDevice = QStringLiteral("No Mobile Phone Device is selected.");
// How long a service that is starting may take to answer before we start our own.
constexpr int kServiceAnswerWaitMs = 3000;
const QString kRunDesktopManager =
    QStringLiteral("Please run BlackBerry\u2122 Desktop Manager\u2122 to use Ulmex Veva SMS Software successfully.");

// The installed device service, as the registry names it; empty when none is installed.
QString installedDesktopManager()
{
    const Registry registry;
    const QString imagePath = registry.readString(QString::fromLatin1(Registry::kManager), QStringLiteral("ImagePath"));
    if (!imagePath.isEmpty())
        return imagePath;
    QString icon = registry.readString(QString::fromLatin1(Registry::kUninstall), QStringLiteral("DisplayIcon"));
    icon.replace(QStringLiteral("blackberry.ico"), QStringLiteral("Rim.Desktop.exe"));
    return icon;
}

void raiseAdviceGiven()
{
    ++g_nAdviceGiven;
}

// The main window's answers for a run through several modems; the lane lines go to the progress window.
class ParallelModemHost final : public ForwardingHost<ParallelRunHost>
{
public:
    // With modems left out, the success message waits for the one notice that names them.
    ParallelModemHost(DeviceController& c, ModemLanes& modems, bool modemsLeftOut)
        : ForwardingHost(c), m_c(c), m_modems(modems), m_leftOut(modemsLeftOut)
    {
    }
    bool succeeded = false;

    QList<RecipientRow> recipients() override
    {
        const QList<RecipientRow> rows = m_c.recipients();
        m_modems.setRows(rows);
        return rows;
    }
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        m_c.setRowStatus(rows, status);
        if (status == RowStatus::Sent)
            for (int row : rows)
                m_modems.rowSent(row);
    }
    void showSuccess() override
    {
        succeeded = true;
        if (!m_leftOut)
            m_c.showSuccess();
    }
    void setupLanes(const QStringList& names) override { m_c.setupLanes(names); }
    void showLane(int lane, const QString& text) override { m_c.showLane(lane, text); }
    void laneLost(int lane, const QString& text) override { m_c.laneLost(lane, text); }
    void setRowLane(int row, const QString& lane) override { m_c.setRowLane(row, lane); }
    void laneWriting(int lane, int row) override { m_modems.writing(lane, row); }

private:
    DeviceController& m_c;
    ModemLanes& m_modems;
    bool m_leftOut;
};

QString portName(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

} // namespace

DeviceController::DeviceController(CCorvaneDlg* main) : QObject(main), m_main(main), m_clock(&SendClock::real())
{
    m_timer1111 = new QTimer(this);
    m_timer1111->setInterval(50);
    connect(m_timer1111, &QTimer::timeout, this, [this] {
        if (m_progress)
            m_progress->stepActivity();
    });
    m_timer2222 = new QTimer(this);
    m_timer2222->setInterval(1000);
    connect(m_timer2222, &QTimer::timeout, this, &DeviceController::onPauseTick);

    // A GSM modem sends by itself: the watch of the device service rests while one is selected.
    main->runDeviceProbe = [this] {
        if (!modemInUse())
            probeAsync();
    };
    main->runPinProbe = [this] {
        if (!modemInUse())
            pinProbeAsync();
    };
    main->onFirstPaint = [this] {
        reportInterruptedRun();
        startupCheck();
    };
    main->onStatusLineClicked = [this] { statusLineClicked(); };
    main->onConnectionWizard = [this] { connectionWizard(); };
    main->onSendSms = [this] { sendSms(); };
    // Rows marked from an earlier run's journal make a finished list worth a question again.
    connect(main->recipients(), &RecipientListModel::recoveredRowsMarked, this, [this] { m_recoveredMarks = true; });
}

DeviceController::~DeviceController()
{
    m_main->runDeviceProbe = nullptr;
    m_main->runPinProbe = nullptr;
    m_main->onFirstPaint = nullptr;
    m_main->onStatusLineClicked = nullptr;
    m_main->onConnectionWizard = nullptr;
    m_main->onSendSms = nullptr;
    g_bStopRequested = true;
    m_closing = true;
    m_gate.release();
    // A cancel that falls between two of the modem's waits is dropped: repeat it until the worker is gone.
    QElapsedTimer clock;
    clock.start();
    while (m_modemRun && m_sendThread && clock.elapsed() < 30000) {
        m_modemRun->cancel();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    waitForWorkers(30000);
    stopListeningForReports();
    // Neither window is a child of the main window (a disabled parent would disable them).
    delete m_progress;
    delete m_deviceInit;
}

template <typename F> void DeviceController::onGui(F&& work)
{
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(work), Qt::BlockingQueuedConnection);
}

bool DeviceController::waitForWorkers(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while ((m_probeThread || m_pinThread || m_sendThread || m_recallThread) && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !m_probeThread && !m_pinThread && !m_sendThread && !m_recallThread;
}

QString DeviceController::handsetNotice()
{
    return QStringLiteral(
        "Your Mobile handset security feature may display a warning message on your mobile phone screen and prompt "
        "for device access permission for executable file UlmexVevaSMS.cod. This executable file is  used to send "
        "Text SMS.\n\n You should allow the specified file to access the mobile device resources to continue.");
}

QString DeviceController::interruptedRunNotice(int sent, int uncertain)
{
    QString text =
        QStringLiteral("The last send run did not end: the program or the computer stopped while it ran.\n\n");
    text += sent == 1 ? QStringLiteral("1 message was sent. ") : QStringLiteral("%1 messages were sent. ").arg(sent);
    if (uncertain == 0)
        text += QStringLiteral("No message is uncertain.");
    else if (uncertain == 1)
        text += QStringLiteral("1 message is uncertain: the run stopped while sending it, so the handset may have "
                               "sent it.");
    else
        text += QStringLiteral("%1 messages are uncertain: the run stopped while sending them, so the handset may "
                               "have sent them.")
                    .arg(uncertain);
    return text + QStringLiteral("\n\nLoad or type the same list again: its rows will be marked \"Sent\" or "
                                 "\"Uncertain\", and \"Send Sms\" will offer to send only the others.");
}

// What earlier runs left unresolved marks rows loaded or typed later: sent,
// perhaps sent, or a long message cut short.
void DeviceController::recoverOutcomes(bool notify)
{
    // One read serves both the marks and the notice.
    const std::optional<SendJournal::Contents> journal = SendJournal::read();
    QHash<QString, RecoveredOutcome> outcomes;
    int sent = 0, uncertain = 0;
    if (journal) {
        const QList<SendJournal::Outcome> unresolved = journal->unresolved();
        // Weakest first, so the same message to the same number both sent and uncertain counts as sent.
        for (RowStatus status : {RowStatus::Failed, RowStatus::Uncertain, RowStatus::Sent})
            for (const SendJournal::Outcome& o : unresolved)
                if (o.status == status)
                    outcomes.insert(sendKey(o.entry.number, o.entry.fingerprint), {status, o.entry.time.toLocalTime()});
        // What the network reported outlives the run, completed or not.
        const QHash<QString, Delivery> deliveries = journal->deliveries();
        for (auto it = deliveries.cbegin(); it != deliveries.cend(); ++it)
            if (it->status != RowStatus::Sent)
                outcomes.insert(it.key(), {it->status, it->time.toLocalTime(), it->reason});
        for (const SendJournal::Outcome& o : journal->outcomes) {
            sent += o.status == RowStatus::Sent;
            uncertain += o.status == RowStatus::Uncertain;
        }
    }
    m_main->recipients()->setRecoveredOutcomes(outcomes);
    // The notice is for a run that did not end.
    if (notify && journal && !journal->end && sent + uncertain > 0)
        Ui::notice(m_main, interruptedRunNotice(sent, uncertain));
}

void DeviceController::reportInterruptedRun()
{
    recoverOutcomes(true);
}

// --- Probes --------------------------------------------------------------------

void DeviceController::probeAsync()
{
    if (m_probeThread || m_sendThread || m_inSendCommand)
        return;
    m_probeThread = QThread::create([this] {
        USBClientHolder client(*this);
        client->RunDeviceLink();
        const bool found = client->foundHandset();
        onGui([this, found] {
            if (!found && m_deviceInit)
                m_deviceInit->hide();
        });
    });
    connect(m_probeThread, &QThread::finished, this, [this] {
        m_probeThread->deleteLater();
        m_probeThread = nullptr;
        emit probeFinished();
    });
    m_probeThread->start();
}

void DeviceController::probeAndWait()
{
    // A probe already on its way may have read the flags before they changed:
    // let it finish, then run ours. User input waits; painting goes on.
    auto waitForProbe = [this] {
        while (m_probeThread) {
            QEventLoop loop;
            connect(this, &DeviceController::probeFinished, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
    };
    waitForProbe();
    const bool inCommand = std::exchange(m_inSendCommand, false);
    probeAsync();
    m_inSendCommand = inCommand;
    waitForProbe();
}

void DeviceController::pinProbeAsync()
{
    if (m_pinThread || (m_sendThread && !m_adviceHoldsWorker))
        return;
    m_pinThread = QThread::create([this] { ProbeHandsetPin(*this); });
    connect(m_pinThread, &QThread::finished, this, [this] {
        m_pinThread->deleteLater();
        m_pinThread = nullptr;
    });
    m_pinThread->start();
}

// --- Device service watch -------------------------------------------------------

int DeviceController::openAdvice()
{
    CFirst advice(m_main);
    return advice.exec();
}

bool DeviceController::modemInUse()
{
    return g_bDeviceSelected && (ModemSelection::current().has_value() || GatewaySelection::current().has_value());
}

QString DeviceController::noDeviceServiceNotice()
{
    return QStringLiteral(
        "No device service for a mobile handset is installed on this computer.\n\nTo send through a handset, install "
        "its desktop software and connect the handset with its USB cable. To send through a GSM modem (or a phone in "
        "modem mode) on a serial or USB port, open the Mobile Phone Connection Wizard, select the modem's port and "
        "tick \"Send SMS through this GSM modem\".");
}

void DeviceController::startupCheck()
{
    const QList<ModemSelection::Remembered> remembered = ModemSelection::rememberedAll();
    if (remembered.isEmpty()) {
        startupCheckWithoutModem();
        return;
    }
    // The ports are asked on a worker: a modem that is gone may take the whole time-out to say nothing.
    const int timeoutMs = ModemTiming::current().commandTimeoutMs;
    m_recallThread = QThread::create([this, remembered, timeoutMs] {
        QList<SelectedModem> answering;
        for (const ModemSelection::Remembered& r : remembered) {
            const QString path = SerialPortList::devicePathFor(r.modem.port);
            const bool samePort = !path.isEmpty() && (r.devicePath.isEmpty() || path == r.devicePath);
            if (samePort && GsmModem::acceptsPduMode(r.modem.port, timeoutMs))
                answering.append(r.modem);
        }
        QMetaObject::invokeMethod(
            this, [this, answering] { rememberedModemsAnswered(answering); }, Qt::QueuedConnection);
    });
    connect(m_recallThread, &QThread::finished, this, [this] {
        m_recallThread->deleteLater();
        m_recallThread = nullptr;
    });
    m_recallThread->start();
}

void DeviceController::rememberedModemsAnswered(const QList<SelectedModem>& modems)
{
    // The user chose a device in the meantime: that choice stands.
    if (modems.isEmpty() || g_bDeviceSelected) {
        if (!g_bDeviceSelected)
            startupCheckWithoutModem();
        return;
    }
    ModemSelection::selectAll(modems);
    g_bDeviceSelected = true;
    g_strDeviceName.set(ModemSelection::deviceLine(modems));
    m_main->setDeviceLine(g_strDeviceName.get());
    m_main->setStatusLineVisible(false);
    m_main->setWatchTimerRunning(false);
    showModemOptions(true);
}

void DeviceController::showModemOptions(bool justChosen)
{
    m_main->deliveryReportsBox()->setVisible(modemInUse());
    const bool several = modemInUse() && ModemSelection::all().size() >= 2;
    QCheckBox* parallel = m_main->parallelBox();
    parallel->setEnabled(several);
    parallel->setVisible(several);
    if (!several || justChosen)
        parallel->setChecked(several);
}

void DeviceController::startupCheckWithoutModem()
{
    // Neither installed nor running: asking again and again for the handset's
    // software helps nobody who has a GSM modem. One notice, with the way to the wizard.
    if (g_nAdviceGiven == 0 && installedDesktopManager().isEmpty() && !isDesktopManagerRunning(runningProcessNames())) {
        raiseAdviceGiven();
        if (Ui::messageBox(m_main, noDeviceServiceNotice(), QStringLiteral("Message"), Ui::Buttons::OkWizard,
                           Ui::Icon::Information) == Ui::IdYes)
            modemWizard();
        return;
    }
    desktopManagerStartupCheck();
}

void DeviceController::modemWizard()
{
    stopListeningForReports(); // the scan must find the modem free
    runConnectionWizard(m_main, [this] { m_main->setStatusLineVisible(false); });
    showModemOptions(true);
    if (g_bDeviceSelected) {
        m_main->setStatusLineVisible(false);
        m_main->setDeviceLine(g_strDeviceName.get());
        if (modemInUse())
            m_main->setWatchTimerRunning(false);
    } else {
        m_main->setDeviceLine(kNoDevice);
    }
}

void DeviceController::desktopManagerStartupCheck()
{
    if (modemInUse()) {
        m_main->setStatusLineVisible(false);
        return;
    }
    QStringList processes = runningProcessNames();
    if (processes.isEmpty())
        return;
    // A process of that name may be some other program, or a service for
    // another runtime folder: ours is the one that answers on our socket.
    if (isDesktopManagerRunning(processes) &&
        DeviceServiceClient::serviceAnswers(Paths::deviceServiceSocket(), kServiceAnswerWaitMs)) {
        g_strDesktopManager.set(QString::fromLatin1(kDesktopManagerSeen));
        if (!g_strDevicePin.isEmpty())
            m_main->setStatusLineVisible(false);
        if (g_strDevicePin.isEmpty() && g_nAdviceGiven == 0) {
            m_main->setStatusLineVisible(false);
            raiseAdviceGiven();
            m_main->setEnabled(false);
            g_bAdviceShown = true;
            if (g_bAdviceDialogOpen)
                return;
            if (openAdvice() == CFirst::Cancelled) {
                m_main->setStatusLineVisible(true);
                return;
            }
        }
        raiseAdviceGiven();
        return;
    }

    const Registry registry;
    if (const QString imagePath =
            registry.readString(QString::fromLatin1(Registry::kManager), QStringLiteral("ImagePath"));
        !imagePath.isEmpty())
        g_strDesktopManager.set(imagePath);
    if (g_strDesktopManager.isEmpty()) {
        QString icon = registry.readString(QString::fromLatin1(Registry::kUninstall), QStringLiteral("DisplayIcon"));
        if (!icon.isEmpty())
            g_strDesktopManager.set(icon.replace(QStringLiteral("blackberry.ico"), QStringLiteral("Rim.Desktop.exe")));
    }
    const QString program = g_strDesktopManager.get();
    Shell::instance().startHidden(program, program);

    if (g_nAdviceGiven == 0) {
        g_nAdviceGiven = 1;
        m_main->setEnabled(false);
        m_main->setStatusLineVisible(false);
        g_bAdviceShown = true;
        if (g_bAdviceDialogOpen)
            return;
        if (openAdvice() == CFirst::Cancelled) {
            g_bHandsetLost = false;
            g_strDevicePin.clear();
            m_main->setStatusLineVisible(true);
            return;
        }
        if (!g_strDevicePin.isEmpty() && !g_strDesktopManager.isEmpty())
            m_main->setStatusLineVisible(false);
    }

    processes = runningProcessNames();
    if (processes.isEmpty())
        return;
    if (isDesktopManagerRunning(processes)) {
        m_main->setWatchTimerRunning(true);
        return;
    }
    m_main->setWatchTimerRunning(false);
    if (g_nAdviceGiven == 0) {
        g_nAdviceGiven = 1;
        m_main->setEnabled(false);
        g_bAdviceShown = true;
        if (g_bAdviceDialogOpen)
            return;
        if (openAdvice() == CFirst::Cancelled)
            return;
    }
    raiseAdviceGiven();
}

void DeviceController::statusLineClicked()
{
    g_strDevicePin.clear();
    g_nAdviceGiven = 0;
    desktopManagerStartupCheck();
}

// Returns false (after telling the user) when an installed device service is not running.
bool DeviceController::desktopManagerCheckBeforeCommand()
{
    if (isDesktopManagerRunning(runningProcessNames()))
        return true;
    if (installedDesktopManager().isEmpty())
        return true;
    m_main->setStatusLineVisible(false);
    Ui::notice(m_main, kRunDesktopManager);
    m_main->setStatusLineVisible(true);
    return false;
}

QString DeviceController::handsetLossQuestion(int messages)
{
    return QStringLiteral("%1 messages hold characters the handset cannot send; they will go out with '?' in their "
                          "place. Send anyway?")
        .arg(messages);
}

QString DeviceController::resumeQuestion(int sent, int uncertain, int messages)
{
    const QString maybe = uncertain > 0 ? QStringLiteral(" (%1 of them may have been)").arg(uncertain) : QString();
    return QStringLiteral("%1 of %2 messages in the list were already sent%3. Send only the %4 messages not sent yet?")
        .arg(sent)
        .arg(messages)
        .arg(maybe)
        .arg(messages - sent);
}

QString DeviceController::finishedListQuestion(int messages, int uncertain)
{
    const QString maybe = uncertain > 0 ? QStringLiteral(" (%1 of them may have been)").arg(uncertain) : QString();
    return QStringLiteral("All %1 messages in the list were already sent%2. Send them all again?")
        .arg(messages)
        .arg(maybe);
}

bool DeviceController::askResume()
{
    const RecipientListModel* rows = m_main->recipients();
    int messages = 0, sent = 0, uncertain = 0;
    bool awaiting = false;
    for (int r = 0; r < rows->count(); ++r) {
        if (rows->message(r).isEmpty())
            continue;
        const RowStatus status = rows->status(r);
        if (isSentOrUncertain(status)) {
            ++messages;
            ++sent;
            uncertain += status == RowStatus::Uncertain;
        } else if (isAwaitingSend(status)) {
            ++messages;
            awaiting = true;
        }
    }
    if (sent == 0)
        return true;
    if (!awaiting) {
        // Every message went out, or may have. Once a run of this session has
        // sent the whole list, sending it again is the user's plain wish.
        if (m_lastRunCompleted && uncertain == 0 && !m_recoveredMarks)
            return true;
        m_resumeAsked = true;
        const int answer = Ui::messageBox(m_main, finishedListQuestion(messages, uncertain), QStringLiteral("Confirm"),
                                          Ui::Buttons::YesNoDefaultNo, Ui::Icon::Question);
        m_sendAllAgain = answer == Ui::IdYes;
        return answer == Ui::IdYes;
    }
    m_resumeAsked = true;
    const int answer = Ui::messageBox(m_main, resumeQuestion(sent, uncertain, messages), QStringLiteral("Confirm"),
                                      Ui::Buttons::YesNoCancel, Ui::Icon::Question);
    m_sendOnlyUnsent = answer == Ui::IdYes;
    m_sendAllAgain = answer == Ui::IdNo;
    return answer == Ui::IdYes || answer == Ui::IdNo;
}

void DeviceController::connectionWizard()
{
    if (!desktopManagerCheckBeforeCommand())
        return;
    // Without a device service only a GSM modem can be found: straight to the scan.
    if (installedDesktopManager().isEmpty() && !isDesktopManagerRunning(runningProcessNames())) {
        modemWizard();
        return;
    }
    g_nAdviceGiven = 0;
    g_bAdviceShown = false;
    g_nSendRequest = 0;
    g_bPinProbeOnly = true;
    probeAndWait();
    // The service runs without a handset: a GSM modem may still be chosen.
    if (g_strDevicePin.isEmpty() && isDesktopManagerRunning(runningProcessNames())) {
        g_bDeviceProbeDone = true;
        raiseAdviceGiven();
        modemWizard();
        return;
    }
    m_main->setDeviceLine(kNoDevice);
    desktopManagerStartupCheck();
    g_bDeviceProbeDone = true;

    if (g_bAdviceShown || g_strDevicePin.isEmpty() || g_strDesktopManager.isEmpty())
        return;
    g_nAdviceGiven = 0;
    stopListeningForReports();
    runConnectionWizard(m_main, [this] { m_main->setStatusLineVisible(false); });
    showModemOptions(true);
    if (g_bDeviceSelected) {
        m_main->setStatusLineVisible(false);
        m_main->setDeviceLine(g_strDeviceName.get());
    } else {
        m_main->setDeviceLine(kNoDevice);
        if (g_strDevicePin.isEmpty())
            m_main->setStatusLineVisible(true);
    }
}

// --- Send command ------------------------------------------------------------------

void DeviceController::sendSms()
{
    if (m_sendThread)
        return;
    struct Guard
    {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(m_inSendCommand);

    m_resumeAsked = false;
    m_sendOnlyUnsent = false;
    m_sendAllAgain = false;
    if (!askResume())
        return;

    g_nSendRequest = 0;
    m_main->m_strNumber = m_main->numberText();
    m_main->m_strMessage = m_main->composerText();
    g_strPauseEvery.set(m_main->pauseEveryText());
    g_strPauseFor.set(m_main->pauseForText());
    // A GSM modem needs neither the device service nor its handset: those checks are skipped.
    const std::optional<SelectedModem> modem = g_bDeviceSelected ? ModemSelection::current() : std::nullopt;
    // Nor does an SMS gateway.
    const std::optional<GatewaySettings> gateway =
        g_bDeviceSelected && !modem ? GatewaySelection::current() : std::nullopt;
    const bool ownDevice = modem || gateway;

    // The device service must run.
    if (!ownDevice && !isDesktopManagerRunning(runningProcessNames())) {
        const Registry registry;
        const bool installed =
            !registry.readString(QString::fromLatin1(Registry::kManager), QStringLiteral("ImagePath")).isEmpty() ||
            !registry.readString(QString::fromLatin1(Registry::kUninstall), QStringLiteral("DisplayIcon")).isEmpty();
        if (installed) {
            m_main->setStatusLineVisible(false);
            Ui::notice(m_main, kRunDesktopManager);
            m_main->setStatusLineVisible(true);
            return;
        }
        m_main->setEnabled(false);
        g_bAdviceShown = true;
        m_main->setStatusLineVisible(false);
        if (g_bAdviceDialogOpen)
            return;
        if (openAdvice() == CFirst::Cancelled) {
            m_main->setStatusLineVisible(true);
            return;
        }
    }

    if (m_main->useExclusionRules())
        m_main->LoadExclusionNumbers();

    if (!ownDevice) {
        g_bPinProbeOnly = true;
        probeAndWait();
    }

    if (g_bDeviceSelected) {
        g_nSendRequest = 3;
    } else {
        m_main->setDeviceLine(kNoDevice);
        if (g_strDevicePin.isEmpty()) {
            g_nAdviceGiven = 0;
            desktopManagerStartupCheck();
            return;
        }
        m_main->setEnabled(false);
        Ui::notice(m_main, QStringLiteral("No Mobile Phone Device is selected. Please use Mobile Phone Connection "
                                          "Wizard for finding device or establishing connection."));
        m_main->setEnabled(true);
        return;
    }

    auto cancel = [] { g_nSendRequest = 0; };
    if (!m_main->m_strNumber.isEmpty()) {
        Ui::notice(m_main, QStringLiteral("Please insert entered number to the list."));
        m_main->focusNumber();
        return cancel();
    }
    m_main->setAddEnabled(true);
    m_main->setUpdateEnabled(false);

    RecipientListModel* rows = m_main->recipients();
    if (rows->count() == 0) {
        m_main->setEnabled(false);
        Ui::notice(m_main, QStringLiteral("Please enter a valid phone number."));
        m_main->setEnabled(true);
        m_main->focusNumber();
        return cancel();
    }
    m_main->m_strMessage = m_main->composerText();

    if (m_main->delayedDelivery()) {
        g_strPauseEvery.set(g_strPauseEvery.get().trimmed());
        g_strPauseFor.set(g_strPauseFor.get().trimmed());
        const QString noValues = QStringLiteral("No values have been selected in 'Delayed Delivery Options'.");
        if (g_strPauseEvery.isEmpty()) {
            Ui::notice(m_main, noValues);
            m_main->focusPauseCombo(1028);
            return cancel();
        }
        if (g_strPauseFor.isEmpty()) {
            Ui::notice(m_main, noValues);
            m_main->focusPauseCombo(1029);
            return cancel();
        }
    }

    auto allBlank = [rows] {
        for (int r = 0; r < rows->count(); ++r)
            if (!rows->message(r).trimmed().isEmpty())
                return false;
        return true;
    };
    if (allBlank() && m_main->m_strMessage.isEmpty()) {
        Ui::notice(m_main, QStringLiteral("You have composed no text message yet for any of the contacts in the entire "
                                          "list. Please provide message to all the contacts in the list."));
        return cancel();
    }

    if (m_main->m_strMessage != m_main->m_strAppliedMessage) {
        m_main->m_strAppliedMessage = m_main->m_strMessage;
        CSend_Msg_Info info(m_main);
        const int result = info.exec();
        if (result == CSend_Msg_Info::Yes) {
            QList<int> target;
            for (int r = 0; r < rows->count(); ++r)
                if (info.choice() == 0 || rows->message(r).trimmed().isEmpty())
                    target.append(r);
            rows->setMessages(target, m_main->m_strMessage);
        } else if (result != CSend_Msg_Info::ContinueAnyway) {
            return cancel();
        }
    }
    // The composer's text may have made rows match what an interrupted run sent.
    if (!m_resumeAsked && !askResume())
        return cancel();

    if (allBlank()) {
        Ui::notice(m_main, QStringLiteral("You have composed no text text message yet for any of the contacts in the "
                                          "entire list. Please provide message to all the contacts in the list."));
        return cancel();
    }
    bool someBlank = false;
    for (int r = 0; r < rows->count() && !someBlank; ++r)
        someBlank = rows->message(r).trimmed().isEmpty();
    if (someBlank &&
        Ui::messageBox(m_main,
                       QStringLiteral("You have composed no text message yet for some of the contacts in the list.\n\n"
                                      "Are you sure you want to continue?"),
                       QStringLiteral("Confirm"), Ui::Buttons::YesNo, Ui::Icon::Question) != Ui::IdYes)
        return cancel();

    // The handset channel carries the ANSI code page only; a modem or a gateway takes every character.
    if (!ownDevice) {
        int lossy = 0;
        for (int r = 0; r < rows->count(); ++r) {
            const QString message = rows->message(r);
            if (!message.isEmpty() && !(m_sendOnlyUnsent && isSentOrUncertain(rows->status(r))) &&
                !TextCodec::fitsAnsi(message))
                ++lossy;
        }
        if (lossy > 0 && !Ui::confirm(m_main, handsetLossQuestion(lossy), Ui::Icon::Warning))
            return cancel();
    }

    if (!ownDevice && g_nHandsetWarningShown == 0) {
        g_nHandsetWarningShown = 1;
        CLong_SMS_Dlg notice(m_main, 0, handsetNotice());
        notice.exec();
    }

    m_main->startFastWatch();
    if (m_progress)
        delete m_progress;
    g_bPinProbeOnly = false;
    m_progress = new CModeless(m_main);
    connect(m_progress, &CModeless::stopRequested, this, &DeviceController::onStopRequested);
    m_progress->setPauseLineVisible(false);
    centreOver(m_progress, m_main);
    m_main->setEnabled(false);
    m_main->m_strMessage = m_main->composerText();
    if (m_deviceInit)
        delete m_deviceInit;
    m_deviceInit = new CDeviceIni(m_main);
    centreOver(m_deviceInit, m_main);
    m_deviceInit->show();
    g_bDeviceProbeDone = false;
    m_timer1111->start();
    if (gateway) {
        startGatewaySendWorker(*gateway);
        return;
    }
    // Several modems share the list while "Parallel Process for SMS Sending" is ticked; else the first sends alone.
    const QList<SelectedModem> modems = modem ? ModemSelection::all() : QList<SelectedModem>();
    if (modems.size() >= 2 && m_main->parallelBox()->isChecked())
        startParallelSendWorker(modems);
    else
        startSendWorker(modem ? modem->port : 0);
}

void DeviceController::startGatewaySendWorker(const GatewaySettings& settings)
{
    runOnSendThread([this, settings] {
        QString failure;
        m_finishedRunListener = RunGatewaySendStep(settings, *this, *this, m_gate, *m_clock, &failure);
        if (!failure.isEmpty())
            onGui([this, failure] { gatewayLost(failure); });
    });
}

void DeviceController::gatewayLost(const QString& text)
{
    // The gateway stays the chosen device: it may answer again once it is back.
    hideDeviceInitDialog();
    closeProgressDialog();
    setMainWindowEnabled(true);
    Ui::notice(m_main, text + QStringLiteral("\n\nA message the gateway may have taken is marked \"Uncertain\" and is "
                                             "not sent again unless you choose to."));
}

void DeviceController::startSendWorker(int modemPort)
{
    if (modemPort > 0) {
        m_modemRun = std::make_shared<ModemRunControl>();
        runOnSendThread([this, modemPort, control = m_modemRun] {
            m_finishedRunListener = RunModemSendStep(modemPort, *this, *this, m_gate, *m_clock, control.get());
        });
    } else {
        runOnSendThread([this] { RunSendWorkerDeviceStep(*this, *this, m_gate, *m_clock); });
    }
}

void DeviceController::startParallelSendWorker(const QList<SelectedModem>& modems)
{
    m_modemRun = std::make_shared<ModemRunControl>();
    runOnSendThread([this, modems, control = m_modemRun] { runParallelModems(modems, *control); });
}

void DeviceController::runOnSendThread(std::function<void()> step)
{
    m_main->m_dwSendStartTick = quint32(QDateTime::currentMSecsSinceEpoch());
    stopListeningForReports();
    m_sendThread = QThread::create(std::move(step));
    connect(m_sendThread, &QThread::finished, this, [this] {
        m_sendThread->deleteLater();
        m_sendThread = nullptr;
        m_modemRun.reset();
        if (std::shared_ptr<ReportListener> listener = std::exchange(m_finishedRunListener, nullptr);
            listener && !m_closing)
            startListeningForReports(std::move(listener));
        // Rows loaded from now on are marked with what this run left unresolved.
        recoverOutcomes(false);
        emit sendFinished();
    });
    m_sendThread->start();
}

QString DeviceController::lostModemsNotice(const QStringList& unopened, const QStringList& lost)
{
    QString text;
    if (!unopened.isEmpty())
        text += QStringLiteral("These GSM modems could not be readied and were left out of the run:\n") +
                unopened.join(QLatin1Char('\n')) + QStringLiteral("\n\n");
    if (!lost.isEmpty())
        text += QStringLiteral("These GSM modems failed during the run and were taken out of it; the others went "
                               "on:\n") +
                lost.join(QLatin1Char('\n')) +
                QStringLiteral("\n\nThe message each of them was sending is marked \"Uncertain\" when it may have "
                               "gone out, \"Failed\" when it was refused.\n\n");
    return text + QStringLiteral("The status column shows what became of each message.");
}

void DeviceController::runParallelModems(const QList<SelectedModem>& modems, ModemRunControl& control)
{
    g_nSendRequest = 0;
    const bool reports = deliveryReportsRequested();
    // Owns the modems; with reports still to come after the run, it listens for them.
    auto channels = std::make_shared<ModemLanes>(*this);
    QList<SendLane> lanes;
    QStringList unopened;
    QList<int> failedPorts;
    std::vector<ComPtr<ModemChannel>> unready; // kept until the control lets go of their modems
    bool cancelled = false;
    for (const SelectedModem& modem : modems) {
        auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(modem.port));
        channels->add(channel, reports);
        control.attach(&channel->modem());
        try {
            channel->open();
        } catch (const ModemError& e) {
            cancelled = cancelled || e.kind() == ModemError::Kind::Cancelled;
            unopened << portName(modem.port) + QStringLiteral(": ") + e.text();
            failedPorts << modem.port;
            channels->dropLast();
            unready.push_back(channel);
            continue;
        }
        lanes.append({portName(modem.port), channel.get(), SendLane().pacingMs});
    }
    ParallelRunResult result;
    bool succeeded = false;
    if (!lanes.isEmpty() && !cancelled) {
        ParallelModemHost host(*this, *channels, !unopened.isEmpty());
        result = ParallelSendRun(lanes, host, m_gate, *m_clock);
        succeeded = host.succeeded;
    } else {
        hideDeviceInitDialog();
        closeProgressDialog();
        setMainWindowEnabled(true);
    }
    control.detach();
    for (const ComPtr<ModemChannel>& channel : unready)
        channel->Close();
    if (reports && !cancelled && channels->outstanding())
        m_finishedRunListener = channels;
    else
        channels->close();
    for (const QString& lost : result.lostLanes)
        for (const SelectedModem& modem : modems)
            if (lost.startsWith(portName(modem.port) + QStringLiteral(": ")))
                failedPorts << modem.port;
    if (g_bStopRequested)
        closeProgressDialog();
    if ((unopened.isEmpty() && result.lostLanes.isEmpty()) || cancelled)
        return;
    onGui([this, unopened, lost = result.lostLanes, failedPorts, succeeded] {
        if (m_closing)
            return;
        forgetModems(failedPorts);
        m_lastRunCompleted = m_lastRunCompleted || succeeded;
        const QString head = succeeded ? QStringLiteral("Message sent successfully.\n\n") : QString();
        Ui::notice(m_main, head + lostModemsNotice(unopened, lost));
    });
}

void DeviceController::forgetModems(const QList<int>& ports)
{
    QList<SelectedModem> left;
    for (const SelectedModem& modem : ModemSelection::all())
        if (!ports.contains(modem.port))
            left.append(modem);
    if (left.isEmpty()) {
        g_bDeviceSelected = false;
        ModemSelection::clear();
        m_main->setDeviceLine(kNoDevice);
    } else {
        ModemSelection::selectAll(left);
        g_strDeviceName.set(ModemSelection::deviceLine(left));
        m_main->setDeviceLine(g_strDeviceName.get());
    }
    showModemOptions();
}

void DeviceController::onStopRequested()
{
    if (!m_sendThread)
        return;
    m_gate.hold();
    if (!g_bPausing)
        m_timer1111->stop();
    const int answer = Ui::messageBox(m_progress,
                                      QStringLiteral("Terminating the current process will stop sending text messages "
                                                     "to the remaining contacts. Are you sure you want to continue?"),
                                      QStringLiteral("Confirm"), Ui::Buttons::YesNo, Ui::Icon::Warning);
    if (answer == Ui::IdYes) {
        g_bStopRequested = true;
        m_gate.release();
        return;
    }
    if (m_progress)
        m_progress->setActivity(0);
    m_gate.release();
    if (!g_bPausing)
        m_timer1111->start();
    if (!m_sendThread) {
        g_bStopRequested = true;
        m_main->setEnabled(true);
        m_timer1111->stop();
        m_timer2222->stop();
    }
}

void DeviceController::onPauseTick()
{
    if (m_pauseEnding)
        return;
    if (g_bStopRequested)
        m_timer2222->stop();
    const int s = g_nPauseRemainingMs / 1000;
    if (m_progress)
        m_progress->setPauseText(PauseText(qint64(s) * 1000));
    if (s > 1) {
        g_nPauseRemainingMs = (s - 1) * 1000;
        return;
    }
    // The last second: the 0-second text, then the line empties. Timed, not slept,
    // so the window stays live.
    m_pauseEnding = true;
    m_timer2222->stop();
    QTimer::singleShot(1000, this, [this] {
        if (m_progress)
            m_progress->setPauseText(PauseText(0));
        QTimer::singleShot(1000, this, [this] {
            if (m_progress)
                m_progress->setPauseText(QString());
            g_bPausing = false;
            m_pauseEnding = false;
        });
    });
}

// --- DeviceLinkHost ---------------------------------------------------------------

int DeviceController::recipientCount()
{
    int count = 0;
    onGui([&] { count = m_main->recipients()->count(); });
    return count;
}

void DeviceController::hideStatusLine()
{
    onGui([this] { m_main->setStatusLineVisible(false); });
}

void DeviceController::showDeviceInitDialog()
{
    onGui([this] {
        if (m_deviceInit)
            m_deviceInit->show();
    });
}

void DeviceController::hideDeviceInitDialog()
{
    onGui([this] {
        if (m_deviceInit)
            m_deviceInit->hide();
    });
}

bool DeviceController::closeProgressDialog()
{
    bool existed = false;
    onGui([&] {
        m_timer1111->stop();
        existed = m_progress != nullptr;
        if (m_progress) {
            m_progress->finish();
            m_progress->deleteLater();
            m_progress = nullptr;
        }
    });
    return existed;
}

void DeviceController::setMainWindowEnabled(bool enabled)
{
    onGui([this, enabled] { m_main->setEnabled(enabled); });
}

void DeviceController::handsetLost()
{
    onGui([this] {
        m_main->setDeviceLine(kNoDevice);
        m_main->setStatusLineVisible(true);
        g_bDeviceSelected = false;
        g_bHandsetLost = true;
        m_main->setEnabled(false);
        if (g_bAdviceDialogOpen)
            return;
        // The advice closes once the handset answers again: the PIN known
        // before the fault says nothing of that, so the probe must read it anew,
        // even though the send worker waits here.
        g_strDevicePin.clear();
        g_bHandsetLost = false;
        const bool fromWorker = QThread::currentThread() == thread() && m_sendThread;
        m_adviceHoldsWorker = fromWorker;
        const int result = openAdvice();
        m_adviceHoldsWorker = false;
        if (result == CFirst::Cancelled) {
            g_strDevicePin.clear();
            g_bHandsetLost = false;
            m_main->setEnabled(true);
        }
    });
}

void DeviceController::showSecurityNotice()
{
    onGui([this] {
        CLong_SMS_Dlg notice(m_main, 0, handsetNotice());
        notice.exec();
    });
}

// --- SendRunHost ---------------------------------------------------------------------

QList<RecipientRow> DeviceController::recipients()
{
    QList<RecipientRow> rows;
    onGui([&] {
        const RecipientListModel* model = m_main->recipients();
        rows.reserve(model->count());
        for (int r = 0; r < model->count(); ++r) {
            const RowStatus status = model->status(r);
            rows.append({model->number(r), model->message(r),
                         m_sendOnlyUnsent && isSentOrUncertain(status) ? status : RowStatus::None, m_sendAllAgain});
        }
        m_main->recipientList()->clearSelection();
        m_lastRunCompleted = false;
        m_recoveredMarks = false;
    });
    return rows;
}

SendOptions DeviceController::options()
{
    SendOptions o;
    onGui([&] {
        o.useExclusion = m_main->useExclusionRules();
        o.skipDuplicates = m_main->skipDuplicates();
        o.saveSentItems = m_main->saveSentItems();
        o.saveTemplates = m_main->saveTemplates();
        o.delayedDelivery = m_main->delayedDelivery();
    });
    return o;
}

bool DeviceController::isExcluded(const QString& number)
{
    bool excluded = false;
    onGui([&] { excluded = m_main->IsExcludedNumber(number); });
    return excluded;
}

bool DeviceController::hasDeviceInitDialog()
{
    bool exists = false;
    onGui([&] { exists = m_deviceInit != nullptr; });
    return exists;
}

void DeviceController::showProgressDialog()
{
    onGui([this] {
        if (m_progress) {
            m_progress->show();
            m_progress->setEnabled(true);
            m_progress->raise();
        }
    });
}

void DeviceController::setupProgress(int total, const QString& firstNumber)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setupRun(total, firstNumber);
    });
}

void DeviceController::showRow(int row, int total, const QString& number)
{
    onGui([=, this] {
        if (row < m_main->recipients()->count())
            m_main->recipientList()->selectOnly(row);
        if (m_progress)
            m_progress->showRow(row, total, number);
    });
}

void DeviceController::setStatusLine(const QString& text)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setStatusLine(text);
    });
}

void DeviceController::setRowStatus(const QList<int>& rows, RowStatus status)
{
    onGui([=, this] { m_main->recipients()->setStatus(rows, status); });
}

void DeviceController::showStatusColumn()
{
    onGui([this] { m_main->showStatusColumn(); });
}

void DeviceController::beginPause(int totalMs)
{
    onGui([=, this] {
        if (m_progress) {
            m_progress->setPauseLineVisible(true);
            m_progress->setPauseText(PauseText(totalMs));
            m_progress->setStatusLine(QString());
            m_progress->setActivity(0);
        }
        g_nPauseRemainingMs = totalMs;
        m_timer1111->stop();
        g_nPauseRemainingMs = totalMs - 1000;
        g_bPausing = true;
        m_pauseEnding = false;
        m_timer2222->start();
    });
}

void DeviceController::endPause()
{
    onGui([this] {
        m_timer2222->stop();
        g_nPauseRemainingMs = 0;
        if (m_progress)
            m_progress->setPauseText(QString());
        g_bPausing = false;
        m_timer1111->start();
    });
}

void DeviceController::showSuccess()
{
    onGui([this] {
        m_lastRunCompleted = true;
        Ui::notice(m_main, QStringLiteral("Message sent successfully."));
    });
}

bool DeviceController::askToGoOn(const QString& question)
{
    bool yes = false;
    onGui([&] {
        QWidget* over = m_progress && m_progress->isVisible() ? static_cast<QWidget*>(m_progress) : m_main;
        yes = Ui::messageBox(over, question, QStringLiteral("Confirm"), Ui::Buttons::YesNoDefaultNo,
                             Ui::Icon::Warning) == Ui::IdYes;
    });
    return yes;
}

void DeviceController::restoreAfterNoHandset()
{
    onGui([this] {
        m_main->setEnabled(true);
        m_main->UpdateTotalNumbers();
        m_main->setAddEnabled(true);
        m_main->setUpdateEnabled(false);
    });
}

// --- Lanes of a run through several modems ------------------------------------------------

void DeviceController::setupLanes(const QStringList& names)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setupLanes(names);
    });
}

void DeviceController::showLane(int lane, const QString& text)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setLaneText(lane, text);
    });
}

void DeviceController::laneLost(int lane, const QString& text)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setLaneText(lane,
                                    QStringLiteral("Taken out of the run: ") + text.section(QStringLiteral(": "), 1));
    });
}

void DeviceController::setRowLane(int row, const QString& lane)
{
    onGui([=, this] { m_main->recipients()->setStatusLane(row, lane); });
}

// --- ModemLinkHost ---------------------------------------------------------------------

void DeviceController::modemLost(const QString& text)
{
    onGui([this, text] {
        m_main->setDeviceLine(kNoDevice);
        showModemOptions();
        Ui::notice(m_main, text);
    });
}

bool DeviceController::deliveryReportsRequested()
{
    bool requested = false;
    onGui([&] { requested = m_main->deliveryReportsBox()->isChecked(); });
    return requested;
}

void DeviceController::deliveryReported(int row, const QString& number, const QByteArray& fingerprint,
                                        const Delivery& delivery)
{
    if (delivery.status == RowStatus::Sent)
        return;
    onGui([=, this] {
        RecipientListModel* rows = m_main->recipients();
        const QString key = sendKey(number, fingerprint);
        auto matches = [&](int r) {
            return r >= 0 && r < rows->count() && sendKey(rows->number(r), rows->message(r)) == key &&
                   isSentOrUncertain(rows->status(r));
        };
        int target = matches(row) ? row : -1;
        // The list changed since the run: the same message to the same number, wherever it is now.
        for (int r = 0; r < rows->count() && target < 0; ++r)
            if (matches(r))
                target = r;
        if (target >= 0) {
            rows->setStatus(target, delivery.status, delivery.time.toLocalTime(), delivery.reason);
            // What the network says of each message is what the user asked for: the column shows it.
            m_main->showStatusColumn();
        }
    });
}

void DeviceController::startListeningForReports(std::shared_ptr<ReportListener> listener)
{
    m_reportControl = std::make_shared<ModemRunControl>();
    m_reportThread = QThread::create([listener, control = m_reportControl] { listener->listen(*control); });
    connect(m_reportThread, &QThread::finished, this, [this, thread = m_reportThread] {
        thread->deleteLater();
        if (m_reportThread == thread) {
            m_reportThread = nullptr;
            m_reportControl.reset();
        }
        // Rows loaded from now on show what the late reports said.
        if (!m_closing)
            recoverOutcomes(false);
    });
    m_reportThread->start();
}

void DeviceController::stopListeningForReports()
{
    QThread* thread = m_reportThread;
    if (!thread)
        return;
    // A cancel that falls between two waits is dropped: repeat it until the
    // listener is gone. It may be handing a report to the list meanwhile.
    while (!thread->wait(10)) {
        m_reportControl->cancel();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    m_reportThread = nullptr;
    m_reportControl.reset();
}
