#pragma once

#include "WireFormat.h"
#include "platform/com/DesktopApi.h"

#include <QCborArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QLocalSocket>
#include <QSet>

#include <memory>

class QThread;

// One connection to the device service, shared by the proxies of one created
// service object and used only on the thread that created it. Calls block that
// thread until the reply arrives; events the service sends meanwhile go to the
// registered sinks. After a time-out, a malformed reply or a lost connection
// every later call fails at once with RPC_E_DISCONNECTED.
class ServiceConnection
{
public:
    static HRESULT connect(const QString& socketPath, int timeoutMs, std::shared_ptr<ServiceConnection>* out);
    ~ServiceConnection();

    // One request and its reply. results receives the reply's values when the
    // call got an answer (whatever its HRESULT).
    HRESULT call(const QString& op, qint64 handle, const QCborArray& args, QCborArray* results = nullptr);

    // Sinks are addressed by a number of ours that travels with the open request.
    qint64 registerSink(IChannelEvents* sink);
    void unregisterSink(qint64 id);

    bool isBroken() const { return FAILED(m_broken); }

private:
    ServiceConnection(int timeoutMs);

    HRESULT fail(HRESULT reason);
    HRESULT wait(qint64 id, const QDeadlineTimer& deadline, QCborMap* reply);
    void dispatchEvent(const QCborMap& event);

    QLocalSocket m_socket;
    WireFormat::FrameReader m_reader;
    int m_timeoutMs;
    QThread* m_thread;
    qint64 m_nextId = 1;
    qint64 m_nextSink = 1;
    HRESULT m_broken = S_OK;
    QSet<qint64> m_waiting;
    QHash<qint64, QCborMap> m_earlyReplies;
    QHash<qint64, IChannelEvents*> m_sinks;
};
