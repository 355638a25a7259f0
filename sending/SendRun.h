#pragma once

#include "app/core/SendStatus.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

class DeviceLinkHost;
struct IChannel;

struct RecipientRow
{
    QString number;
    QString message;
    // Sent or Uncertain: an earlier run took care of the row and this run passes it over.
    RowStatus keep = RowStatus::None;
    // The user chose to send the row again: what earlier runs knew of it no longer counts.
    bool sendAgain = false;
};

// The main window's options as the send run reads them, row by row.
struct SendOptions
{
    bool useExclusion = false;
    bool skipDuplicates = false;
    bool saveSentItems = false;
    bool saveTemplates = false;
    bool delayedDelivery = false;
};

// What the send run asks of the main window and its progress dialog. The GUI
// carries each call to the user-interface thread.
class SendRunHost
{
public:
    virtual ~SendRunHost() = default;

    virtual QList<RecipientRow> recipients() = 0;
    virtual SendOptions options() = 0;
    virtual bool isExcluded(const QString& number) = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;
    virtual bool hasDeviceInitDialog() = 0;
    virtual void hideDeviceInitDialog() = 0;
    virtual void showProgressDialog() = 0;
    // Bars and texts for a run of `total` rows, the first one to `firstNumber`.
    virtual void setupProgress(int total, const QString& firstNumber) = 0;
    // Moves the list selection to the row, steps the bar, fills the counter and status lines.
    virtual void showRow(int row, int total, const QString& number) = 0;
    virtual void setStatusLine(const QString& text) = 0;
    // What the run did with the rows (the list's status column).
    virtual void setRowStatus(const QList<int>& rows, RowStatus status) = 0;
    // The run ended without its success message: the status column shows where it stopped.
    virtual void showStatusColumn() = 0;
    // Starts the pause countdown of `totalMs` (pause line, timers, shared pause state).
    virtual void beginPause(int totalMs) = 0;
    virtual void endPause() = 0;
    // Stops the activity timer and closes the progress dialog; false when there was none.
    virtual bool closeProgressDialog() = 0;
    virtual void showSuccess() = 0;
    // A Yes/No question (No the default) while the run holds: true for Yes.
    virtual bool askToGoOn(const QString& question) = 0;
    // Main-window side of the worker's wrap-up when no handset was found.
    virtual void restoreAfterNoHandset() = 0;
};

// A host that passes every call on to another; one that adds to a few calls
// derives from it (with `Base` a host interface that extends SendRunHost) and
// overrides those.
template <typename Base = SendRunHost> class ForwardingHost : public Base
{
public:
    explicit ForwardingHost(SendRunHost& inner) : m_inner(inner) {}

    QList<RecipientRow> recipients() override { return m_inner.recipients(); }
    SendOptions options() override { return m_inner.options(); }
    bool isExcluded(const QString& number) override { return m_inner.isExcluded(number); }
    void setMainWindowEnabled(bool enabled) override { m_inner.setMainWindowEnabled(enabled); }
    bool hasDeviceInitDialog() override { return m_inner.hasDeviceInitDialog(); }
    void hideDeviceInitDialog() override { m_inner.hideDeviceInitDialog(); }
    void showProgressDialog() override { m_inner.showProgressDialog(); }
    void setupProgress(int total, const QString& firstNumber) override { m_inner.setupProgress(total, firstNumber); }
    void showRow(int row, int total, const QString& number) override { m_inner.showRow(row, total, number); }
    void setStatusLine(const QString& text) override { m_inner.setStatusLine(text); }
    void setRowStatus(const QList<int>& rows, RowStatus status) override { m_inner.setRowStatus(rows, status); }
    void showStatusColumn() override { m_inner.showStatusColumn(); }
    void beginPause(int totalMs) override { m_inner.beginPause(totalMs); }
    void endPause() override { m_inner.endPause(); }
    bool closeProgressDialog() override { return m_inner.closeProgressDialog(); }
    void showSuccess() override { m_inner.showSuccess(); }
    bool askToGoOn(const QString& question) override { return m_inner.askToGoOn(question); }
    void restoreAfterNoHandset() override { m_inner.restoreAfterNoHandset(); }

protected:
    SendRunHost& m_inner;
};

// Time as the send run sees it; tests shorten it, end-to-end runs use real time.
class SendClock
{
public:
    virtual ~SendClock() = default;
    virtual void sleepMs(int ms) = 0;
    static SendClock& real();
};

// Holds the worker while the Stop question is on screen: no packet is written
// and no row is started between hold() and release().
class StopGate
{
public:
    void hold();
    void release();
    bool isHeld() const;
    void waitWhileHeld();

private:
    mutable QMutex m_mutex;
    QWaitCondition m_released;
    bool m_held = false;
};

// The pause settings read from the two combo texts.
struct PauseSettings
{
    int every = 0; // N
    int value = 0; // V
    QChar unit;    // U
    qint64 lengthMs() const;
};
int ParsePauseEvery(const QString& text);
PauseSettings ParsePauseSettings(const QString& pauseEvery, const QString& pauseFor);

// "Pausing the process for ..." for the given remaining milliseconds.
QString PauseText(qint64 remainingMs);

// The questions of a run whose records cannot be written.
QString JournalUnwritableQuestion(const QString& reason);
QString RecordUnwritableQuestion(const QString& fileName, const QString& reason);

// Walks the rows and writes one packet per message on the channel, keeping the
// send journal and the rows' statuses. A message whose write failed is
// "Uncertain" when it was handed over and never confirmed, "Failed" when it was
// refused. Device errors propagate as ComError. Returns true when the list was
// done without Stop.
bool SendRun(IChannel* channel, SendRunHost& host, StopGate& gate, SendClock& clock);

// The send worker's device step: a device client with a send request, the
// send run, and the wrap-up. A device error while the send is still requested
// runs this step once more (allowRepeat), never more.
void RunSendWorkerDeviceStep(DeviceLinkHost& device, SendRunHost& host, StopGate& gate, SendClock& clock,
                             bool allowRepeat = true);
