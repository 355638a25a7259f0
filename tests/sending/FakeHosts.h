#pragma once

#include "app/core/AppState.h"
#include "platform/com/DesktopApi.h"
#include "device/link/DeviceLinkHost.h"
#include "sending/SendRun.h"

#include <QMap>
#include <QStringList>

#include <functional>

// Plays the main window for the device routine and the send run, recording
// every call as a line of text.
class FakeHost : public DeviceLinkHost, public SendRunHost
{
public:
    QList<RecipientRow> rows;
    SendOptions opts;
    QStringList excluded;
    QStringList calls;
    QStringList statusLines;
    QList<int> pauses;
    QMap<int, RowStatus> statuses;
    bool statusColumnShown = false;
    bool deviceInitShown = false;
    bool progressOpen = true;
    std::function<void()> onHandsetLost;
    std::function<void()> onHideStatusLine;

    // DeviceLinkHost
    int recipientCount() override { return int(rows.size()); }
    void hideStatusLine() override
    {
        calls << QStringLiteral("hideStatusLine");
        if (onHideStatusLine)
            onHideStatusLine();
    }
    void showDeviceInitDialog() override
    {
        deviceInitShown = true;
        calls << QStringLiteral("showDeviceInit");
    }
    void hideDeviceInitDialog() override
    {
        deviceInitShown = false;
        calls << QStringLiteral("hideDeviceInit");
    }
    bool closeProgressDialog() override
    {
        calls << QStringLiteral("closeProgress");
        return std::exchange(progressOpen, false);
    }
    void setMainWindowEnabled(bool enabled) override
    {
        calls << (enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
    }
    void handsetLost() override
    {
        calls << QStringLiteral("handsetLost");
        if (onHandsetLost)
            onHandsetLost();
    }
    void showSecurityNotice() override { calls << QStringLiteral("securityNotice"); }

    // SendRunHost
    QList<RecipientRow> recipients() override { return rows; }
    SendOptions options() override { return opts; }
    bool isExcluded(const QString& number) override { return excluded.contains(number, Qt::CaseInsensitive); }
    bool hasDeviceInitDialog() override { return deviceInitShown; }
    void showProgressDialog() override { calls << QStringLiteral("showProgress"); }
    void setupProgress(int total, const QString& first) override
    {
        calls << QStringLiteral("setup %1 %2").arg(total).arg(first);
    }
    void showRow(int row, int total, const QString& number) override
    {
        calls << QStringLiteral("row %1/%2").arg(row + 1).arg(total);
        statusLines << QStringLiteral("Currently sending to : ") + number;
    }
    void setStatusLine(const QString& text) override { statusLines << text; }
    void setRowStatus(const QList<int>& rows, RowStatus status) override
    {
        for (int row : rows)
            statuses[row] = status;
    }
    void showStatusColumn() override { statusColumnShown = true; }
    void beginPause(int ms) override
    {
        pauses << ms;
        calls << QStringLiteral("pause %1").arg(ms);
        g_nPauseRemainingMs = ms - 1000;
        g_bPausing = true;
    }
    void endPause() override
    {
        calls << QStringLiteral("endPause");
        g_nPauseRemainingMs = 0;
        g_bPausing = false;
    }
    void showSuccess() override { calls << QStringLiteral("Message sent successfully."); }
    QStringList questions;
    bool goOn = false; // the answer to every question
    bool askToGoOn(const QString& question) override
    {
        questions << question;
        return goOn;
    }
    void restoreAfterNoHandset() override { calls << QStringLiteral("restoreAfterNoHandset"); }
};

// No real waiting; counts what was slept and can act on a given sleep.
class FakeClock : public SendClock
{
public:
    qint64 sleptMs = 0;
    int sleeps = 0;
    std::function<void(int sleepNumber)> onSleep;
    void sleepMs(int ms) override
    {
        sleptMs += ms;
        ++sleeps;
        if (onSleep)
            onSleep(sleeps);
    }
};

// A channel that records packets, can fail after a number of writes, and can
// act on a packet before taking it.
class RecordingChannel final : public IChannel
{
public:
    QList<QByteArray> packets;
    int failAfter = -1;
    HRESULT failure = E_DEVICE_NOT_CONNECTED; // what a write past failAfter returns
    std::function<void(const QByteArray& packet)> beforeWrite;

    HRESULT QueryInterface(const Guid& iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IChannel) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT GetName(BSTR* name) override
    {
        *name = QStringLiteral("JDE_USBClient");
        return S_OK;
    }
    HRESULT GetMaxPacketSize(std::int32_t* bytes) override
    {
        *bytes = 16389;
        return S_OK;
    }
    HRESULT GetPacketsWritten(std::int32_t* count) override
    {
        *count = std::int32_t(packets.size());
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }
    HRESULT WritePacket(const std::uint8_t* bytes, std::int32_t count) override
    {
        if (failAfter >= 0 && packets.size() >= failAfter)
            return failure;
        const QByteArray packet(reinterpret_cast<const char*>(bytes), count);
        if (beforeWrite)
            beforeWrite(packet);
        packets.append(packet);
        return S_OK;
    }
    std::uint32_t refs = 1;
};

inline void resetSharedState()
{
    g_strDevicePin.clear();
    g_strDesktopManager.clear();
    g_strDeviceName.clear();
    g_bDeviceSelected = false;
    g_bPinProbeOnly = false;
    g_nSendRequest = 0;
    g_bDeviceSeen = false;
    g_bStopRequested = false;
    g_bStartPacketSent = false;
    g_bInstallModule = true;
    g_nHandsetWarningShown = 0;
    g_nPauseRemainingMs = 0;
    g_bPausing = false;
    g_strPauseEvery.clear();
    g_strPauseFor.clear();
    g_bHandsetLost = false;
}
