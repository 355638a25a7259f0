// The send command: its questions, the send worker for one device, the run's journal and the reports after it.
#include "DeviceController.h"

#include "CCorvaneDlg.h"
#include "DeviceControllerParts.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/Ui.h"
#include "app/controls/WaitDialogs.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "device/gateway/GatewaySettings.h"
#include "device/modem/ModemSelection.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/TextCodec.h"
#include "sending/SendJournal.h"
#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"
#include "sending/dialogs/CSend_Msg_Info.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QHash>
#include <QThread>
#include <QTimer>

using namespace DeviceControllerParts;

// --- The send journal ------------------------------------------------------------

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

// --- Questions before a run ------------------------------------------------------

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

// --- Stop and the pause in the progress window -----------------------------------

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

// --- Delivery reports after a run ------------------------------------------------

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
