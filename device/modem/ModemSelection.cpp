#include "ModemSelection.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSettings>

namespace {

QMutex selectionMutex;
std::optional<SelectedModem> selection;

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
    selection = modem;
}

void clear()
{
    QMutexLocker lock(&selectionMutex);
    selection.reset();
}

std::optional<SelectedModem> current()
{
    QMutexLocker lock(&selectionMutex);
    return selection;
}

QString rememberedFile()
{
    return Paths::configFolder() + QStringLiteral("/modem.ini");
}

bool remember(const SelectedModem& modem, const QString& devicePath)
{
    QDir().mkpath(Paths::configFolder());
    QSettings ini(rememberedFile(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Modem"));
    ini.setValue(QStringLiteral("Port"), modem.port);
    ini.setValue(QStringLiteral("DevicePath"), devicePath);
    ini.setValue(QStringLiteral("Manufacturer"), modem.manufacturer);
    ini.setValue(QStringLiteral("Model"), modem.model);
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

std::optional<Remembered> remembered()
{
    if (!QFile::exists(rememberedFile()))
        return std::nullopt;
    QSettings ini(rememberedFile(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Modem"));
    SelectedModem modem;
    bool ok = false;
    modem.port = ini.value(QStringLiteral("Port")).toInt(&ok);
    if (!ok || modem.port < 1 || modem.port > 255)
        return std::nullopt;
    modem.manufacturer = ini.value(QStringLiteral("Manufacturer")).toString();
    modem.model = ini.value(QStringLiteral("Model")).toString();
    return Remembered{modem, ini.value(QStringLiteral("DevicePath")).toString()};
}

void forget()
{
    QFile::remove(rememberedFile());
}

} // namespace ModemSelection
