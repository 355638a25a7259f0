#pragma once

#include "HandsetConfig.h"

#include <QCborArray>
#include <QCborMap>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// The device-manager service with emulated handsets. Serves the device calls
// of the program (see platform/deviceservice/WireFormat.h) and the control
// verbs of the test and demonstration tools on one local socket.
//
// Each handset sends what it receives: on an open "JDE_USBClient" channel the
// packet "Sign" starts a run, and every later packet holding a byte 0xA7
// becomes one SMS in the handset's outbox (Outbox.h). Other packets are
// counted as rejected.
class DeviceService : public QObject
{
    Q_OBJECT

public:
    struct ControlResult
    {
        bool ok = false;
        QString output;
        QString error;
    };

    // configPath is where state changes (attach, detach, module installed) are saved.
    DeviceService(HandsetConfig config, QString configPath, QObject* parent = nullptr);
    ~DeviceService() override;

    // A client whose replies wait unread beyond this many bytes is not served
    // (its requests stay in its socket) until it reads them.
    static constexpr qint64 kMaxUnsentBytes = 1024 * 1024;
    static constexpr int kDefaultFrameTimeoutMs = 10000;

    static bool anotherServiceAnswers(const QString& socketPath, QString* error);
    // Refuses when another service answers on the socket; removes a stale one.
    bool listen(const QString& socketPath, QString* error);

    // Clients beyond maxClients are refused (0: as many as the open-files limit
    // leaves room for); a client that sends part of a frame and then nothing
    // for frameTimeoutMs is dropped. Call before listen().
    void setLimits(int maxClients, int frameTimeoutMs);
    int maxClients() const { return m_maxClients; }

    ControlResult control(const QString& verb, const QStringList& args);
    // Verbs for the handsets' serial modems ("modem-..."), answered elsewhere.
    using ModemControl = std::function<ControlResult(const QString& verb, const QStringList& args)>;
    void setModemControl(ModemControl control) { m_modemControl = std::move(control); }

signals:
    void quitRequested();

private:
    class Session;
    struct ServiceObject;
    struct HandsetState
    {
        quint64 generation = 1;
        int writesBeforeFailure = -1;
        bool failNextOpen = false;
        // The sender module keeps the start of a run until the handset is unplugged,
        // so later channels of the same run need no new start packet.
        bool runStarted = false;
    };

    void onNewConnection();
    void keepListening();
    void onReadable(Session* session);
    bool isBackedUp(const Session* session) const;
    void processPending(Session* session);
    QCborMap call(Session* session, const QCborMap& request);
    HRESULT dispatch(Session* session, const QString& op, ServiceObject& object, const QCborArray& args,
                     QCborArray* results);
    HRESULT writePacket(ServiceObject& channel, Session* session, const QCborArray& args);
    void sendReply(Session* session, const QCborMap& reply);
    void sendEvent(Session* session, qint64 sinkId, int event, const QCborArray& args = {});
    void closeChannel(Session* session, ServiceObject& channel, int event);

    int indexOfPin(quint32 pin) const;
    // The handset's index when it is attached and has not been detached since
    // the object was made; -1 otherwise.
    int liveHandset(quint32 pin, quint64 generation) const;
    bool resolvePin(const QString& text, int* index, QString* error) const;
    bool saveConfig(QString* error);
    QString listText() const;
    QString statsText() const;
    void count(const QString& key, qint64 by = 1) { m_stats[key] += by; }

    HandsetConfig m_config;
    QString m_configPath;
    QList<HandsetState> m_state;
    QLocalServer* m_server = nullptr;
    QString m_socketPath;
    QList<Session*> m_sessions;
    int m_maxClients = 0;
    int m_frameTimeoutMs = kDefaultFrameTimeoutMs;
    QMap<QString, qint64> m_stats;
    int m_stallNextMs = 0;
    bool m_garbageNext = false;
    ModemControl m_modemControl;
};
