#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QProgressBar;
class QTimer;

// Advice shown whenever the handset cannot be reached: how to get the device
// service and connect the phone, with a search indicator. While it is open the
// main window is disabled and its periodic probe only reads the PIN; the
// dialog closes by itself (result 0) once a PIN and a device service are
// known. Cancel (result Cancelled) means the caller gives up.
class CFirst : public QDialog
{
    Q_OBJECT

public:
    static constexpr int Cancelled = 2;
    static constexpr int DefaultProbeIntervalMs = 1000;
    static constexpr int SearchStep = 10;

    // The owner is the window the dialog stays above; it is not the dialog's
    // parent, so that disabling the main window leaves the advice usable.
    explicit CFirst(QWidget* owner = nullptr);
    ~CFirst() override;

    // Period of the search tick; takes effect when the dialog opens.
    void setProbeInterval(int ms) { m_intervalMs = ms; }
    int searchProgress() const;

    static QString downloadPage();
    static QString searchPage();

public slots:
    int exec() override;
    void accept() override; // Enter: Retry
    void reject() override; // Cancel, Escape and the close box

private:
    void begin();
    void tick();
    void retry();
    void enableMainWindow();

    QLabel* m_headline = nullptr;
    QLabel* m_important = nullptr;
    QGroupBox* m_group = nullptr;
    QProgressBar* m_search = nullptr;
    QTimer* m_timer = nullptr;
    int m_intervalMs = DefaultProbeIntervalMs;
    bool m_begun = false;

protected:
    void showEvent(QShowEvent* event) override;
};
