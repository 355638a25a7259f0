#include "ServiceFixture.h"

#include "platform/Paths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

ServiceFixture::ServiceFixture()
{
    for (const char* sub : {"app", "config", "runtime"})
        QDir(m_dir.path()).mkpath(QLatin1String(sub));
    qputenv("VEVA_SMS_APP_DIR", (m_dir.path() + QStringLiteral("/app")).toLocal8Bit());
    qputenv("VEVA_SMS_CONFIG_DIR", (m_dir.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("VEVA_SMS_RUNTIME_DIR", (m_dir.path() + QStringLiteral("/runtime")).toLocal8Bit());
}

ServiceFixture::~ServiceFixture()
{
    kill();
}

QString ServiceFixture::binary(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("VEVA_SMS_BIN_DIR")) + QLatin1Char('/') + name;
}

QString ServiceFixture::configFile() const
{
    return Paths::handsetConfigFile();
}

QString ServiceFixture::socketPath() const
{
    return Paths::deviceServiceSocket();
}

void ServiceFixture::writeConfig(const QByteArray& ini) const
{
    QFile file(configFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(ini);
}

bool ServiceFixture::start(const QStringList& extraArgs, int openFilesLimit)
{
    kill();
    m_service = std::make_unique<QProcess>();
    m_service->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (openFilesLimit > 0) {
        // exec: the shell becomes the service, so pid() and kill() reach it.
        m_service->start(QStringLiteral("/bin/sh"),
                         QStringList{QStringLiteral("-c"),
                                     QStringLiteral("ulimit -n %1 && exec \"$0\" \"$@\"").arg(openFilesLimit),
                                     binary(QStringLiteral("DesktopMgr.exe"))} +
                             extraArgs);
    } else {
        m_service->start(binary(QStringLiteral("DesktopMgr.exe")), extraArgs);
    }
    if (!m_service->waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (m_service->state() != QProcess::Running)
            return false;
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void ServiceFixture::kill()
{
    if (!m_service)
        return;
    if (m_service->state() != QProcess::NotRunning) {
        m_service->kill();
        m_service->waitForFinished(5000);
    }
    m_service.reset();
}

qint64 ServiceFixture::pid() const
{
    return m_service ? m_service->processId() : 0;
}

bool ServiceFixture::isRunning() const
{
    return m_service && m_service->state() == QProcess::Running;
}

ServiceFixture::Run ServiceFixture::runTool(const QString& name, const QStringList& args, int timeoutMs)
{
    QProcess process;
    process.start(binary(name), args);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        run.err = QStringLiteral("timed out");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

qint64 ServiceFixture::stat(const QString& key) const
{
    const Run run = control({QStringLiteral("stats")});
    for (const QString& line : run.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).toLongLong();
    }
    return -1;
}
