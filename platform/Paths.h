#pragma once

#include <QString>

// Where the program finds itself and its companions. Every location can be
// moved with an environment variable so that tests and the run script can point
// the program elsewhere without copying binaries:
//   VEVA_SMS_APP_DIR      the program folder (data folder, Connection.bat, loader, module)
//                         even where the program itself is installed elsewhere
//   VEVA_SMS_CONFIG_DIR   per-user settings of the stand-ins (registry file, handset config)
//   VEVA_SMS_RUNTIME_DIR  per-user runtime files (device service socket, modem port map)
namespace Paths {

// The executable's full path cut before its last separator; "/" when the path
// holds no separator at all.
QString folderOfExecutable(const QString& executablePath);

// The program folder: VEVA_SMS_APP_DIR when set, else the folder of the running
// executable; empty when that cannot be found (never the file-system root).
QString applicationFolder();
// The program folder followed by "/" and the relative path; empty without a program folder.
QString inApplicationFolder(const QString& relative);

// Where the loader and the module are: the program folder when they are there
// (the build folder, a portable copy, VEVA_SMS_APP_DIR), else the installed
// companion folder below libexec when that exists.
QString companionFolder();
// The choice above for a given program folder; libexecFromBin is the
// installed companion folder relative to the program folder.
QString companionFolderFor(const QString& programFolder, const QString& libexecFromBin);
// The companion folder followed by "/" and the file name; empty without a program folder.
QString inCompanionFolder(const QString& name);

// The folder the program writes into (the data folder, Connection.bat): the
// program folder when it may keep its files there (the build folder, a
// portable copy, VEVA_SMS_APP_DIR), else $XDG_DATA_HOME/veva-sms (default
// ~/.local/share/veva-sms), as for an installed program that cannot write
// where it lives or must not (its companions are below libexec).
QString writableFolder();
// The choice above for a program folder that is not overridden.
QString writableFolderFor(const QString& programFolder, const QString& companionFolder, bool programFolderWritable,
                          const QString& dataHome);
// The data folder: the writable folder followed by "/VEVA_SMS_DATA"; empty
// without a program folder.
QString dataFolder();

QString configFolder();
QString runtimeFolder();

// The registry stand-in: a file in the format of a registry export (.reg),
// the user's own; without one (and without VEVA_SMS_CONFIG_DIR) the one an
// installed package put in the companion folder, when there is one.
QString registryFile();
// The device service's handset description.
QString handsetConfigFile();
// Copies the companion folder's handset description to handsetConfigFile()
// when the user has none yet (an installed copy's first start); false when
// nothing was copied.
bool seedHandsetConfig();
// The local socket the device service listens on.
QString deviceServiceSocket();
// One file per emulated or mapped COM port (see PortMap).
QString portsFolder();

} // namespace Paths
