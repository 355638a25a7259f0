#pragma once

#include <QMutex>
#include <QString>

#include <atomic>

// Process-wide state the main window publishes for the device link, the send
// run and the imports. Each value is written by one party at a time (the
// program's disabling rules guarantee it); atomics and a locked string make the
// hand-over between threads well defined.

class SharedString
{
public:
    QString get() const
    {
        QMutexLocker lock(&m_mutex);
        return m_value;
    }
    void set(const QString& value)
    {
        QMutexLocker lock(&m_mutex);
        m_value = value;
    }
    void clear() { set(QString()); }
    bool isEmpty() const { return get().isEmpty(); }

private:
    mutable QMutex m_mutex;
    QString m_value;
};

class QObject;

extern QObject* g_pMainDlg;                   // the one main window
extern SharedString g_strDevicePin;           // handset PIN, upper-case hex; empty while none is known
extern SharedString g_strDesktopManager;      // device service path, or "asd" once one was seen running
extern SharedString g_strDeviceName;          // description of the selected device
extern std::atomic<bool> g_bDeviceSelected;   // a device was chosen in the connection wizard
extern std::atomic<bool> g_bPinProbeOnly;     // the device routine only reads the PIN
extern std::atomic<int> g_nSendRequest;       // 3: the device routine is to start a send run
extern std::atomic<bool> g_bDeviceSeen;       // a handset was found in this program run
extern std::atomic<bool> g_bDeviceProbeDone;  // the connection wizard command checked the device
extern std::atomic<bool> g_bAdviceDialogOpen; // the device service advice dialog is on screen
extern std::atomic<int> g_nHandsetWarningShown; // 0 until the handset notice was shown
extern std::atomic<int> g_nAdviceGiven;       // the start-up check may still advise while 0
extern std::atomic<bool> g_bAdviceShown;      // an advice dialog was opened by a check
extern SharedString g_strPauseEvery;          // "Pause every" text copied at send time
extern SharedString g_strPauseFor;            // "For" text copied at send time
extern std::atomic<int> g_nPauseRemainingMs;  // milliseconds left in a delivery pause
extern std::atomic<bool> g_bPausing;          // a pause countdown is running
extern std::atomic<bool> g_bStopRequested;    // Stop was confirmed in the progress dialog
extern std::atomic<bool> g_bChannelOpen;      // the handset channel is open
extern std::atomic<bool> g_bInstallModule;    // install the handset module when the channel will not open
extern std::atomic<bool> g_bStartPacketSent;  // the start packet went out in this connection
extern std::atomic<bool> g_bHandsetLost;      // the handset-lost mark

inline constexpr const char* kDesktopManagerSeen = "asd";
