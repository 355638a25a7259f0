#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Runs the real DesktopMgr.exe from the build's bin folder with program,
// configuration and runtime folders in a temporary directory, which this
// process uses too (so the client finds the same socket).
class ServiceFixture
{
public:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    ServiceFixture();
    ~ServiceFixture();

    static QString binary(const QString& name);

    QString root() const { return m_dir.path(); }
    QString configFile() const;
    QString socketPath() const;
    void writeConfig(const QByteArray& ini) const;

    // Starts the service and waits until it answers; false when it did not.
    // With openFilesLimit it runs under that limit of open files.
    bool start(const QStringList& extraArgs = {}, int openFilesLimit = 0);
    qint64 pid() const;
    // Kills the service without letting it clean up.
    void kill();
    bool isRunning() const;

    // One run of a tool in bin with the fixture's environment.
    static Run runTool(const QString& name, const QStringList& args, int timeoutMs = 10000);
    Run control(const QStringList& args) const
    {
        return runTool(QStringLiteral("DesktopMgr.exe"), QStringList{QStringLiteral("--control")} + args);
    }
    // The value of one "key=value" line of the stats verb, -1 when absent.
    qint64 stat(const QString& key) const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_service;
};
