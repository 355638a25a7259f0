#pragma once

#include "PortLock.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// One open serial port: exclusive, raw, 9600 baud 8N1, no software flow
// control, reads that return at once with whatever is waiting. Every call
// returns a Win32 error number from SerialErrors (0 on success) instead of
// throwing, so the class above decides how failures are reported.
//
// Not shared between threads, except cancelWait(), which another thread may
// call to end a waitForCharacter() in progress.
class SerialDevice
{
public:
    enum class WaitResult
    {
        CharacterArrived,
        TimedOut,
        Cancelled,
        Failed
    };

    static constexpr qsizetype MaxReadSize = 4096;

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens "COM<portNumber>" (see SerialPortList::devicePathFor). A port that
    // is already open anywhere (its UUCP lock, TIOCEXCL or flock held) gives SharingViolation; a port number with no
    // device gives FileNotFound. Closes what it opened when a later step fails.
    quint32 open(int portNumber);
    // Opens a device node directly with the same settings.
    quint32 openPath(const QString& devicePath);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Writes every byte. A line that takes no byte for timeoutMs gives SemTimeout.
    quint32 write(const QByteArray& bytes, int timeoutMs);
    // Replaces `out` with what is waiting, at most MaxReadSize bytes; empty when nothing is.
    // A line that was hung up gives IoDevice.
    quint32 read(QByteArray& out);
    // Waits until a character can be read, the time-out passes or cancelWait() is called.
    // Nothing stays pending after a time-out or a cancel (a backend with
    // overlapped waits cancels its own). A hang-up gives Failed with the error in *error.
    WaitResult waitForCharacter(int timeoutMs, quint32* error);
    // Ends a wait in progress. A cancel made while no wait runs is dropped by the next wait.
    void cancelWait();

private:
    quint32 configure();
    void drainWakePipe();

    PortLock m_lock;
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
};
