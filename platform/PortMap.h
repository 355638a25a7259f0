#pragma once

#include <QList>
#include <QString>

// COM port numbers for serial devices that have no number of their own here:
// the emulated handsets' modems (and any device a user maps by hand). One file
// per port in Paths::portsFolder(), named "COM<n>", holding two UTF-8 lines:
// the device node (for example /dev/pts/7) and the device description (may be
// empty). The port enumeration lists these beside the machine's serial ports.
struct PortEntry
{
    int number = 0;
    QString devicePath;
    QString description;
};

namespace PortMap {

bool publish(const PortEntry& entry, QString* error = nullptr);
void withdraw(int number);
// Entries in port-number order; unreadable or malformed files are skipped.
QList<PortEntry> entries();

} // namespace PortMap
