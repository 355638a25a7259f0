#include "GatewayChannel.h"

#include "GatewayHttp.h"
#include "device/modem/PduCodec.h"

#include <QThread>
#include <QUrl>

struct GatewayChannel::Engine : QObject
{
    QList<GatewayHttp::Connection*> connections;
};

struct GatewayChannel::Answer
{
    GatewayHttp::Exchange::Outcome outcome = GatewayHttp::Exchange::Outcome::NotReached;
    int status = 0;
    QString body; // simplified, cut short, without the password
    QString error;
};

namespace {

constexpr qsizetype kMaxShownBody = 200;

void addItem(QByteArray& query, const char* key, const QString& value)
{
    if (!query.isEmpty())
        query += '&';
    query += key;
    query += '=';
    query += QUrl::toPercentEncoding(value);
}

bool isAcceptance(const QString& body)
{
    // Kannel: "0: Accepted for delivery", "3: Queued for later delivery".
    return body.startsWith(QLatin1String("0:")) || body.startsWith(QLatin1String("3:"));
}

QString statusText(int status, const QString& body)
{
    return body.isEmpty() ? QStringLiteral("HTTP %1").arg(status) : QStringLiteral("HTTP %1: %2").arg(status).arg(body);
}

} // namespace

GatewayChannel::GatewayChannel(const GatewaySettings& settings, int timeoutMs)
    : m_settings(settings), m_timeoutMs(timeoutMs), m_rate(settings.ratePerSecond)
{
    const QUrl url = settings.sendUrl();
    m_tls = url.scheme() == QLatin1String("https");
    m_host = url.host();
    m_port = quint16(url.port(m_tls ? 443 : 80));
    m_path = url.path(QUrl::FullyEncoded).toUtf8();
    if (m_path.isEmpty())
        m_path = "/";
    m_path += '?';
    if (url.hasQuery())
        m_path += url.query(QUrl::FullyEncoded).toUtf8() + '&';

    const int connections = std::clamp(settings.inFlight, 1, GatewaySettings::kMaxInFlight);
    m_engine = new Engine;
    for (int i = 0; i < connections; ++i) {
        m_engine->connections.append(new GatewayHttp::Connection(m_engine));
        m_freeSlots.append(i);
    }
    m_thread.reset(new QThread);
    m_thread->setObjectName(QStringLiteral("gateway-http"));
    m_engine->moveToThread(m_thread.get());
    m_thread->start();
}

