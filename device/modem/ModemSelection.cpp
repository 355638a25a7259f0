#include "ModemSelection.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSettings>
#include <QStringList>

namespace {

QMutex selectionMutex;
QList<SelectedModem> selection;

QString groupName(int index)
{
    return index == 0 ? QStringLiteral("Modem") : QStringLiteral("Modem%1").arg(index + 1);
}

} // namespace

QString SelectedModem::deviceLine() const
{
    const QString identity = QStringLiteral("%1 %2").arg(manufacturer, model).simplified();
    const QString line = QStringLiteral("GSM modem on COM%1").arg(port);
    return identity.isEmpty() ? line : QStringLiteral("%1 (%2)").arg(line, identity);
}

namespace ModemSelection {

void select(const SelectedModem& modem)
{
    QMutexLocker lock(&selectionMutex);
    selection = {modem};
}

void selectAll(const QList<SelectedModem>& modems)
{
    QMutexLocker lock(&selectionMutex);
    selection = modems;
}

void clear()
{
    QMutexLocker lock(&selectionMutex);
    selection.clear();
}

std::optional<SelectedModem> current()
{
    QMutexLocker lock(&selectionMutex);
    if (selection.isEmpty())
        return std::nullopt;
    return selection.first();
}

QList<SelectedModem> all()
{
    QMutexLocker lock(&selectionMutex);
    return selection;
}

QString deviceLine(const QList<SelectedModem>& modems)
{
    if (modems.size() == 1)
        return modems.first().deviceLine();
    QStringList ports;
    for (const SelectedModem& modem : modems)
        ports << QStringLiteral("COM%1").arg(modem.port);
    if (ports.isEmpty())
        return QString();
    const QString last = ports.takeLast();
    return QStringLiteral("GSM modems on %1 and %2").arg(ports.join(QStringLiteral(", ")), last);
}

QString rememberedFile()
{
    return Paths::configFolder() + QStringLiteral("/modem.ini");
}

bool remember(const SelectedModem& modem, const QString& devicePath)
{
    return rememberAll({{modem, devicePath}});
}

bool rememberAll(const QList<Remembered>& modems)
{
    QDir().mkpath(Paths::configFolder());
    QSettings ini(rememberedFile(), QSettings::IniFormat);
    // Groups of an earlier, longer choice go.
    for (const QString& group : ini.childGroups())
        if (group.startsWith(QLatin1String("Modem")))
            ini.remove(group);
    for (int i = 0; i < modems.size(); ++i) {
        const Remembered& m = modems.at(i);
        ini.beginGroup(groupName(i));
        ini.setValue(QStringLiteral("Port"), m.modem.port);
        ini.setValue(QStringLiteral("DevicePath"), m.devicePath);
        ini.setValue(QStringLiteral("Manufacturer"), m.modem.manufacturer);
        ini.setValue(QStringLiteral("Model"), m.modem.model);
        ini.endGroup();
    }
    ini.sync();
    return ini.status() == QSettings::NoError;
}

std::optional<Remembered> remembered()
{
    const QList<Remembered> modems = rememberedAll();
    if (modems.isEmpty())
        return std::nullopt;
    return modems.first();
}

QList<Remembered> rememberedAll()
{
    QList<Remembered> out;
    if (!QFile::exists(rememberedFile()))
        return out;
    QSettings ini(rememberedFile(), QSettings::IniFormat);
    // One group after the other; the first missing or damaged one ends the list.
    for (int i = 0; i < 255; ++i) {
        if (!ini.childGroups().contains(groupName(i)))
            break;
        ini.beginGroup(groupName(i));
        SelectedModem modem;
        bool ok = false;
        modem.port = ini.value(QStringLiteral("Port")).toInt(&ok);
        modem.manufacturer = ini.value(QStringLiteral("Manufacturer")).toString();
        modem.model = ini.value(QStringLiteral("Model")).toString();
        const QString devicePath = ini.value(QStringLiteral("DevicePath")).toString();
        ini.endGroup();
        if (!ok || modem.port < 1 || modem.port > 255)
            break;
        out.append({modem, devicePath});
    }
    return out;
}

void forget()
{
    QFile::remove(rememberedFile());
}

} // namespace ModemSelection
