#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The COM ports of this machine.
//
// Numbers: the machine's serial ports get fixed numbers from their kernel
// names, so a port keeps its number across reboots and plug-ins:
//   ttyS<n>   -> COM<n+1>   (n 0..31; only ports with a UART behind them)
//   ttyACM<n> -> COM<n+33>  (n 0..31)
//   ttyUSB<n> -> COM<n+65>  (n 0..190, so the highest is COM255)
// Ports published in the PortMap (emulated handsets, ports mapped by hand)
// keep the numbers they were published under and win over a machine port
// with the same number.
//
// Descriptions: ttyS ports read "Communications Port (COM<n>)" like the
// built-in ports of the original platform; USB and ACM ports carry the USB
// product name when sysfs has one, else nothing; PortMap entries carry the
// description they were published with.
namespace SerialPortList {

struct Port
{
    QString name; // "COM<n>"
    QString devicePath;
    QString description;
};

struct Enumeration
{
    QList<int> numbers;
    QStringList descriptions; // parallel to numbers; empty text when there is none
};

// "COM" (case-sensitive) followed by one or more digits only gives the value
// of the digits; anything else, or a value beyond int, gives nothing.
std::optional<int> parsePortName(const QString& name);

// The machine's serial ports found under a sysfs tty class folder, in name order.
QList<Port> machinePorts(const QString& sysClassTty = QStringLiteral("/sys/class/tty"));

// Machine ports and PortMap entries, by port number, names that fail parsePortName left out.
Enumeration enumerate(const QString& sysClassTty = QStringLiteral("/sys/class/tty"));

// The device node behind COM<number>: the PortMap first, then the machine's ports.
// Empty when there is none.
QString devicePathFor(int number, const QString& sysClassTty = QStringLiteral("/sys/class/tty"));

} // namespace SerialPortList