GatewayChannel::~GatewayChannel()
{
    Engine* engine = m_engine;
    QMetaObject::invokeMethod(engine, [engine] { delete engine; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void GatewayChannel::requestDeliveryReports(const QString& urlPrefix, int mask)
{
    m_reportPrefix = urlPrefix;
    m_reportMask = mask;
}

void GatewayChannel::setSubmitted(std::function<void(quint64, const QString&, const QString&)> submitted)
{
    m_submitted = std::move(submitted);
}

void GatewayChannel::setWithdrawn(std::function<void(quint64)> withdrawn)
{
    m_withdrawn = std::move(withdrawn);
}

QString GatewayChannel::lastError() const
{
    QMutexLocker lock(&m_mutex);
    return m_failures.value(QThread::currentThreadId()).text;
}

bool GatewayChannel::lastOutcomeUnknown() const
{
    QMutexLocker lock(&m_mutex);
    return m_failures.value(QThread::currentThreadId()).unknown;
}

void GatewayChannel::setFailure(const QString& text, bool unknown)
{
    QMutexLocker lock(&m_mutex);
    if (text.isEmpty())
        m_failures.remove(QThread::currentThreadId());
    else
        m_failures.insert(QThread::currentThreadId(), {hidePassword(text), unknown});
}

QString GatewayChannel::hidePassword(const QString& text) const
{
    const QString& password = m_settings.password;
    // A very short password would hide ordinary letters; it is never put in a text to begin with.
    if (password.size() < 3)
        return text;
    QString out = text;
    out.replace(password, QStringLiteral("****"));
    out.replace(QString::fromLatin1(QUrl::toPercentEncoding(password)), QStringLiteral("****"));
    return out;
}

QByteArray GatewayChannel::messageQuery(const QString& text, const QString& number, quint64 id) const
{
    QByteArray query;
    addItem(query, "username", m_settings.user);
    addItem(query, "password", m_settings.password);
    addItem(query, "to", number.trimmed());
    addItem(query, "text", text);
    addItem(query, "charset", QStringLiteral("UTF-8"));
    // Characters outside the GSM alphabet need UCS-2 on the air.
    if (!Pdu::toGsm7(text))
        addItem(query, "coding", QStringLiteral("2"));
    if (!m_settings.sender.isEmpty())
        addItem(query, "from", m_settings.sender);
    if (!m_settings.smscId.isEmpty())
        addItem(query, "smsc", m_settings.smscId);
    if (!m_reportPrefix.isEmpty()) {
        addItem(query, "dlr-mask", QString::number(m_reportMask));
        addItem(query, "dlr-url", m_reportPrefix + QString::number(id) + QStringLiteral("?type=%d"));
    }
    return query;
}

GatewayChannel::Answer GatewayChannel::exchange(const QByteArray& query)
{
    int slot;
    {
        QMutexLocker lock(&m_mutex);
        while (m_freeSlots.isEmpty())
            m_slotFreed.wait(&m_mutex);
        // The connection used last is the likeliest to be still open.
        slot = m_freeSlots.takeLast();
    }
    m_rate.acquire();

    GatewayHttp::Exchange ex;
    ex.host = m_host;
    ex.port = m_port;
    ex.tls = m_tls;
    ex.target = m_path + query;
    ex.timeoutMs = m_timeoutMs;
    const int now = ++m_inFlight;
    for (int peak = m_peak.load(); now > peak && !m_peak.compare_exchange_weak(peak, now);) {
    }
    GatewayHttp::Connection* connection = m_engine->connections.at(slot);
    QMetaObject::invokeMethod(connection, [connection, &ex] { connection->start(&ex); }, Qt::QueuedConnection);
    ex.done.acquire();
    --m_inFlight;
    {
        QMutexLocker lock(&m_mutex);
        m_freeSlots.append(slot);
        m_slotFreed.wakeOne();
    }

    Answer answer;
    answer.outcome = ex.outcome;
    answer.status = ex.status;
    QString body = QString::fromUtf8(ex.body).simplified();
    if (body.size() > kMaxShownBody)
        body = body.left(kMaxShownBody) + QStringLiteral("…");
    answer.body = hidePassword(body);
    answer.error = hidePassword(ex.error);
    return answer;
}

GatewayChannel::Probe GatewayChannel::probe()
{
    QByteArray query;
    addItem(query, "username", m_settings.user);
    addItem(query, "password", m_settings.password);
    const Answer a = exchange(query);
    const QString where = m_settings.hostPort();
    Probe p;
    if (a.outcome != GatewayHttp::Exchange::Outcome::Answered) {
        p.result = Probe::Result::NothingAnswers;
        p.text = QStringLiteral("No SMS gateway answers at %1.\n\n%2").arg(where, a.error);
        return p;
    }
    const QString answered = statusText(a.status, a.body);
    if (a.status == 401 || a.status == 403) {
        p.result = Probe::Result::WrongLogin;
        p.text = QStringLiteral("The gateway at %1 does not accept this user name and password (%2).")
                     .arg(where, answered);
    } else if ((a.status == 400 && a.body.contains(QLatin1String("receiver"), Qt::CaseInsensitive)) ||
               (a.status / 100 == 2 && isAcceptance(a.body))) {
        // Kannel checks the login first, then finds no recipient: the login is good and nothing was sent.
        p.result = Probe::Result::Works;
    } else if (a.status == 404) {
        p.result = Probe::Result::NotAGateway;
        p.text = QStringLiteral("Something answers at %1, but there is no send interface at that address (%2). "
                                "Kannel's is usually /cgi-bin/sendsms on its sendsms-port.")
                     .arg(where, answered);
    } else {
        p.result = Probe::Result::NotAGateway;
        p.text = QStringLiteral("Something answers at %1, but not as an SMS gateway's send interface (%2).")
                     .arg(where, answered);
    }
    return p;
}


HRESULT GatewayChannel::Close()
{
    m_closed = true;
    return S_OK;
}

HRESULT GatewayChannel::WriteTextMessage(const QString& text, const QString& number, int /*firstPart*/,
                                         int /*reference*/, PartListener* listener)
{
    if (m_closed)
        return E_HANDLE;
    if (number.trimmed().isEmpty() || text.isEmpty()) {
        setFailure(QStringLiteral("A message needs a recipient and a text."), false);
        return E_INVALIDARG;
    }
    const quint64 id = m_nextId++;
    if (m_submitted)
        m_submitted(id, number.trimmed(), text);
    const Answer a = exchange(messageQuery(text, number, id));
    const QString where = m_settings.hostPort();

    auto refused = [&](HRESULT hr, const QString& why) {
        if (m_withdrawn)
            m_withdrawn(id);
        setFailure(why, false);
        return hr;
    };
    auto unknown = [&](const QString& why) {
        setFailure(why + QStringLiteral(" The gateway may have taken the message."), true);
        return E_GATEWAY_OUTCOME_UNKNOWN;
    };

    switch (a.outcome) {
    case GatewayHttp::Exchange::Outcome::NotReached:
        return refused(E_GATEWAY_UNREACHABLE, a.error);
    case GatewayHttp::Exchange::Outcome::NoAnswer:
        return unknown(a.error);
    case GatewayHttp::Exchange::Outcome::Answered:
        break;
    }
    const QString answered = statusText(a.status, a.body);
    if (a.status / 100 == 2 && isAcceptance(a.body)) {
        ++m_accepted;
        setFailure({}, false);
        if (listener)
            listener->partAccepted(1, 1, -1);
        return S_OK;
    }
    if (a.status / 100 == 4 || a.status / 100 == 3)
        return refused(E_GATEWAY_REFUSED, QStringLiteral("The gateway at %1 refused the message to %2 (%3).")
                                              .arg(where, number.trimmed(), answered));
    if (a.status / 100 == 5)
        return unknown(QStringLiteral("The gateway at %1 failed while it handled the message to %2 (%3).")
                           .arg(where, number.trimmed(), answered));
    return unknown(
        QStringLiteral("The gateway at %1 gave an answer that says neither yes nor no to the message to %2 (%3).")
            .arg(where, number.trimmed(), answered));
}
