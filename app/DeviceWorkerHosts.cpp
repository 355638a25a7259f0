// What the device workers ask of the window: the answers of the device link, the send run and the modem.
#include "DeviceController.h"

#include "CCorvaneDlg.h"
#include "DeviceControllerParts.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"

#include <QCheckBox>
#include <QThread>
#include <QTimer>

using namespace DeviceControllerParts;

// --- DeviceLinkHost ---------------------------------------------------------------

int DeviceController::recipientCount()
{
    int count = 0;
    onGui([&] { count = m_main->recipients()->count(); });
    return count;
}

void DeviceController::hideStatusLine()
{
    onGui([this] { m_main->setStatusLineVisible(false); });
}

void DeviceController::showDeviceInitDialog()
{
    onGui([this] {
        if (m_deviceInit)
            m_deviceInit->show();
    });
}

void DeviceController::hideDeviceInitDialog()
{
    onGui([this] {
        if (m_deviceInit)
            m_deviceInit->hide();
    });
}

bool DeviceController::closeProgressDialog()
{
    bool existed = false;
    onGui([&] {
        m_timer1111->stop();
        existed = m_progress != nullptr;
        if (m_progress) {
            m_progress->finish();
            m_progress->deleteLater();
            m_progress = nullptr;
        }
    });
    return existed;
}

void DeviceController::setMainWindowEnabled(bool enabled)
{
    onGui([this, enabled] { m_main->setEnabled(enabled); });
}

void DeviceController::handsetLost()
{
    onGui([this] {
        m_main->setDeviceLine(kNoDevice);
        m_main->setStatusLineVisible(true);
        g_bDeviceSelected = false;
        g_bHandsetLost = true;
        m_main->setEnabled(false);
        if (g_bAdviceDialogOpen)
            return;
        // The advice closes once the handset answers again: the PIN known
        // before the fault says nothing of that, so the probe must read it anew,
        // even though the send worker waits here.
        g_strDevicePin.clear();
        g_bHandsetLost = false;
        const bool fromWorker = QThread::currentThread() == thread() && m_sendThread;
        m_adviceHoldsWorker = fromWorker;
        const int result = openAdvice();
        m_adviceHoldsWorker = false;
        if (result == CFirst::Cancelled) {
            g_strDevicePin.clear();
            g_bHandsetLost = false;
            m_main->setEnabled(true);
        }
    });
}

void DeviceController::showSecurityNotice()
{
    onGui([this] {
        CLong_SMS_Dlg notice(m_main, 0, handsetNotice());
        notice.exec();
    });
}

// --- SendRunHost ---------------------------------------------------------------------

QList<RecipientRow> DeviceController::recipients()
{
    QList<RecipientRow> rows;
    onGui([&] {
        const RecipientListModel* model = m_main->recipients();
        rows.reserve(model->count());
        for (int r = 0; r < model->count(); ++r) {
            const RowStatus status = model->status(r);
            rows.append({model->number(r), model->message(r),
                         m_sendOnlyUnsent && isSentOrUncertain(status) ? status : RowStatus::None, m_sendAllAgain});
        }
        m_main->recipientList()->clearSelection();
        m_lastRunCompleted = false;
        m_recoveredMarks = false;
    });
    return rows;
}

SendOptions DeviceController::options()
{
    SendOptions o;
    onGui([&] {
        o.useExclusion = m_main->useExclusionRules();
        o.skipDuplicates = m_main->skipDuplicates();
        o.saveSentItems = m_main->saveSentItems();
        o.saveTemplates = m_main->saveTemplates();
        o.delayedDelivery = m_main->delayedDelivery();
    });
    return o;
}

bool DeviceController::isExcluded(const QString& number)
{
    bool excluded = false;
    onGui([&] { excluded = m_main->IsExcludedNumber(number); });
    return excluded;
}

bool DeviceController::hasDeviceInitDialog()
{
    bool exists = false;
    onGui([&] { exists = m_deviceInit != nullptr; });
    return exists;
}

