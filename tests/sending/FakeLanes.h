#pragma once

#include "app/core/AppState.h"
#include "device/modem/ModemChannel.h"
#include "sending/ParallelSendRun.h"

#include <QMap>
#include <QMutex>
#include <QRandomGenerator>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

// Plays the main window for a run with several lanes; called from every lane's
// thread, so everything it keeps is behind one lock.
class LaneHost : public ParallelRunHost
{
public:
    QList<RecipientRow> rows;
    SendOptions opts;
    QStringList excluded;

    QMap<int, RowStatus> statuses() const
    {
        QMutexLocker lock(&m_mutex);
        return m_statuses;
    }
    QMap<int, QString> rowLanes() const
    {
        QMutexLocker lock(&m_mutex);
        return m_rowLanes;
    }
    QStringList lost() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lost;
    }
    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    // Lines the lanes showed, as "<lane>: <text>", in order.
    QStringList laneHistory() const
    {
        QMutexLocker lock(&m_mutex);
        return m_laneHistory;
    }

    QList<RecipientRow> recipients() override { return rows; }
    SendOptions options() override { return opts; }
    bool isExcluded(const QString& number) override { return excluded.contains(number); }
    void setMainWindowEnabled(bool enabled) override { call(enabled ? "enable" : "disable"); }
    bool hasDeviceInitDialog() override { return false; }
    void hideDeviceInitDialog() override { call("hideDeviceInit"); }
    void showProgressDialog() override { call("showProgress"); }
    void setupProgress(int total, const QString& firstNumber) override
    {
        call(QStringLiteral("setup %1 %2").arg(total).arg(firstNumber));
    }
    void showRow(int, int, const QString&) override {}
    void setStatusLine(const QString&) override {}
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        QMutexLocker lock(&m_mutex);
        for (int row : rows) {
            m_statuses[row] = status;
            m_rowLanes.remove(row);
        }
    }
    void showStatusColumn() override { call("showStatusColumn"); }
    void beginPause(int) override { call("beginPause"); }
    void endPause() override { call("endPause"); }
    bool closeProgressDialog() override
    {
        call("closeProgress");
        return true;
    }
    void showSuccess() override { call("Message sent successfully."); }
    // No to every question.
    bool askToGoOn(const QString& question) override
    {
        call(QStringLiteral("ask ") + question.section(QLatin1Char(':'), 0, 0));
        return false;
    }
    void restoreAfterNoHandset() override {}

    void setupLanes(const QStringList& names) override
    {
        QMutexLocker lock(&m_mutex);
        m_lanes = names;
    }
    void showLane(int lane, const QString& text) override
    {
        QMutexLocker lock(&m_mutex);
        m_laneHistory << m_lanes.value(lane) + QStringLiteral(": ") + text;
    }
    void laneLost(int lane, const QString& text) override
    {
        QMutexLocker lock(&m_mutex);
        m_lost << text;
        m_laneHistory << m_lanes.value(lane) + QStringLiteral(" lost: ") + text;
    }
    void setRowLane(int row, const QString& lane) override
    {
        QMutexLocker lock(&m_mutex);
        m_rowLanes[row] = lane;
    }

private:
    void call(const QString& text)
    {
        QMutexLocker lock(&m_mutex);
        m_calls << text;
    }
    void call(const char* text) { call(QString::fromLatin1(text)); }

    mutable QMutex m_mutex;
    QMap<int, RowStatus> m_statuses;
    QMap<int, QString> m_rowLanes;
    QStringList m_lanes;
    QStringList m_laneHistory;
    QStringList m_lost;
    QStringList m_calls;
};

// Sleeps nothing; counts the sleeps of every lane and can act on one.
class LaneClock : public SendClock
{
public:
    std::atomic<int> sleeps{0};
    std::function<void(int sleepNumber)> onSleep; // set before the run, called on the lane's thread
    void sleepMs(int) override
    {
        const int number = ++sleeps;
        if (onSleep)
            onSleep(number);
    }
};

// A channel that takes messages as text, like a modem, and writes them into a
// log it may share with other channels; waits a random while per message and
// can fail from a given message on.
class TextLaneChannel final : public IChannel, public ITextMessageChannel
{
public:
    struct Sent
    {
        QString channel;
        QString number;
        QString text;
    };
    struct Log
    {
        QMutex mutex;
        QList<Sent> sent;
        void add(const Sent& s)
        {
            QMutexLocker lock(&mutex);
            sent.append(s);
        }
        QList<Sent> all()
        {
            QMutexLocker lock(&mutex);
            return sent;
        }
    };

    TextLaneChannel(QString name, Log& log) : m_name(std::move(name)), m_log(log) {}
    int maxDelayUs = 0;
    int failFrom = -1; // the message (0-based) from which every write fails
    HRESULT failure = E_MODEM_OUTCOME_UNKNOWN;
    std::atomic<int> writes{0};
    std::function<void()> beforeWrite;

    HRESULT QueryInterface(const Guid& iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IChannel)
            *object = static_cast<IChannel*>(this);
        else if (iid == IID_ITextMessageChannel)
            *object = static_cast<ITextMessageChannel*>(this);
        else
            *object = nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    HRESULT GetName(BSTR* name) override
    {
        *name = m_name;
        return S_OK;
    }
    HRESULT GetMaxPacketSize(std::int32_t* bytes) override
    {
        *bytes = 16389;
        return S_OK;
    }
    HRESULT GetPacketsWritten(std::int32_t* count) override
    {
        *count = writes.load();
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }
    // The start packet: nothing to do, as for a modem.
    HRESULT WritePacket(const std::uint8_t*, std::int32_t) override { return S_OK; }
    HRESULT WriteTextMessage(const QString& text, const QString& number, int, int, PartListener*) override
    {
        if (beforeWrite)
            beforeWrite();
        const int n = writes++;
        if (maxDelayUs > 0)
            QThread::usleep(QRandomGenerator::global()->bounded(maxDelayUs));
        if (failFrom >= 0 && n >= failFrom)
            return failure;
        m_log.add({m_name, number, text});
        return S_OK;
    }

private:
    QString m_name;
    Log& m_log;
};
