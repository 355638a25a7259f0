#include "CCorvaneApp.h"

#include "CCorvaneDlg.h"
#include "DeviceController.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/controls/Theme.h"
#include "export/dialogs/ExportController.h"
#include "import/dialogs/ImportCommands.h"
#include "platform/Paths.h"
#include "store/dialogs/DataCommands.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kConnectTimeoutMs = 1500;

// Asks a running instance to come to the front; true when one answered.
bool askRunningInstance(const QString& socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write("activate\n");
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.waitForReadyRead(kConnectTimeoutMs);
    return true;
}

} // namespace

CCorvaneApp::CCorvaneApp()
{
    g_strDesktopManager.clear();
    g_bPinProbeOnly = false;
    g_bDeviceSelected = false;
}

CCorvaneApp::~CCorvaneApp() = default;

QString CCorvaneApp::instanceSocketPath()
{
    return Paths::runtimeFolder() + QLatin1Char('/') + QLatin1String(kInstanceName);
}

int CCorvaneApp::exec()
{
    const Claim claim = claimSingleInstance();
    return claim == Claim::Owner ? run() : endWithoutWindow(claim);
}

int CCorvaneApp::endWithoutWindow(Claim claim)
{
    if (claim != Claim::Failed)
        return 0;
    std::fprintf(stderr, "veva-sms: %s\n", m_claimError.toLocal8Bit().constData());
    std::fflush(stderr);
    Ui::messageBox(nullptr, m_claimError, QStringLiteral("Message"), Ui::Buttons::Ok, Ui::Icon::Error);
    return 1;
}

CCorvaneApp::Claim CCorvaneApp::failClaim(const QString& why)
{
    m_claimError = QStringLiteral("Ulmex Veva SMS cannot start: %1").arg(why);
    return Claim::Failed;
}

// The runtime folder must be a folder of ours; only then is it made private.
bool CCorvaneApp::prepareRuntimeFolder()
{
    const QString folder = Paths::runtimeFolder();
    const QByteArray native = QFile::encodeName(folder);
    struct stat st = {};
    if (::stat(native.constData(), &st) != 0) {
        if (!QDir().mkpath(folder)) {
            const int err = errno;
            failClaim(QStringLiteral("the folder \"%1\" cannot be created (%2).")
                          .arg(folder, QString::fromLocal8Bit(std::strerror(err))));
            return false;
        }
        if (::stat(native.constData(), &st) != 0)
            return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        failClaim(QStringLiteral("\"%1\" should be a folder, but it is not.").arg(folder));
        return false;
    }
    if (st.st_uid != ::getuid()) {
        failClaim(QStringLiteral("the folder \"%1\" belongs to another user.").arg(folder));
        return false;
    }
    ::chmod(native.constData(), 0700);
    return true;
}

CCorvaneApp::Claim CCorvaneApp::claimSingleInstance()
{
    const QString socketPath = instanceSocketPath();
    m_claimError.clear();
    if (!prepareRuntimeFolder())
        return m_claimError.isEmpty() ? failClaim(QStringLiteral("the runtime folder cannot be used.")) : Claim::Failed;

    if (askRunningInstance(socketPath))
        return Claim::HandedOver;

    m_lock = std::make_unique<QLockFile>(socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // only a lock whose owner is gone counts as stale
    if (!m_lock->tryLock(0)) {
        // Another instance holds the name but is not listening yet: give it a
        // moment, then hand it the request; never take a live name over.
        for (int i = 0; i < 20; ++i) {
            QThread::msleep(100);
            if (askRunningInstance(socketPath))
                return Claim::HandedOver;
            if (m_lock->tryLock(0))
                break;
        }
        if (!m_lock->isLocked()) {
            if (m_lock->error() == QLockFile::LockFailedError)
                return failClaim(QStringLiteral("another instance holds \"%1\" but does not answer.").arg(socketPath));
            return failClaim(QStringLiteral("\"%1\" cannot be created.").arg(socketPath + QStringLiteral(".lock")));
        }
    }
    // We own the name: whatever socket is left belongs to a crashed instance.
    QLocalServer::removeServer(socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath))
        return failClaim(QStringLiteral("cannot listen on \"%1\" (%2).").arg(socketPath, m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, &CCorvaneApp::onActivationRequest);
    return Claim::Owner;
}

void CCorvaneApp::onActivationRequest()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->readAll().contains("activate"))
                return;
            if (m_main)
                m_main->bringToFront();
            else
                m_raisePending = true;
            socket->write("raised\n");
            socket->flush();
        });
    }
}

int CCorvaneApp::run()
{
    Theme::createFonts();
    QApplication::setApplicationName(QStringLiteral("Ulmex Veva SMS - BlackBerry Mobile Phones"));
    QApplication::setApplicationVersion(QStringLiteral("8.2.1.0"));
    QApplication::setWindowIcon(Theme::appIcon());

    auto* main = new CCorvaneDlg;
    m_main = main;
    main->setAttribute(Qt::WA_DeleteOnClose, false);
    new DeviceController(main);
    new ImportCommands(main);
    new DataCommands(main);
    new ExportController(main);
    main->initialise();
    main->show();
    if (m_raisePending)
        main->bringToFront();
    const int code = QApplication::exec();
    delete main;
    return code;
}
