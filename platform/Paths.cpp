#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <QFile>

#include <climits>
#include <unistd.h>

namespace {

// The running executable as the kernel names it; empty when that name cannot
// be held as text (bytes that the file-name encoding cannot represent).
QString executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= ssize_t(sizeof buffer))
        return QCoreApplication::applicationFilePath();
    const QByteArray native(buffer, n);
    const QString path = QFile::decodeName(native);
    return QFile::encodeName(path) == native ? path : QString();
}

QString fromEnv(const char* name)
{
    return QDir::cleanPath(QString::fromLocal8Bit(qgetenv(name)));
}

bool hasEnv(const char* name)
{
    return !qgetenv(name).isEmpty();
}

} // namespace

namespace Paths {

QString folderOfExecutable(const QString& executablePath)
{
    const qsizetype cut = executablePath.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        return QStringLiteral("/");
    return executablePath.left(cut);
}

QString applicationFolder()
{
    if (hasEnv("VEVA_SMS_APP_DIR"))
        return fromEnv("VEVA_SMS_APP_DIR");
    const QString executable = executablePath();
    return executable.isEmpty() ? QString() : folderOfExecutable(executable);
}

QString inApplicationFolder(const QString& relative)
{
    const QString folder = applicationFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + relative;
}

QString companionFolderFor(const QString& programFolder, const QString& libexecFromBin)
{
    if (programFolder.isEmpty() || libexecFromBin.isEmpty() ||
        QFileInfo::exists(programFolder + QStringLiteral("/JavaLoader.exe")))
        return programFolder;
    const QString installed = QDir::cleanPath(programFolder + QLatin1Char('/') + libexecFromBin);
    return QFileInfo(installed).isDir() ? installed : programFolder;
}

QString companionFolder()
{
    // An explicit program folder holds everything, as a portable copy does.
    if (hasEnv("VEVA_SMS_APP_DIR"))
        return fromEnv("VEVA_SMS_APP_DIR");
#ifdef VEVA_LIBEXEC_FROM_BIN
    return companionFolderFor(applicationFolder(), QStringLiteral(VEVA_LIBEXEC_FROM_BIN));
#else
    return applicationFolder();
#endif
}

QString inCompanionFolder(const QString& name)
{
    const QString folder = companionFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
}

QString writableFolderFor(const QString& programFolder, const QString& companionFolder, bool programFolderWritable,
                          const QString& dataHome)
{
    if (programFolder.isEmpty())
        return QString();
    if (programFolderWritable && companionFolder == programFolder)
        return programFolder;
    return dataHome + QStringLiteral("/veva-sms");
}

QString writableFolder()
{
    if (hasEnv("VEVA_SMS_APP_DIR"))
        return fromEnv("VEVA_SMS_APP_DIR");
    const QString program = applicationFolder();
    return writableFolderFor(program, companionFolder(), !program.isEmpty() && QFileInfo(program).isWritable(),
                             QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString dataFolder()
{
    const QString folder = writableFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/VEVA_SMS_DATA");
}

QString configFolder()
{
    if (hasEnv("VEVA_SMS_CONFIG_DIR"))
        return fromEnv("VEVA_SMS_CONFIG_DIR");
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/veva-sms");
}

QString runtimeFolder()
{
    if (hasEnv("VEVA_SMS_RUNTIME_DIR"))
        return fromEnv("VEVA_SMS_RUNTIME_DIR");
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(QString::fromLocal8Bit(xdg)).exists())
        return QString::fromLocal8Bit(xdg) + QStringLiteral("/veva-sms");
    return QStringLiteral("/tmp/veva-sms-%1").arg(getuid());
}

QString registryFile()
{
    const QString own = configFolder() + QStringLiteral("/registry.reg");
    if (hasEnv("VEVA_SMS_CONFIG_DIR") || QFileInfo::exists(own))
        return own;
    // An installed copy: the machine's settings as its package registered them.
    const QString machine = inCompanionFolder(QStringLiteral("registry.reg"));
    return !machine.isEmpty() && QFileInfo::exists(machine) ? machine : own;
}

QString handsetConfigFile()
{
    return configFolder() + QStringLiteral("/handsets.ini");
}

bool seedHandsetConfig()
{
    const QString own = handsetConfigFile();
    const QString shipped = inCompanionFolder(QStringLiteral("handsets.ini"));
    if (QFileInfo::exists(own) || shipped.isEmpty() || !QFileInfo::exists(shipped))
        return false;
    QDir().mkpath(configFolder());
    // The user's copy keeps what changes later (the module once installed).
    if (!QFile::copy(shipped, own))
        return false;
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString deviceServiceSocket()
{
    return runtimeFolder() + QStringLiteral("/desktopmgr.sock");
}

QString portsFolder()
{
    return runtimeFolder() + QStringLiteral("/ports");
}

} // namespace Paths
