#include "EmulatedModem.h"

#include "platform/serial/PortLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxLineLength = 512;
constexpr qsizetype MaxOutgoingBytes = 256 * 1024;
constexpr qsizetype FloodBlock = 4096;
constexpr int MaxCommandLog = 256;

QString errnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

EmulatedModem::EmulatedModem() : EmulatedModem(Config()) {}

EmulatedModem::EmulatedModem(const Config& config) : m_config(config) {}

EmulatedModem::~EmulatedModem()
{
    stop();
}

bool EmulatedModem::start(QString* error)
{
    if (isRunning())
        return true;
    auto fail = [&](const char* what) {
        if (error)
            *error = errnoText(what);
        stop();
        return false;
    };
    m_masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_masterFd < 0)
        return fail("posix_openpt");
    char name[128];
    if (::grantpt(m_masterFd) != 0 || ::unlockpt(m_masterFd) != 0 || ::ptsname_r(m_masterFd, name, sizeof name) != 0)
        return fail("ptsname");
    m_devicePath = QString::fromLocal8Bit(name);
    // Holding the far side open keeps the master readable while clients come and go.
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveFd < 0)
        return fail("open");
    termios tio{};
    if (::tcgetattr(m_slaveFd, &tio) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&tio);
    if (::tcsetattr(m_slaveFd, TCSANOW, &tio) != 0)
        return fail("tcsetattr");
    const int flags = ::fcntl(m_masterFd, F_GETFL);
    if (flags < 0 || ::fcntl(m_masterFd, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("pipe2");
    m_stopping = false;
    m_clock = std::make_unique<QElapsedTimer>();
    m_clock->start();
    m_thread = std::thread([this] { run(); });
    return true;
}

void EmulatedModem::stop()
{
    m_stopping = true;
    if (m_thread.joinable()) {
        const char byte = 1;
        (void)!::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (int* fd : {&m_masterFd, &m_slaveFd, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_outgoing.clear();
    m_outgoingBytes = 0;
    m_line.clear();
    m_flooding = false;
    m_pduLength = -1;
    m_pdu.clear();
    m_dueReports.clear();
    setLockHeld(false);
}

void EmulatedModem::setConfig(const Config& config)
{
    QMutexLocker lock(&m_mutex);
    m_config = config;
}

EmulatedModem::Config EmulatedModem::config() const
{
    QMutexLocker lock(&m_mutex);
    return m_config;
}

QList<QByteArray> EmulatedModem::receivedCommands() const
{
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

void EmulatedModem::run()
{
    char buffer[4096];
    while (!m_stopping) {
        const qint64 now = m_clock->elapsed();
        sendDueReports(now);
        const bool haveDue = !m_outgoing.isEmpty() && m_outgoing.first().dueMs <= now;
        int timeoutMs = -1;
        if (!m_outgoing.isEmpty() && !haveDue)
            timeoutMs = int(m_outgoing.first().dueMs - now);
        if (!m_dueReports.isEmpty()) {
            const int untilReport = int(std::max<qint64>(0, m_dueReports.first().dueMs - now));
            timeoutMs = timeoutMs < 0 ? untilReport : std::min(timeoutMs, untilReport);
        }
        pollfd fds[2] = {{m_masterFd, short(POLLIN | (haveDue || m_flooding ? POLLOUT : 0)), 0},
                         {m_wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        if (fds[1].revents & POLLIN)
            continue; // woken to stop; the loop condition decides
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
            if (n > 0)
                handleInput(QByteArray(buffer, n));
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            ::usleep(20000); // nobody on the far side; wait for a client instead of spinning
            continue;
        }
        if (fds[0].revents & POLLOUT) {
            if (m_outgoing.isEmpty() && m_flooding) {
                m_outgoing.append({QByteArray(FloodBlock, '7'), 0});
                m_outgoingBytes += FloodBlock;
            }
            flushDue(m_clock->elapsed());
        }
    }
}

bool EmulatedModem::flushDue(qint64 nowMs)
{
    while (!m_outgoing.isEmpty() && m_outgoing.first().dueMs <= nowMs) {
        Piece& piece = m_outgoing.first();
        const ssize_t n = ::write(m_masterFd, piece.bytes.constData(), size_t(piece.bytes.size()));
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        m_outgoingBytes -= n;
        piece.bytes.remove(0, n);
        if (!piece.bytes.isEmpty())
            return true;
        m_outgoing.removeFirst();
    }
    return true;
}

void EmulatedModem::handleInput(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (m_pduLength >= 0) {
            // After the prompt: the PDU up to Ctrl-Z, or Escape to drop it.
            if (c == '\x1A' || c == '\x1B') {
                const QByteArray pdu = std::exchange(m_pdu, QByteArray());
                if (c == '\x1A') {
                    queueReply(acceptPdu(pdu.trimmed()), config());
                } else {
                    m_pduLength = -1;
                    queueReply("\r\nOK\r\n", config());
                }
            } else if (m_pdu.size() < MaxLineLength) {
                m_pdu.append(c);
            }
            continue;
        }
        if (c == '\r') {
            if (!m_lineTooLong && !m_line.trimmed().isEmpty())
                handleCommand(m_line);
            m_line.clear();
            m_lineTooLong = false;
        } else if (c == '\n') {
            continue;
        } else if (m_line.size() < MaxLineLength) {
            m_line.append(c);
        } else {
            m_lineTooLong = true;
        }
    }
}

void EmulatedModem::handleCommand(const QByteArray& line)
{
    const QByteArray command = line.trimmed().toUpper();
    Config config;
    {
        QMutexLocker lock(&m_mutex);
        m_commands.append(line);
        if (m_commands.size() > MaxCommandLog)
            m_commands.removeFirst();
        // The command line itself is echoed under the old setting, as it was typed.
        config = m_config;
        if (command == "ATE0" || command == "ATE1")
            m_config.echo = command == "ATE1";
    }
    ++m_commandCount;
    m_flooding = false;

    switch (config.mode) {
    case Config::Mode::Silent:
        return;
    case Config::Mode::EchoOnly:
        queueReply(line, config);
        return;
    case Config::Mode::Flood:
        m_flooding = true;
        return;
    case Config::Mode::Normal:
        break;
    }

    QByteArray reply;
    if (config.echo)
        reply += line + '\r';
    const bool refused = std::any_of(config.errorCommands.cbegin(), config.errorCommands.cend(),
                                     [&](const QByteArray& failing) { return failing.trimmed().toUpper() == command; });
    if (const std::optional<QByteArray> sms = refused ? std::nullopt : smsReply(command)) {
        queueReply(reply + *sms, config);
        return;
    }
    QByteArray answer;
    bool known = true;
    if (command == "AT" || command == "ATE0" || command == "ATE1")
        answer.clear();
    else if (command == "AT+GMI")
        answer = config.gmiAnswer.isEmpty() ? config.manufacturer : config.gmiAnswer;
    else if (command == "AT+CGMI")
        answer = config.manufacturer;
    else if (command == "AT+GMM")
        answer = config.gmmAnswer.isEmpty() ? config.model : config.gmmAnswer;
    else if (command == "AT+CGMM")
        answer = config.model;
    else
        known = false;
    for (const QByteArray& failing : config.errorCommands) {
        if (failing.trimmed().toUpper() == command)
            known = false;
    }
    if (!known)
        reply += "\r\nERROR\r\n";
    else if (answer.isEmpty())
        reply += "\r\nOK\r\n";
    else
        reply += "\r\n" + answer + "\r\n\r\nOK\r\n";
    queueReply(reply, config);
}

void EmulatedModem::queueReply(const QByteArray& bytes, const Config& config)
{
    if (m_outgoingBytes + bytes.size() > MaxOutgoingBytes)
        return; // the client stopped reading; a real line would drop it too
    const qint64 now = m_clock->elapsed();
    qint64 due = qMax(now, m_lastDueMs);
    if (config.chunkDelayMs <= 0) {
        m_outgoing.append({bytes, due});
    } else {
        const qsizetype size = qMax(1, config.chunkSize);
        for (qsizetype at = 0; at < bytes.size(); at += size) {
            m_outgoing.append({bytes.mid(at, size), due});
            due += config.chunkDelayMs;
        }
        due -= config.chunkDelayMs;
    }
    m_lastDueMs = due;
    m_outgoingBytes += bytes.size();
}
