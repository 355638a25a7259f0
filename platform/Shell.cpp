#include "Shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace {

Shell* g_override = nullptr;

bool xdgOpen(const QString& target)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

} // namespace

Shell& Shell::instance()
{
    static DesktopShell desktop;
    return g_override ? *g_override : desktop;
}

void Shell::setInstance(Shell* shell)
{
    g_override = shell;
}

bool DesktopShell::openUrl(const QString& url)
{
    return xdgOpen(url);
}

bool DesktopShell::openMail(const QString& address, const QString& subject)
{
    QUrl url(QStringLiteral("mailto:") + address);
    url.setQuery(QStringLiteral("subject=") + QString::fromLatin1(QUrl::toPercentEncoding(subject)));
    return xdgOpen(url.toString(QUrl::FullyEncoded));
}

bool DesktopShell::openFile(const QString& path)
{
    return xdgOpen(QUrl::fromLocalFile(path).toString());
}

bool DesktopShell::startHidden(const QString& program, const QString& workingFolder)
{
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QFileInfo(workingFolder).isDir() ? workingFolder : QFileInfo(program).absolutePath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

int DesktopShell::runBatchHidden(const QString& batchFile, int timeoutMs)
{
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({batchFile});
    process.setWorkingDirectory(QFileInfo(batchFile).absolutePath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(timeoutMs))
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

namespace {
std::function<QStringList()>& processListProvider()
{
    static std::function<QStringList()> provider;
    return provider;
}
} // namespace

void setProcessListProvider(std::function<QStringList()> provider)
{
    processListProvider() = std::move(provider);
}

QStringList runningProcessNames()
{
    if (processListProvider())
        return processListProvider()();
    QStringList names;
    const QDir proc(QStringLiteral("/proc"));
    const uid_t me = ::getuid();
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit())
            continue;
        // Another user's programs are no service of ours.
        struct stat st = {};
        if (::stat(QFile::encodeName(proc.filePath(pid)).constData(), &st) != 0 || st.st_uid != me)
            continue;
        QFile cmdline(proc.filePath(pid + QStringLiteral("/cmdline")));
        if (cmdline.open(QIODevice::ReadOnly)) {
            const QByteArray argv0 = cmdline.read(4096).split('\0').value(0);
            if (!argv0.isEmpty())
                names.append(QFileInfo(QString::fromLocal8Bit(argv0)).fileName());
        }
        QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly)) {
            const QString name = QString::fromLocal8Bit(comm.readAll().trimmed());
            if (!name.isEmpty() && (names.isEmpty() || names.last() != name))
                names.append(name);
        }
    }
    return names;
}

bool isDesktopManagerRunning(const QStringList& processNames)
{
    for (const QString& name : processNames) {
        if (name.contains(QLatin1String("DesktopMgr.exe")) || name.contains(QLatin1String("Rim.Desktop.exe")))
            return true;
    }
    return false;
}
