#include "ModuleInstaller.h"

#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/TextCodec.h"

#include <QFile>

namespace ModuleInstaller {

namespace {
constexpr int kLoaderWaitMs = 15000;
}

QString loaderPath()
{
    return Paths::inCompanionFolder(QStringLiteral("JavaLoader.exe"));
}

QString modulePath()
{
    return Paths::inCompanionFolder(QStringLiteral("UlmexVevaSMS.cod"));
}

QString batchFilePath()
{
    const QString folder = Paths::writableFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Connection.bat");
}

QByteArray batchLine()
{
    return TextCodec::toAnsi(QLatin1Char('"') + loaderPath() + QStringLiteral("\" -usb load \"") + modulePath() +
                             QLatin1Char('"'));
}

bool writeBatchFile()
{
    QFile::remove(batchFilePath());
    QFile f(batchFilePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = batchLine();
    return f.write(line) == line.size();
}

void runBatchFile()
{
    Shell::instance().runBatchHidden(batchFilePath(), kLoaderWaitMs);
}

} // namespace ModuleInstaller
