#pragma once

#include "device/gateway/GatewaySettings.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QThread;

// "Send through an SMS gateway": where the gateway's send interface is and
// how to log in. OK checks the gateway with a request that sends nothing (on
// a thread, the window stays live) and accepts only when it answers as a
// gateway that takes this login; the settings are then saved (the password
// only with "Remember the password").
class CGatewayDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CGatewayDialog(QWidget* parent = nullptr, const std::optional<GatewaySettings>& start = std::nullopt);
    ~CGatewayDialog() override;

    GatewaySettings settings() const;
    void setSettings(const GatewaySettings& settings);
    bool isChecking() const { return m_checking; }
    // The text shown under the fields (the check under way, or what it found).
    QString statusText() const;

    void accept() override;
    void reject() override;

signals:
    // The check ended: works, or the reason it does not (also shown).
    void checked(bool works, const QString& text);

private:
    void setChecking(bool checking);
    void onChecked(bool works, const QString& text);

    QLineEdit* m_url = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_sender = nullptr;
    QLineEdit* m_smsc = nullptr;
    QSpinBox* m_inFlight = nullptr;
    QDoubleSpinBox* m_rate = nullptr;
    QCheckBox* m_remember = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_checking = false;
    bool m_closing = false;
};

// The dialog above from the connection wizard: on OK the gateway becomes the
// sending device for the program run (no GSM modem, no handset) and the
// device name reads "SMS gateway at host:port". Returns whether it did.
bool runGatewayDialog(QWidget* parent);
