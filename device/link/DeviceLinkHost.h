#pragma once


// What the device routine asks of the main window. The GUI implements it by
// carrying each call to the user-interface thread (and waiting where an
// answer or a closed dialog is needed); tests implement it directly.
class DeviceLinkHost
{
public:
    virtual ~DeviceLinkHost() = default;

    virtual int recipientCount() = 0;
    // Hides "Mobile Device is not ready..." (a PIN and a device service are known).
    virtual void hideStatusLine() = 0;
    virtual void showDeviceInitDialog() = 0;
    virtual void hideDeviceInitDialog() = 0;
    // Stops the activity timer and closes the progress dialog; false when there was none.
    virtual bool closeProgressDialog() = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;
    // The device line says no device is selected, the main window is disabled
    // and the device service advice is shown (unless it is open already);
    // returns when the advice dialog has closed or was already open.
    virtual void handsetLost() = 0;
    // The handset security notice, shown modally before the module is installed.
    virtual void showSecurityNotice() = 0;
};
