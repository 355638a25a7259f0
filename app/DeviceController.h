#pragma once

#include "device/link/DeviceLinkHost.h"
#include "device/modem/ModemSelection.h"
#include "sending/ModemSendStep.h"
#include "sending/SendRun.h"

#include <QObject>
#include <QPointer>

#include <functional>

#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"

class CCorvaneDlg;
struct GatewaySettings;
class QThread;
class QTimer;

// The main window's side of the device link: the device service watch, the
// device probes, the connection wizard and send commands, and the send
// worker. Device work runs on worker threads; whatever it asks of the window
// is carried to the user-interface thread.
class DeviceController : public QObject, public DeviceLinkHost, public SendRunHost, public ModemLinkHost
{
    Q_OBJECT

public:
    explicit DeviceController(CCorvaneDlg* main);
    ~DeviceController() override;

    // Commands of the main window.
    void sendSms();
    void connectionWizard();
    void statusLineClicked();
    // Looks for a running device service, starts an installed one, and gives
    // advice when the service or the handset is missing.
    void desktopManagerStartupCheck();
    // At the first paint: a remembered GSM modem that answers is selected
    // again; otherwise the device service checks, or with none installed one
    // notice that leads to the wizard.
    void startupCheck();
    static QString noDeviceServiceNotice();

    // The device routine with the current flags, on a worker thread; a probe
    // asked for while one runs (or while a send runs) is dropped.
    void probeAsync();
    // The same, waiting for the result while the window stays responsive.
    void probeAndWait();
    // The periodic PIN read (timer 99).
    void pinProbeAsync();

    bool isSending() const { return m_sendThread != nullptr; }
    CModeless* progressDialog() const { return m_progress; }
    CDeviceIni* deviceInitDialog() const { return m_deviceInit; }
    void setSendClock(SendClock* clock) { m_clock = clock ? clock : &SendClock::real(); }
    // Waits (with events running) until no worker is left; for shutdown and tests.
    bool waitForWorkers(int timeoutMs);

    static QString handsetNotice();
    // The start-up notice after a run that did not end.
    static QString interruptedRunNotice(int sent, int uncertain);
    static QString resumeQuestion(int sent, int uncertain, int messages);
    static QString finishedListQuestion(int messages, int uncertain);
    static QString handsetLossQuestion(int messages);
    // Reads the send journal; after a run that did not end, remembers what it
    // sent for rows loaded later and tells the user.
    void reportInterruptedRun();

    // DeviceLinkHost
    int recipientCount() override;
    void hideStatusLine() override;
    void showDeviceInitDialog() override;
    void hideDeviceInitDialog() override;
    bool closeProgressDialog() override;
    void setMainWindowEnabled(bool enabled) override;
    void handsetLost() override;
    void showSecurityNotice() override;

    // SendRunHost
    QList<RecipientRow> recipients() override;
    SendOptions options() override;
    bool isExcluded(const QString& number) override;
    bool hasDeviceInitDialog() override;
    void showProgressDialog() override;
    void setupProgress(int total, const QString& firstNumber) override;
    void showRow(int row, int total, const QString& number) override;
    void setStatusLine(const QString& text) override;
    void setRowStatus(const QList<int>& rows, RowStatus status) override;
    void showStatusColumn() override;
    void beginPause(int totalMs) override;
    void endPause() override;
    void showSuccess() override;
    bool askToGoOn(const QString& question) override;
    void restoreAfterNoHandset() override;

    // ModemLinkHost
    void modemLost(const QString& text) override;
    bool deliveryReportsRequested() override;
    void deliveryReported(int row, const QString& number, const QByteArray& fingerprint,
                          const Delivery& delivery) override;

    // The progress window's lane lines and the status column's lane, for a run through several modems.
    void setupLanes(const QStringList& names);
    void showLane(int lane, const QString& text);
    void laneLost(int lane, const QString& text);
    void setRowLane(int row, const QString& lane);
    // The one message after a run through several modems that lost or left out some of them.
    static QString lostModemsNotice(const QStringList& unopened, const QStringList& lost);

    // After a run with delivery reports, the modem is kept open for the reports still to come.
    bool isListeningForReports() const { return m_reportThread != nullptr; }
    // Lets go of the modem kept open for reports; returns once it is closed.
    void stopListeningForReports();

signals:
    void probeFinished();
    void sendFinished();

private:
    template <typename F> void onGui(F&& work);
    bool desktopManagerCheckBeforeCommand();
    // With rows sent and rows still to send, asks whether to send only the
    // latter; false on Cancel.
    bool askResume();
    int openAdvice();
    // A GSM modem or an SMS gateway sends: no device service or handset is needed.
    static bool modemInUse();
    void startupCheckWithoutModem();
    void rememberedModemsAnswered(const QList<SelectedModem>& modems);
    // The connection steps and the port scan, with no device service to ask.
    void modemWizard();
    void onStopRequested();
    void onPauseTick();
    void startSendWorker(int modemPort);
    // Runs the step on the send worker; its end wraps up alike for every kind of device.
    void runOnSendThread(std::function<void()> step);
    // The send worker for an SMS gateway, and what ends its run early.
    void startGatewaySendWorker(const GatewaySettings& settings);
    void gatewayLost(const QString& text);
    void startParallelSendWorker(const QList<SelectedModem>& modems);
    // The send worker's step for several modems: opens each, sends the list through them all, wraps up.
    void runParallelModems(const QList<SelectedModem>& modems, ModemRunControl& control);
    // Drops modems that failed from the selection, and the selection when none is left.
    void forgetModems(const QList<int>& ports);

    CCorvaneDlg* m_main;
    QPointer<CModeless> m_progress;
    QPointer<CDeviceIni> m_deviceInit;
    QTimer* m_timer1111;
    QTimer* m_timer2222;
    QThread* m_probeThread = nullptr;
    QThread* m_pinThread = nullptr;
    QThread* m_sendThread = nullptr;
    QThread* m_recallThread = nullptr;
    QThread* m_reportThread = nullptr;
    std::shared_ptr<ReportListener> m_finishedRunListener; // handed from the send worker to the GUI thread
    std::shared_ptr<ModemRunControl> m_reportControl;
    bool m_closing = false;
    void startListeningForReports(std::shared_ptr<ReportListener> listener);
    // "Request delivery reports" shows while a GSM modem is selected; "Parallel
    // Process for SMS Sending" while several are, ticked when they were just chosen.
    void showModemOptions(bool justChosen = false);
    StopGate m_gate;
    std::shared_ptr<ModemRunControl> m_modemRun;
    SendClock* m_clock;
    bool m_inSendCommand = false;
    bool m_pauseEnding = false;
    bool m_resumeAsked = false;       // the resume question was answered in this command
    bool m_sendOnlyUnsent = false;    // ... with Yes
    bool m_sendAllAgain = false;      // the user chose to send rows again that earlier runs took care of
    bool m_lastRunCompleted = false;  // the last run of this session sent its whole list
    bool m_adviceHoldsWorker = false; // the send worker waits for the advice dialog to close
    // Rows took statuses from an earlier run's journal since the last run.
    bool m_recoveredMarks = false;
    void recoverOutcomes(bool notify);
};
