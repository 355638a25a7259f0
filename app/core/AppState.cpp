#include "AppState.h"

QObject* g_pMainDlg = nullptr;
SharedString g_strDevicePin;
SharedString g_strDesktopManager;
SharedString g_strDeviceName;
std::atomic<bool> g_bDeviceSelected{false};
std::atomic<bool> g_bPinProbeOnly{false};
std::atomic<int> g_nSendRequest{0};
std::atomic<bool> g_bDeviceSeen{false};
std::atomic<bool> g_bDeviceProbeDone{false};
std::atomic<bool> g_bAdviceDialogOpen{false};
std::atomic<int> g_nHandsetWarningShown{0};
std::atomic<int> g_nAdviceGiven{0};
std::atomic<bool> g_bAdviceShown{false};
SharedString g_strPauseEvery;
SharedString g_strPauseFor;
std::atomic<int> g_nPauseRemainingMs{0};
std::atomic<bool> g_bPausing{false};
std::atomic<bool> g_bStopRequested{false};
std::atomic<bool> g_bChannelOpen{false};
std::atomic<bool> g_bInstallModule{true};
std::atomic<bool> g_bStartPacketSent{false};
std::atomic<bool> g_bHandsetLost{false};
