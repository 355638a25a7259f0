#include "ModemPorts.h"

#include "platform/PortMap.h"
#include "tools/common/EmulatedModem.h"

#include <vector>

struct ModemPorts::Private
{
    struct Port
    {
        int comNumber;
        std::unique_ptr<EmulatedModem> modem;
    };
    std::vector<Port> ports;
};

ModemPorts::ModemPorts() : d(std::make_unique<Private>()) {}

ModemPorts::~ModemPorts()
{
    stop();
}

QStringList ModemPorts::start(const QList<HandsetSpec>& handsets)
{
    QStringList notes;
    for (const HandsetSpec& spec : handsets) {
        if (spec.modemCom <= 0)
            continue;
        EmulatedModem::Config config;
        if (!spec.modemManufacturer.isEmpty())
            config.manufacturer = spec.modemManufacturer;
        if (!spec.modemModel.isEmpty())
            config.model = spec.modemModel;
        if (spec.modemMode == QLatin1String("echo-only"))
            config.mode = EmulatedModem::Config::Mode::EchoOnly;
        else if (spec.modemMode == QLatin1String("silent"))
            config.mode = EmulatedModem::Config::Mode::Silent;
        else if (spec.modemMode == QLatin1String("flood"))
            config.mode = EmulatedModem::Config::Mode::Flood;

        auto modem = std::make_unique<EmulatedModem>(config);
        QString error;
        if (!modem->start(&error)) {
            notes.append(QStringLiteral("COM%1 of [%2]: %3").arg(spec.modemCom).arg(spec.section, error));
            continue;
        }
        if (!PortMap::publish({spec.modemCom, modem->devicePath(), spec.modemDescription}, &error)) {
            notes.append(QStringLiteral("COM%1 of [%2]: %3").arg(spec.modemCom).arg(spec.section, error));
            continue;
        }
        d->ports.push_back({spec.modemCom, std::move(modem)});
    }
    return notes;
}

void ModemPorts::stop()
{
    for (Private::Port& port : d->ports) {
        PortMap::withdraw(port.comNumber);
        port.modem->stop();
    }
    d->ports.clear();
}
