#include "ModemPorts.h"

#include "Outbox.h"
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
        modem->setSmsSink([path = outboxPath(spec.pin), com = spec.modemCom](const EmulatedModem::SentSms& sms) {
            OutboxRecord record;
            record.time = QDateTime::currentDateTimeUtc();
            record.number = sms.number;
            record.text = sms.text;
            record.via = QStringLiteral("COM%1").arg(com);
            record.part = sms.part;
            record.parts = sms.parts;
            record.reference = sms.reference;
            QString error;
            if (!appendToOutbox(path, record, &error))
                qWarning("%s", qPrintable(error));
        });
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

ModemPorts::ControlResult ModemPorts::control(const QString& verb, const QStringList& args)
{
    ControlResult result;
    const auto usage = [&](const char* text) {
        result.error = QStringLiteral("usage: %1").arg(QLatin1String(text));
        return result;
    };
    QString portText = args.value(0);
    if (portText.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        portText.remove(0, 3);
    bool ok = false;
    const int number = portText.toInt(&ok);
    EmulatedModem* modem = nullptr;
    for (const Private::Port& port : d->ports) {
        if (ok && port.comNumber == number)
            modem = port.modem.get();
    }
    const auto noModem = [&] {
        result.error = QStringLiteral("no emulated modem on COM%1").arg(portText);
        return result;
    };
    const auto onOff = [&](bool* value) {
        if (args.size() != 2 || (args.at(1) != QLatin1String("on") && args.at(1) != QLatin1String("off")))
            return false;
        *value = args.at(1) == QLatin1String("on");
        return true;
    };

    bool on = false;
    if (verb == QLatin1String("modem-cms-error")) {
        const int code = args.value(1).toInt(&ok);
        const int times = args.size() > 2 ? args.at(2).toInt() : 1;
        if (args.size() < 2 || args.size() > 3 || !ok || code < 0 || code > 511 || times < 1)
            return usage("modem-cms-error <port> <code 0-511> [times]");
        if (!modem)
            return noModem();
        modem->failNextSends(code, times);
    } else if (verb == QLatin1String("modem-sim-pin")) {
        if (!onOff(&on))
            return usage("modem-sim-pin <port> on|off");
        if (!modem)
            return noModem();
        modem->setSimPinRequired(on);
    } else if (verb == QLatin1String("modem-silent")) {
        if (!onOff(&on))
            return usage("modem-silent <port> on|off");
        if (!modem)
            return noModem();
        EmulatedModem::Config config = modem->config();
        config.mode = on ? EmulatedModem::Config::Mode::Silent : EmulatedModem::Config::Mode::Normal;
        modem->setConfig(config);
    } else if (verb == QLatin1String("modem-silent-after-pdu")) {
        if (args.size() != 1)
            return usage("modem-silent-after-pdu <port>");
        if (!modem)
            return noModem();
        modem->silenceAfterNextPdu();
    } else {
        result.error = QStringLiteral("unknown verb \"%1\"").arg(verb);
        return result;
    }
    result.ok = true;
    result.output = QStringLiteral("%1 %2\n").arg(verb, args.join(QLatin1Char(' ')));
    return result;
}
