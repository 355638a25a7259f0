#include "SerialPortList.h"

#include "platform/PortMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <limits>

namespace {

struct Family
{
    const char* prefix;
    int firstNumber;
    int count;
};

constexpr Family families[] = {{"ttyS", 1, 32}, {"ttyACM", 33, 32}, {"ttyUSB", 65, 191}};

QByteArray readSmallFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(256).trimmed();
}

// Serial-core ports report their UART type; 0 means no UART answered at that address.
bool hasUart(const QString& ttyFolder)
{
    if (!QFileInfo::exists(ttyFolder + QStringLiteral("/device")))
        return false;
    const QByteArray type = readSmallFile(ttyFolder + QStringLiteral("/type"));
    return type.isEmpty() || type != "0";
}

// The USB product name sits on the USB device, a few folders above the interface.
QString usbProduct(const QString& ttyFolder)
{
    QString folder = QFileInfo(ttyFolder + QStringLiteral("/device")).canonicalFilePath();
    for (int depth = 0; depth < 4 && !folder.isEmpty() && folder != QStringLiteral("/"); ++depth) {
        const QByteArray product = readSmallFile(folder + QStringLiteral("/product"));
        if (!product.isEmpty())
            return QString::fromUtf8(product);
        folder = QFileInfo(folder).path();
    }
    return {};
}

std::optional<int> portNumberOf(const QString& ttyName, const Family& family)
{
    const QString prefix = QLatin1String(family.prefix);
    if (!ttyName.startsWith(prefix))
        return std::nullopt;
    const QString digits = ttyName.mid(prefix.size());
    bool ok = false;
    const int index = digits.toInt(&ok);
    if (!ok || digits != QString::number(index) || index < 0 || index >= family.count)
        return std::nullopt;
    return family.firstNumber + index;
}

// All ports by number, PortMap entries over machine ports.
QMap<int, SerialPortList::Port> allPorts(const QString& sysClassTty)
{
    QMap<int, SerialPortList::Port> ports;
    for (const SerialPortList::Port& port : SerialPortList::machinePorts(sysClassTty)) {
        if (const auto number = SerialPortList::parsePortName(port.name))
            ports.insert(*number, port);
    }
    for (const PortEntry& entry : PortMap::entries()) {
        const SerialPortList::Port port{QStringLiteral("COM%1").arg(entry.number), entry.devicePath, entry.description};
        if (const auto number = SerialPortList::parsePortName(port.name))
            ports.insert(*number, port);
    }
    return ports;
}

} // namespace

namespace SerialPortList {

std::optional<int> parsePortName(const QString& name)
{
    if (name.size() <= 3 || !name.startsWith(QLatin1String("COM")))
        return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = 3; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return int(value);
}

QList<Port> machinePorts(const QString& sysClassTty)
{
    QList<Port> out;
    const QDir dir(sysClassTty);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        for (const Family& family : families) {
            const auto number = portNumberOf(name, family);
            if (!number)
                continue;
            const QString folder = dir.filePath(name);
            const bool builtIn = family.firstNumber == 1;
            if (builtIn && !hasUart(folder))
                break;
            const QString comName = QStringLiteral("COM%1").arg(*number);
            out.append({comName, QStringLiteral("/dev/") + name,
                        builtIn ? QStringLiteral("Communications Port (%1)").arg(comName) : usbProduct(folder)});
            break;
        }
    }
    return out;
}

Enumeration enumerate(const QString& sysClassTty)
{
    Enumeration result;
    const QMap<int, Port> ports = allPorts(sysClassTty);
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        result.numbers.append(it.key());
        result.descriptions.append(it->description);
    }
    return result;
}

QString devicePathFor(int number, const QString& sysClassTty)
{
    return allPorts(sysClassTty).value(number).devicePath;
}

} // namespace SerialPortList
