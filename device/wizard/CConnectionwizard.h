#pragma once

#include <QDialog>

#include <functional>

// "Mobile Device Connection Steps...": what the user needs before the port scan.
class CConnectionwizard : public QDialog
{
    Q_OBJECT

public:
    // The result of exec() when the user chose an SMS gateway instead.
    static constexpr int GatewayChosen = 2;

    explicit CConnectionwizard(QWidget* parent = nullptr);
};

// The main window's "Mobile Phone Connection Wizard" command: the steps, then on
// their OK (after hideStatusLine) the port scan, or on "Send through an SMS
// gateway" the gateway's settings. Clears g_bStartPacketSent and returns
// whether a device is selected.
bool runConnectionWizard(QWidget* parent, std::function<void()> hideStatusLine);
