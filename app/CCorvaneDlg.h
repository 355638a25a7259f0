#pragma once

#include "app/core/CommandHost.h"
#include "app/core/NumberRules.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QStringList>

#include <functional>

class CColorStatic;
class CMyListCtrl;
class CMy_Sel_All_Edit;
class CPlease_Wail_Modeless;
class CSpecialEdit;
class MessageCounter;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class RecipientListModel;

// The numbers of the exclusion lists in use, as loaded for this run of the
// program. Lookups are whole-text and letter-case-blind.
class ExclusionCache
{
public:
    void assign(const QStringList& numbers);
    void clear() { assign({}); }
    const QStringList& numbers() const { return m_numbers; }
    const NumberIndex& index() const { return m_index; }
    bool contains(const QString& number) const { return m_index.contains(number); }

private:
    QStringList m_numbers;
    NumberIndex m_index;
};

// The main window: recipient list, composer, options, and the commands that
// work on them.
class CCorvaneDlg : public QDialog, public CommandHost
{
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Ulmex Veva SMS - BlackBerry Mobile Phones";

    explicit CCorvaneDlg(QWidget* parent = nullptr);
    ~CCorvaneDlg() override;

    // Runs the start-up steps (data folder, UAC advice, timers, first probe).
    void initialise();

    RecipientListModel* recipients() const override { return m_model; }
    CMyListCtrl* recipientList() const { return m_ctlRecipients; }
    CMy_Sel_All_Edit* composer() const override { return m_ctlComposer; }
    const ExclusionCache& exclusionCache() const { return m_exclusionCache; }

    QString m_strNumber;
    QString m_strMessage;
    QString m_strAppliedMessage;
    quint32 m_dwSendStartTick = 0; // when the last send worker started
    int m_nCountBeforeImport = 0;  // rows in the list when the last import began

    bool skipDuplicates() const override;
    bool useExclusionRules() const override;
    bool saveSentItems() const;
    bool saveTemplates() const;
    bool delayedDelivery() const;

    bool IsDuplicateNumber(const QString& number) const;
    bool IsExcludedNumber(const QString& number) const;
    QString NormalizeImportedNumber(const QString& raw) const;
    void UpdateTotalNumbers() override;
    void LoadExclusionNumbers() override;

    // The recipient list's "Status" column, next to the number; hidden again when the list empties.
    void showStatusColumn();

    // The device status line and the selected-device line.
    void setStatusLineVisible(bool visible);
    void setDeviceLine(const QString& text);
    QString deviceLine() const;
    // "Request delivery reports", shown while a GSM modem is selected.
    QCheckBox* deliveryReportsBox() const { return m_deliveryReports; }
    // "Parallel Process for SMS Sending", shown while two or more GSM modems are selected.
    QCheckBox* parallelBox() const { return m_parallel; }

    // Ends the process when the user confirms leaving; replaceable for tests.
    using ExitHandler = std::function<void(int code)>;
    static void setExitHandler(ExitHandler handler);

    // Brings the window to the front: restores it when minimised and raises
    // whichever modal dialog is in front of it.
    void bringToFront() override;

    // What the send command and the device watch read and set.
    QString numberText() const;
    QString composerText() const override;
    QString pauseEveryText() const;
    QString pauseForText() const;
    void focusNumber() override;
    void focusPauseCombo(int id);
    void setAddEnabled(bool enabled) override;
    void setUpdateEnabled(bool enabled) override;
    bool isStatusLineVisible() const;
    // Timer 1 (10 ms): started by the first send, acts as timer 2.
    void startFastWatch();
    void setWatchTimerRunning(bool running); // timer 2

    // What the commands of the imports, exports and data dialogs use (see CommandHost).
    QWidget* commandWindow() override { return this; }
    void provideCommand(Command command, QObject* owner, std::function<void()> run) override;
    QString takeComposedMessage() override;
    void setRowsBeforeImport(int rows) override { m_nCountBeforeImport = rows; }
    const NumberIndex& exclusionIndex() const override { return m_exclusionCache.index(); }
    void setWindowEnabled(bool enabled) override { setEnabled(enabled); }

