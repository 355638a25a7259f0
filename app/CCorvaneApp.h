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

    enum class Claim
    {
        Owner,      // this process is the one instance
        HandedOver, // another instance answered and was asked to come to the front
        Failed,     // the name cannot be taken: claimError() says why
    };

    CCorvaneApp();
    ~CCorvaneApp() override;

    // Claims the name, then runs the main window; returns the exit status.
    int exec();
    Claim claimSingleInstance();
    QString claimError() const { return m_claimError; }
    // After a claim that gave no window: says why a failed one failed (standard
    // error and a message box). Returns the exit status: 1 when failed, else 0.
    int endWithoutWindow(Claim claim);
    // Creates and runs the main window; returns the process exit code.
    int run();

    static QString instanceSocketPath();

private:
    void onActivationRequest();

    Claim failClaim(const QString& why);
    bool prepareRuntimeFolder();

    std::unique_ptr<QLockFile> m_lock;
    QString m_claimError;
    QLocalServer* m_server = nullptr;
    QPointer<CCorvaneDlg> m_main;
    bool m_raisePending = false;
};
