#include "ModemPorts.h"

// Built when the modem emulator is not part of the build: handsets keep their
// ModemCom settings but no port is published.
struct ModemPorts::Private
{
};

ModemPorts::ModemPorts() = default;
ModemPorts::~ModemPorts() = default;

QStringList ModemPorts::start(const QList<HandsetSpec>& handsets)
{
    QStringList notes;
    for (const HandsetSpec& spec : handsets) {
        if (spec.modemCom > 0)
            notes.append(
                QStringLiteral("COM%1 of [%2]: this build has no modem emulator").arg(spec.modemCom).arg(spec.section));
    }
    return notes;
}

void ModemPorts::stop() {}

ModemPorts::ControlResult ModemPorts::control(const QString&, const QStringList&)
{
    return {false, {}, QStringLiteral("this build has no modem emulator")};
}
