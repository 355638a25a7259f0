#pragma once

#include <QByteArray>
#include <QString>

// Installing the sender module on the handset through the loader program,
// both expected in the program folder (or, installed, in the companion folder).
namespace ModuleInstaller {

QString loaderPath();    // <companion folder>/JavaLoader.exe
QString modulePath();    // <companion folder>/UlmexVevaSMS.cod
QString batchFilePath(); // <writable folder>/Connection.bat

// The one line of the batch file, in the ANSI code page, without a line end:
// "<loader>" -usb load "<module>"
QByteArray batchLine();

// Deletes an old batch file and writes a new one; false when it cannot be written.
bool writeBatchFile();

// Runs the batch file hidden and waits for the loader, at most 15 seconds;
// deletes the batch file afterwards.
void runBatchFile();

} // namespace ModuleInstaller
