#include "CCorvaneDlg.h"
#include "CCorvaneDlgParts.h"

#include "app/AboutDialogs.h"
#include "app/controls/SupportLinks.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"
#include "device/dialogs/CVistaMessage.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "store/DataFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdlib>

using namespace CorvaneDlgParts;

namespace {

// Said once at start-up; the record operations themselves fail quietly.
QString dataFilesNotice(const DataFiles::EnsureReport& report)
{
    if (report.noProgramFolder)
        return QStringLiteral("The program folder cannot be found, so there is no data folder.\n\nSent items, "
                              "templates and exclusion lists cannot be saved. You can still send messages, but nothing "
                              "will be logged.");
    if (report.failures.contains(DataFiles::dataFolder()))
        return QStringLiteral(
                   "The data folder \"%1\" cannot be written.\n\nSent items, templates and exclusion lists "
                   "cannot be saved in that folder. You can still send messages, but nothing will be logged.")
            .arg(DataFiles::dataFolder());
    return QStringLiteral("These data files cannot be saved:\n\n%1\n\nEach must be a file you may read and write. "
                          "Until then what would go into them is lost; you can still send messages.")
        .arg(report.failures.join(QLatin1Char('\n')));
}

CCorvaneDlg::ExitHandler& exitHandler()
{
    static CCorvaneDlg::ExitHandler handler = [](int code) { std::_Exit(code); };
    return handler;
}

} // namespace

CCorvaneDlg::CCorvaneDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    Theme::applyDialogLook(this);
    m_model = new RecipientListModel(this);
    connect(m_model, &RecipientListModel::rowsInserted, this, &CCorvaneDlg::onRowsInserted);
    connect(m_model, &RecipientListModel::countChanged, this, &CCorvaneDlg::UpdateTotalNumbers);
    connect(m_model, &RecipientListModel::recoveredRowsMarked, this, &CCorvaneDlg::showStatusColumn);
    buildUi();
    connect(m_model, &RecipientListModel::countChanged, this, [this](int count) {
        if (count == 0)
            m_ctlRecipients->hideColumnAt(RecipientListModel::Status);
    });

    m_timer1 = new QTimer(this);
    m_timer1->setInterval(10);
    connect(m_timer1, &QTimer::timeout, this, &CCorvaneDlg::onTimer2);
    m_timer2 = new QTimer(this);
    m_timer2->setInterval(1000);
    connect(m_timer2, &QTimer::timeout, this, &CCorvaneDlg::onTimer2);
    m_timer99 = new QTimer(this);
    m_timer99->setInterval(5000);
    connect(m_timer99, &QTimer::timeout, this, [this] {
        if (runPinProbe)
            runPinProbe();
    });
}

CCorvaneDlg::~CCorvaneDlg()
{
    if (g_pMainDlg == this)
        g_pMainDlg = nullptr;
    // The commands end while the window is still whole: one may wait for its
    // worker, whose last rows still reach the list.
    endCommands();
    // The children go after this object's part is gone: their last signals
    // (a focus leaving the composer) must not reach it.
    for (QWidget* child : findChildren<QWidget*>())
        child->blockSignals(true);
}

void CCorvaneDlg::setExitHandler(ExitHandler handler)
{
    exitHandler() = handler ? std::move(handler) : [](int code) { std::_Exit(code); };
}

void CCorvaneDlg::initialise()
{
    g_pMainDlg = this;
    m_ctlNumber->setFormat(std::make_unique<DecimalFormat>());

    const auto first = DataFiles::EnsureDataFiles();
    if (!first.ok())
        Ui::notice(this, dataFilesNotice(first));
    const Registry registry;
    if (registry.isNonEmptyCString(QString::fromLatin1(Registry::kPolicies), QStringLiteral("EnableLUA"))) {
        CVistaMessage advice(this);
        advice.exec();
    }
    DataFiles::EnsureDataFiles();

    m_statusLine->setText(kStatusText);
    m_timer2->start();
    g_bPinProbeOnly = false;
    g_nSendRequest = 0;
    g_bStartPacketSent = false;
    if (runDeviceProbe)
        runDeviceProbe();

    m_ctlNumber->setFocus();
    m_update->setEnabled(false);
    UpdateTotalNumbers();
    m_charCounter->setText(QStringLiteral("0 Characters "));
}

void CCorvaneDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_firstPaintDone)
        return;
    m_firstPaintDone = true;
    // Placed before its frame was known, the window may have its title bar above the
    // screen, where nobody can grab it: once the window manager has framed it, it moves down.
    QTimer::singleShot(300, this, [this] {
        if (const QScreen* screen = this->screen()) {
            const QPoint at = FramePlacedOnScreen(frameGeometry(), screen->availableGeometry());
            if (at != frameGeometry().topLeft())
                move(at);
        }
    });
    // After the first paint: look for the device service, then probe the handset every 5 s.
    QTimer::singleShot(0, this, [this] {
        if (onFirstPaint)
            onFirstPaint();
        m_timer99->start();
    });
}

