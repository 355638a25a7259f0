#pragma once

#include <QString>
#include <QStringList>

// The control side of the device service: what DesktopMgr.exe --control and
// JavaLoader.exe use to drive the emulated handsets.
namespace ControlClient {

struct Result
{
    bool ok = false;
    QString output; // what the verb prints on success
    QString error;  // one line on failure: the service's answer or why there was none
};

Result send(const QString& socketPath, const QString& verb, const QStringList& args, int timeoutMs = 5000);

} // namespace ControlClient
