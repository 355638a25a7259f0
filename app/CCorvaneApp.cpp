#include "CCorvaneApp.h"

#include "CCorvaneDlg.h"
#include "DeviceController.h"
#include "import/dialogs/ImportCommands.h"
#include "app/core/AppState.h"
#include "controls/Theme.h"
#include "export/ExportController.h"
#include "platform/Paths.h"
#include "store/dialogs/DataCommands.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

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

bool CCorvaneApp::claimSingleInstance()
{
    const QString socketPath = instanceSocketPath();
    QDir().mkpath(Paths::runtimeFolder());
    QFile::setPermissions(Paths::runtimeFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    if (askRunningInstance(socketPath))
        return false;

    m_lock = std::make_unique<QLockFile>(socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // only a lock whose owner is gone counts as stale
    if (!m_lock->tryLock(0)) {
        // Another instance holds the name but is not listening yet: give it a
        // moment, then hand it the request; never take a live name over.
        for (int i = 0; i < 20; ++i) {
            QThread::msleep(100);
            if (askRunningInstance(socketPath))
                return false;
            if (m_lock->tryLock(0))
                break;
        }
        if (!m_lock->isLocked())
            return false;
    }
    // We own the name: whatever socket is left belongs to a crashed instance.
    QLocalServer::removeServer(socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &CCorvaneApp::onActivationRequest);
    return true;
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