    // Hooks for the commands built elsewhere (imports, templates, sending...).
    // Each defaults to a notice that the feature is not available yet.
    std::function<void()> onLoadContacts, onDynamicMessages, onExport, onExclusionWizard, onViewTemplates,
        onShowSentItems, onConnectionWizard, onSendSms;
    // The device probe run by initialisation and the timers; does nothing until a device link is installed.
    std::function<void()> runDeviceProbe;
    // The periodic handset probe of timer 99.
    std::function<void()> runPinProbe;
    // A click on the device status line, and the first paint of the window.
    std::function<void()> onStatusLineClicked, onFirstPaint;

public slots:
    void OnAdd();
    void OnClearSelected();
    void OnClearAll();
    void OnReset();
    void OnApplyMessage();
    void OnUpdateSelectedMessages();
    void OnUpdateRow();
    void OnExit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void accept() override;
    void showEvent(QShowEvent* event) override;
    // Shrinks the default size to the screen's free area, never below the minimum.
    void fitToScreen();
    void resizeEvent(QResizeEvent* event) override;
    // Gives the banner back its height as the window grows past its least size.
    void fitBanner();

public:
    // Where a window's frame goes so that it lies on the screen's free area as far as it
    // fits, its title bar always inside.
    static QPoint FramePlacedOnScreen(const QRect& frame, const QRect& available);
    static constexpr QSize kFrameAllowance{16, 40};
    static constexpr int kBannerHeight = 100;
    static constexpr int kBannerLeast = 40;
    // What the window holds below the banner at its default size.
    static constexpr int kBodyHeight = 680 - kBannerHeight;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    QWidget* buildLeftColumn();
    QWidget* buildOptions();
    QWidget* buildBottom();
    void onTimer2();
    void onUseExclusionToggled(bool checked);
    void onDelayedDeliveryToggled(bool checked);
    void onRowsInserted();
    void showAbout();
    void showHelp();
    void notAvailableYet(const QString& feature);
    void runHook(const std::function<void()>& hook, const QString& feature);
    std::function<void()>& hookFor(Command command);
    // The commands offered through provideCommand, by command; they end before the window does.
    void endCommands();
    QHash<int, QPointer<QObject>> m_commands;

    RecipientListModel* m_model = nullptr;
    ExclusionCache m_exclusionCache;

    CSpecialEdit* m_ctlNumber = nullptr;
    CMy_Sel_All_Edit* m_ctlComposer = nullptr;
    CMyListCtrl* m_ctlRecipients = nullptr;
    MessageCounter* m_counter = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_update = nullptr;
    CColorStatic* m_total = nullptr;
    CColorStatic* m_charCounter = nullptr;
    CColorStatic* m_deviceLine = nullptr;
    CColorStatic* m_statusLine = nullptr;
    QCheckBox* m_delayed = nullptr;
    QCheckBox* m_deliveryReports = nullptr;
    QComboBox* m_pauseEvery = nullptr;
    QComboBox* m_pauseFor = nullptr;
    QCheckBox* m_useExclusion = nullptr;
    QCheckBox* m_skipDuplicates = nullptr;
    QCheckBox* m_saveSent = nullptr;
    QCheckBox* m_saveTemplates = nullptr;
    QCheckBox* m_unicode = nullptr;
    QCheckBox* m_clearAfterSend = nullptr;
    QCheckBox* m_parallel = nullptr;
    QPointer<CPlease_Wail_Modeless> m_wait;

    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;
    QTimer* m_timer99 = nullptr;
    bool m_firstPaintDone = false;
    QWidget* m_banner = nullptr;
    QElapsedTimer m_processScan;
    bool m_desktopManagerRunning = false;
};
