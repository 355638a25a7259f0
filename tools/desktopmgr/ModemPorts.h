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

    // Starts what it can; one line per modem that could not start.
    QStringList start(const QList<HandsetSpec>& handsets);
    void stop();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