QString CCorvaneDlg::numberText() const
{
    return m_ctlNumber->text();
}

QString CCorvaneDlg::composerText() const
{
    return m_ctlComposer->text();
}

QString CCorvaneDlg::pauseEveryText() const
{
    return m_pauseEvery->currentText();
}

QString CCorvaneDlg::pauseForText() const
{
    return m_pauseFor->currentText();
}

void CCorvaneDlg::focusNumber()
{
    m_ctlNumber->setFocus();
}

void CCorvaneDlg::focusPauseCombo(int id)
{
    (id == 1028 ? m_pauseEvery : m_pauseFor)->setFocus();
}

void CCorvaneDlg::setAddEnabled(bool enabled)
{
    m_add->setEnabled(enabled);
}

void CCorvaneDlg::setUpdateEnabled(bool enabled)
{
    m_update->setEnabled(enabled);
}

bool CCorvaneDlg::isStatusLineVisible() const
{
    return !m_statusLine->isHidden();
}

void CCorvaneDlg::startFastWatch()
{
    if (!m_timer1->isActive())
        m_timer1->start();
}

void CCorvaneDlg::setWatchTimerRunning(bool running)
{
    if (running && !m_timer2->isActive())
        m_timer2->start();
    else if (!running)
        m_timer2->stop();
}

bool CCorvaneDlg::skipDuplicates() const
{
    return m_skipDuplicates->isChecked();
}
bool CCorvaneDlg::useExclusionRules() const
{
    return m_useExclusion->isChecked();
}
bool CCorvaneDlg::saveSentItems() const
{
    return m_saveSent->isChecked();
}
bool CCorvaneDlg::saveTemplates() const
{
    return m_saveTemplates->isChecked();
}
bool CCorvaneDlg::delayedDelivery() const
{
    return m_delayed->isChecked();
}

void CCorvaneDlg::setStatusLineVisible(bool visible)
{
    m_statusLine->setVisible(visible);
}

void CCorvaneDlg::setDeviceLine(const QString& text)
{
    m_deviceLine->setText(text);
}

QString CCorvaneDlg::deviceLine() const
{
    return m_deviceLine->text();
}

void CCorvaneDlg::onUseExclusionToggled(bool checked)
{
    if (checked)
        LoadExclusionNumbers();
}

void CCorvaneDlg::onDelayedDeliveryToggled(bool checked)
{
    m_pauseEvery->setEnabled(checked);
    m_pauseFor->setEnabled(checked);
    m_pauseEvery->setCurrentIndex(checked ? kPauseEvery.indexOf(QStringLiteral("15")) : -1);
    m_pauseFor->setCurrentIndex(checked ? kPauseFor.indexOf(QStringLiteral(" 2  Minutes")) : -1);
}

void CCorvaneDlg::onTimer2()
{
    if (!g_strDevicePin.isEmpty() && !g_strDesktopManager.isEmpty())
        setStatusLineVisible(false);
    else
        g_bHandsetLost = false;
    if (!g_strDevicePin.isEmpty() || !runDeviceProbe)
        return;
    // Timer 1 ticks every 10 ms: look at the process list at most once a second.
    if (!m_processScan.isValid() || m_processScan.elapsed() >= 1000) {
        m_processScan.start();
        m_desktopManagerRunning = isDesktopManagerRunning(runningProcessNames());
    }
    if (m_desktopManagerRunning)
        runDeviceProbe();
}

void CCorvaneDlg::OnExit()
{
    if (isMinimized())
        showNormal();
    const int answer = Ui::messageBox(this,
                                      QStringLiteral("Do you really want to exit from 'Ulmex Veva SMS - BlackBerry "
                                                     "Mobile Phones'?"),
                                      QStringLiteral("Message"), Ui::Buttons::YesNo, Ui::Icon::Question);
    if (answer != Ui::IdYes)
        return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == QLatin1String("Ulmex Veva SMS - BlackBerry Mobile Phones Help Manual"))
            w->close();
    }
    exitHandler()(0);
}

void CCorvaneDlg::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

void CCorvaneDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Cancel:
        event->accept();
        return;
    case Qt::Key_F1:
        event->accept();
        showHelp();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CCorvaneDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    OnExit();
}

void CCorvaneDlg::reject()
{
    // Escape never closes the main window.
}

void CCorvaneDlg::accept()
{
    // Neither does Enter.
}

bool CCorvaneDlg::eventFilter(QObject* watched, QEvent* event)
{
    return QDialog::eventFilter(watched, event);
}

void CCorvaneDlg::showAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void CCorvaneDlg::showHelp()
{
    HelpSupportDialog dialog(this);
    dialog.exec();
}

void CCorvaneDlg::runHook(const std::function<void()>& hook, const QString& feature)
{
    if (hook)
        hook();
    else
        notAvailableYet(feature);
}

void CCorvaneDlg::notAvailableYet(const QString& feature)
{
    Ui::notice(this, QStringLiteral("\"%1\" is not available in this version yet.").arg(feature));
}
