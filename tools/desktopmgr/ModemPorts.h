#pragma once

#include "HandsetConfig.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// The serial modems of the emulated handsets: one pseudo-terminal per handset
// with a ModemCom number, published in the port map under that COM number for
// as long as the service runs. Which implementation is built is chosen in
// CMakeLists.txt (emulated modems when the modem library is part of the build).
class ModemPorts
{
public:
    ModemPorts();
    ~ModemPorts();

    // Starts what it can; one line per modem that could not start. Each modem
    // appends the short messages it sends to its handset's outbox.
    QStringList start(const QList<HandsetSpec>& handsets);
    void stop();

    struct ControlResult
    {
        bool ok = false;
        QString output;
        QString error;
    };
    // The control verbs of the modems, each naming a port as 7 or COM7:
    //   modem-cms-error PORT CODE [TIMES]   answer the next sends with +CMS ERROR: CODE
    //   modem-sim-pin PORT on|off           the SIM waits for its PIN
    //   modem-silent PORT on|off            stop answering / answer again
    //   modem-silent-after-pdu PORT         take the next PDU, then answer nothing more
    ControlResult control(const QString& verb, const QStringList& args);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
