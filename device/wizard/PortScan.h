#pragma once

#include "device/serial/SMSSerialPort.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// How long the connection wizard waits. Process-wide so tests can shorten it
// before a dialog opens.
struct ScanTiming
{
    int settleMs = 1000; // pause after each port
    int probeTimeoutMs = CSMSSerialPort::ProbeTimeoutMs;
    int selectionTimeoutMs = CSMSSerialPort::SelectionTimeoutMs;

    static ScanTiming current();
    static void setCurrent(const ScanTiming& timing);
};

namespace PortScanText {
QString portName(int number); // "COM7"
// The port number of a "COM<n>" name; 0 when it is none.
int portNumber(const QString& name);
QString modemDetails(const QString& model, int number);
QString unknownDetails(int number);
inline const QString requestTimeout = QStringLiteral("Request Timeout");
inline const QString cannotAccess = QStringLiteral("Cannot access this port");
inline const QString communicationsPort = QStringLiteral("Communications Port");
// The start of the status of a port another program holds.
inline const QString inUse = QStringLiteral("In use by another program");
} // namespace PortScanText

// One scan of the COM ports. run() works on the scan thread with one port
// object for every port; hold(), release() and stop() come from the GUI
// thread and take effect between ports, never while a port is open.
class PortScan
{
public:
    struct Sink
    {
        std::function<void(int portCount)> started;
        std::function<void(int row)> stepped; // a port's turn began
        std::function<void(int row, int number, const QString& details)> rowReady;
        std::function<void(int row, const QString& status)> statusReady;
    };

    explicit PortScan(const ScanTiming& timing = ScanTiming::current()) : m_timing(timing) {}

    void run(const Sink& sink);

    void hold();
    void release();
    // Ends the scan before its next port; a wait for an answer ends at once.
    void stop();
    // Ends a serial wait in progress; repeat it while the scan winds down, as
    // a cancel made between two waits is dropped by the next one.
    void cancelWait() { m_port.cancelWait(); }

    bool stopRequested() const { return m_stop.load(); }
    // The scan thread is parked between ports until release() or stop().
    bool isHeld() const { return m_parked.load(); }

private:
    bool waitWhileHeld();
    bool pause(int ms);
    // Probes the port; when `model` is given and it answers, asks its model.
    bool probe(int number, QString* model);

    const ScanTiming m_timing;
    CSMSSerialPort m_port;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_hold = false;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_parked{false};
};