void DeviceController::showProgressDialog()
{
    onGui([this] {
        if (m_progress) {
            m_progress->show();
            m_progress->setEnabled(true);
            m_progress->raise();
        }
    });
}

void DeviceController::setupProgress(int total, const QString& firstNumber)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setupRun(total, firstNumber);
    });
}

void DeviceController::showRow(int row, int total, const QString& number)
{
    onGui([=, this] {
        if (row < m_main->recipients()->count())
            m_main->recipientList()->selectOnly(row);
        if (m_progress)
            m_progress->showRow(row, total, number);
    });
}

void DeviceController::setStatusLine(const QString& text)
{
    onGui([=, this] {
        if (m_progress)
            m_progress->setStatusLine(text);
    });
}

void DeviceController::setRowStatus(const QList<int>& rows, RowStatus status)
{
    onGui([=, this] { m_main->recipients()->setStatus(rows, status); });
}

void DeviceController::showStatusColumn()
{
    onGui([this] { m_main->showStatusColumn(); });
}

void DeviceController::beginPause(int totalMs)
{
    onGui([=, this] {
        if (m_progress) {
            m_progress->setPauseLineVisible(true);
            m_progress->setPauseText(PauseText(totalMs));
            m_progress->setStatusLine(QString());
            m_progress->setActivity(0);
        }
        g_nPauseRemainingMs = totalMs;
        m_timer1111->stop();
        g_nPauseRemainingMs = totalMs - 1000;
        g_bPausing = true;
        m_pauseEnding = false;
        m_timer2222->start();
    });
}

void DeviceController::endPause()
{
    onGui([this] {
        m_timer2222->stop();
        g_nPauseRemainingMs = 0;
        if (m_progress)
            m_progress->setPauseText(QString());
        g_bPausing = false;
        m_timer1111->start();
    });
}

void DeviceController::showSuccess()
{
    onGui([this] {
        m_lastRunCompleted = true;
        Ui::notice(m_main, QStringLiteral("Message sent successfully."));
    });
}

bool DeviceController::askToGoOn(const QString& question)
{
    bool yes = false;
    onGui([&] {
        QWidget* over = m_progress && m_progress->isVisible() ? static_cast<QWidget*>(m_progress) : m_main;
        yes = Ui::messageBox(over, question, QStringLiteral("Confirm"), Ui::Buttons::YesNoDefaultNo,
                             Ui::Icon::Warning) == Ui::IdYes;
    });
    return yes;
}

void DeviceController::restoreAfterNoHandset()
{
    onGui([this] {
        m_main->setEnabled(true);
        m_main->UpdateTotalNumbers();
        m_main->setAddEnabled(true);
        m_main->setUpdateEnabled(false);
    });
}

// --- ModemLinkHost ---------------------------------------------------------------------

void DeviceController::modemLost(const QString& text)
{
    onGui([this, text] {
        m_main->setDeviceLine(kNoDevice);
        showModemOptions();
        Ui::notice(m_main, text);
    });
}

bool DeviceController::deliveryReportsRequested()
{
    bool requested = false;
    onGui([&] { requested = m_main->deliveryReportsBox()->isChecked(); });
    return requested;
}

void DeviceController::deliveryReported(int row, const QString& number, const QByteArray& fingerprint,
                                        const Delivery& delivery)
{
    if (delivery.status == RowStatus::Sent)
        return;
    onGui([=, this] {
        RecipientListModel* rows = m_main->recipients();
        const QString key = sendKey(number, fingerprint);
        auto matches = [&](int r) {
            return r >= 0 && r < rows->count() && sendKey(rows->number(r), rows->message(r)) == key &&
                   isSentOrUncertain(rows->status(r));
        };
        int target = matches(row) ? row : -1;
        // The list changed since the run: the same message to the same number, wherever it is now.
        for (int r = 0; r < rows->count() && target < 0; ++r)
            if (matches(r))
                target = r;
        if (target >= 0) {
            rows->setStatus(target, delivery.status, delivery.time.toLocalTime(), delivery.reason);
            // What the network says of each message is what the user asked for: the column shows it.
            m_main->showStatusColumn();
        }
    });
}
