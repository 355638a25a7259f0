#include "DeviceController.h"

#include "CCorvaneDlg.h"
#include "DeviceControllerParts.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "device/gateway/GatewaySettings.h"
#include "device/link/USBClient.h"
#include "device/modem/GsmModem.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnectionwizard.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/deviceservice/DeviceServiceClient.h"
#include "platform/serial/SerialPortList.h"
#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

using namespace DeviceControllerParts;

namespace {

// How long a service that is starting may take to answer before we start our own.
constexpr int kServiceAnswerWaitMs = 3000;

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
