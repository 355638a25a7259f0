#pragma once

#include <QString>
#include <QtGlobal>

// A serial port taken the way serial programs on Linux share ports: a UUCP
// lock file "LCK..<device>" holding the owner's PID in ten ASCII digits, in
// /run/lock, else /var/lock (VEVA_SMS_LOCK_DIR moves it). A lock whose
// process is gone is stale and is taken over.
class PortLock
{
public:
    enum class Result
    {
        Taken,
        Held,    // a live process holds the lock
        NoFolder // no lock folder can be written: the port is opened without one, as other programs would
    };

    PortLock() = default;
    ~PortLock() { release(); }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    static QString lockFolder();
    // The lock file of a device node (symbolic links followed), empty without a lock folder.
    static QString lockFileFor(const QString& devicePath);
    // The live process holding the device's lock; 0 when none does.
    static qint64 holderOf(const QString& devicePath);

    Result take(const QString& devicePath, qint64* holder = nullptr);
    void release();
    bool isTaken() const { return !m_file.isEmpty(); }

private:
    QString m_file;
};

// Who holds a port before we try to: its UUCP lock, another descriptor's
// exclusive flag (TIOCEXCL) or flock, or ModemManager having it open.
struct PortUse
{
    bool inUse = false;
    qint64 pid = 0;  // when known
    QString program; // "ModemManager" when it is the holder, else the holder's name when known

    // "In use by another program", naming ModemManager when it is the one.
    QString text() const;
    // With openToCheck the port is opened (nothing is written) to read the
    // others' exclusive flag and flock; without, only lock files and ModemManager count.
    static PortUse of(const QString& devicePath, bool openToCheck = true);
};
