#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What the program asks of the desktop shell: open a web page or a new mail in
// the user's programs, open a file, start a program without a window. Tests
// install their own Shell to record the requests.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual bool openUrl(const QString& url) = 0;
    virtual bool openMail(const QString& address, const QString& subject) = 0;
    virtual bool openFile(const QString& path) = 0;
    // Starts a program with no window of its own; false when it cannot start.
    virtual bool startHidden(const QString& program, const QString& workingFolder) = 0;
    // Runs a one-line batch file with the system shell, hidden, and waits up to
    // timeoutMs for it to end. Returns its exit code, or -1 when it did not run
    // or did not end in time.
    virtual int runBatchHidden(const QString& batchFile, int timeoutMs) = 0;

    static Shell& instance();
    // Replaces the shell (nullptr restores the desktop one); the caller keeps ownership.
    static void setInstance(Shell* shell);
};

// The desktop implementation: xdg-open for pages, mail and files; detached
// processes for programs.
class DesktopShell : public Shell
{
public:
    bool openUrl(const QString& url) override;
    bool openMail(const QString& address, const QString& subject) override;
    bool openFile(const QString& path) override;
    bool startHidden(const QString& program, const QString& workingFolder) override;
    int runBatchHidden(const QString& batchFile, int timeoutMs) override;
};

// The names of the current user's running processes (the executable's file
// name, and the kernel's short name when it differs).
QStringList runningProcessNames();
// Replaces the process list (tests); an empty function restores the real one.
void setProcessListProvider(std::function<QStringList()> provider);
// True when some process name contains "DesktopMgr.exe" or "Rim.Desktop.exe".
bool isDesktopManagerRunning(const QStringList& processNames);
