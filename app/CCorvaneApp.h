#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class CCorvaneDlg;
class QLocalServer;
class QLockFile;

// The application object: lets only one instance run per user, sets up the
// shared look, and runs the main window for the life of the process.
class CCorvaneApp : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kInstanceName = "SINGLE_INSTANCE_ULMEXBLACKBERRY";

    CCorvaneApp();
    ~CCorvaneApp() override;

    // True when this process became the one instance; false when another
    // instance answered (it was asked to come to the front) or is starting.
    bool claimSingleInstance();
    // Creates and runs the main window; returns the process exit code.
    int run();

    static QString instanceSocketPath();

private:
    void onActivationRequest();

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    QPointer<CCorvaneDlg> m_main;
    bool m_raisePending = false;
};
