// The control verbs of the test and demonstration tools: handsets, counters, faults to come, quit.
#include "DeviceServiceParts.h"

#include "Outbox.h"

#include <QTimer>

namespace {

constexpr qint64 kMaxOutboxReplyBytes = 1024 * 1024;

} // namespace

bool DeviceService::resolvePin(const QString& text, int* index, QString* error) const
{
    quint32 pin = 0;
    if (!parsePin(text, &pin)) {
        *error = QStringLiteral("\"%1\" is not a PIN (decimal or 0x-hex)").arg(text);
        return false;
    }
    *index = indexOfPin(pin);
    if (*index < 0) {
        *error = QStringLiteral("no handset has the PIN %1").arg(text);
        return false;
    }
    return true;
}

bool DeviceService::saveConfig(QString* error)
{
    return m_config.save(m_configPath, error);
}

QString DeviceService::listText() const
{
    QString out;
    for (const HandsetSpec& h : m_config.handsets()) {
        out += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                   .arg(pinText(h.pin))
                   .arg(h.pin)
                   .arg(h.attached ? QStringLiteral("attached") : QStringLiteral("detached"),
                        h.moduleInstalled ? QStringLiteral("module") : QStringLiteral("no-module"), h.description);
    }
    return out;
}

QString DeviceService::statsText() const
{
    qint64 handles = 0;
    qint64 unsent = 0;
    for (const Session* session : m_sessions) {
        handles += session->objects.size();
        unsent += session->socket->bytesToWrite();
    }
    QMap<QString, qint64> stats = m_stats;
    stats.insert(QStringLiteral("bytes.unsent"), unsent);
    stats.insert(QStringLiteral("handles.open"), handles);
    stats.insert(QStringLiteral("sessions.max"), m_maxClients);
    stats.insert(QStringLiteral("sessions.open"), m_sessions.size());
    QString out;
    for (auto it = stats.cbegin(); it != stats.cend(); ++it)
        out += QStringLiteral("%1=%2\n").arg(it.key()).arg(it.value());
    return out;
}

DeviceService::ControlResult DeviceService::control(const QString& verb, const QStringList& args)
{
    count(QStringLiteral("controls"));
    ControlResult result;
    const auto wrongArguments = [&](const char* usage) {
        result.error = QStringLiteral("usage: %1").arg(QLatin1String(usage));
        return result;
    };
    const auto saved = [&](const QString& done) {
        if (!saveConfig(&result.error))
            return result;
        result.ok = true;
        result.output = done;
        return result;
    };
    int index = -1;

    if (verb == QLatin1String("list")) {
        result.ok = true;
        result.output = listText();
    } else if (verb == QLatin1String("stats")) {
        result.ok = true;
        result.output = statsText();
    } else if (verb == QLatin1String("attach") || verb == QLatin1String("detach")) {
        if (args.size() != 1)
            return wrongArguments("attach|detach <pin>");
        if (!resolvePin(args.at(0), &index, &result.error))
            return result;
        const bool attach = verb == QLatin1String("attach");
        if (m_config.handsets().at(index).attached != attach) {
            if (!attach) {
                // Unplugged: its channels drop and every object made before fails from now on.
                ++m_state[index].generation;
                m_state[index].runStarted = false;
                const quint32 pin = m_config.handsets().at(index).pin;
                for (Session* session : std::as_const(m_sessions)) {
                    for (const auto& object : std::as_const(session->objects)) {
                        if (object->kind == ServiceObject::Kind::Channel && object->pin == pin && object->open)
                            closeChannel(session, *object, 1);
                    }
                }
            }
            m_config.setAttached(index, attach);
        }
        return saved(QStringLiteral("%1 %2\n").arg(pinText(m_config.handsets().at(index).pin),
                                                   attach ? QStringLiteral("attached") : QStringLiteral("detached")));
    } else if (verb == QLatin1String("fail-next-open")) {
        if (args.size() != 1)
            return wrongArguments("fail-next-open <pin>");
        if (!resolvePin(args.at(0), &index, &result.error))
            return result;
        m_state[index].failNextOpen = true;
        result.ok = true;
    } else if (verb == QLatin1String("fail-write-after")) {
        if (args.size() != 2)
            return wrongArguments("fail-write-after <pin> <packets>");
        if (!resolvePin(args.at(0), &index, &result.error))
            return result;
        bool ok = false;
        const int packets = args.at(1).toInt(&ok);
        if (!ok || packets < 0) {
            result.error = QStringLiteral("\"%1\" is not a packet count").arg(args.at(1));
            return result;
        }
        m_state[index].writesBeforeFailure = packets;
        result.ok = true;
    } else if (verb == QLatin1String("stall-next")) {
        bool ok = false;
        const int ms = args.value(0).toInt(&ok);
        if (args.size() != 1 || !ok || ms <= 0 || ms > 600000)
            return wrongArguments("stall-next <milliseconds, 1 to 600000>");
        m_stallNextMs = ms;
        result.ok = true;
    } else if (verb == QLatin1String("garbage-next")) {
        if (!args.isEmpty())
            return wrongArguments("garbage-next");
        m_garbageNext = true;
        result.ok = true;
    } else if (verb == QLatin1String("outbox")) {
        if (args.size() != 1)
            return wrongArguments("outbox <pin>");
        if (!resolvePin(args.at(0), &index, &result.error))
            return result;
        result.ok = true;
        result.output =
            QString::fromUtf8(readOutboxTail(outboxPath(m_config.handsets().at(index).pin), kMaxOutboxReplyBytes));
    } else if (verb == QLatin1String("install-module")) {
        if (args.isEmpty() || args.size() > 2)
            return wrongArguments("install-module <pin|first> [module name]");
        if (args.at(0) == QLatin1String("first")) {
            for (qsizetype i = 0; i < m_config.handsets().size() && index < 0; ++i) {
                if (m_config.handsets().at(i).attached)
                    index = int(i);
            }
            if (index < 0) {
                result.error = QStringLiteral("no handset is attached");
                return result;
            }
        } else if (!resolvePin(args.at(0), &index, &result.error)) {
            return result;
        } else if (!m_config.handsets().at(index).attached) {
            result.error = QStringLiteral("the handset %1 is not attached").arg(args.at(0));
            return result;
        }
        m_config.setModuleInstalled(index, true);
        count(QStringLiteral("modules.installed"));
        return saved(QStringLiteral("%1 installed on %2\n")
                         .arg(args.value(1, QStringLiteral("module")), pinText(m_config.handsets().at(index).pin)));
    } else if (verb.startsWith(QLatin1String("modem-")) && m_modemControl) {
        return m_modemControl(verb, args);
    } else if (verb == QLatin1String("quit")) {
        result.ok = true;
        QTimer::singleShot(0, this, [this] {
            for (Session* session : std::as_const(m_sessions))
                session->socket->flush();
            emit quitRequested();
        });
    } else {
        result.error = QStringLiteral("unknown verb \"%1\"").arg(verb);
    }
    return result;
}
