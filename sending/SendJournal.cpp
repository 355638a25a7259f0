#include "SendJournal.h"

#include "platform/SaveFile.h"
#include "store/DataFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char kMagic[] = "veva-send-journal";
constexpr char kVersion[] = "1";

QByteArray timeText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray entryLine(const char* verb, const SendJournal::Entry& e, const QByteArray& time)
{
    return QByteArray(verb) + '\t' + QByteArray::number(e.row) + '\t' + QUrl::toPercentEncoding(e.number) + '\t' +
           e.fingerprint + '\t' + time + '\n';
}

QByteArray entryLine(const char* verb, const SendJournal::Entry& e)
{
    return entryLine(verb, e, timeText(e.time));
}

bool isFingerprint(const QByteArray& text)
{
    if (text.size() != 64)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::optional<SendJournal::Entry> parseEntry(const QList<QByteArray>& fields)
{
    if (fields.size() != 5)
        return std::nullopt;
    SendJournal::Entry e;
    bool ok = false;
    e.row = fields.at(1).toInt(&ok);
    if (!ok || e.row < 0 || !isFingerprint(fields.at(3)))
        return std::nullopt;
    e.number = QUrl::fromPercentEncoding(fields.at(2));
    e.fingerprint = fields.at(3);
    e.time = QDateTime::fromString(QString::fromLatin1(fields.at(4)), Qt::ISODateWithMs);
    if (!e.time.isValid())
        return std::nullopt;
    return e;
}

QString errnoText(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Keeps the journal of the last run beside the new one. A hard link leaves the
// journal itself in place until the new one replaces it in a single rename.
void keepPrevious(const QString& path, const QString& previous)
{
    if (!QFileInfo(path).isFile())
        return;
    QFile::remove(previous);
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(previous).constData()) != 0)
        QFile::copy(path, previous);
}

} // namespace

QString SendJournal::defaultPath()
{
    const QString folder = DataFiles::dataFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/SendJournal.log");
}

QString SendJournal::previousPath(const QString& path)
{
    QString previous = path;
    if (previous.endsWith(QLatin1String(".log")))
        previous.chop(4);
    return previous + QStringLiteral(".previous.log");
}

SendJournal::SendJournal(const QString& path) : m_path(path) {}

SendJournal::~SendJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SendJournal::begin(int rows, const QList<Entry>& carriedSent, const QList<Entry>& carriedUncertain)
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("There is no data folder to keep the journal in.");
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QByteArray content = QByteArray(kMagic) + '\t' + kVersion + '\t' + timeText(QDateTime::currentDateTime()) + '\t' +
                         QByteArray::number(rows) + '\n';
    // Carried rows mostly share a time: format each time once.
    QDateTime lastTime;
    QByteArray lastText;
    auto carry = [&](const char* verb, const Entry& e) {
        if (e.time != lastTime) {
            lastTime = e.time;
            lastText = timeText(e.time);
        }
        content += entryLine(verb, e, lastText);
    };
    for (const Entry& e : carriedUncertain)
        carry("sending", e);
    for (const Entry& e : carriedSent)
        carry("sent", e);

    keepPrevious(m_path, previousPath(m_path));
    if (const QString error = saveFileAtomically(m_path, content); !error.isEmpty()) {
        m_error = error;
        return false;
    }
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = errnoText(QStringLiteral("Cannot open ") + m_path);
        return false;
    }
    m_error.clear();
    return true;
}

bool SendJournal::append(const QByteArray& line)
{
    if (m_fd < 0)
        return false;
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = errnoText(QStringLiteral("Cannot write ") + m_path);
            return false;
        }
        data += n;
        left -= n;
    }
    if (::fsync(m_fd) != 0) {
        m_error = errnoText(QStringLiteral("Cannot flush ") + m_path);
        return false;
    }
    return true;
}

bool SendJournal::sending(int row, const QString& number, const QByteArray& fingerprint)
{
    return append(entryLine("sending", {row, number, fingerprint, QDateTime::currentDateTime()}));
}

bool SendJournal::sent(int row, const QString& number, const QByteArray& fingerprint)
{
    return append(entryLine("sent", {row, number, fingerprint, QDateTime::currentDateTime()}));
}

bool SendJournal::end(End how)
{
    static const char* const kEnds[] = {"completed", "stopped", "failed"};
    const bool ok =
        append(QByteArray("end\t") + kEnds[int(how)] + '\t' + timeText(QDateTime::currentDateTime()) + '\n');
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    return ok;
}

namespace {

std::optional<SendJournal::Interrupted> readJournal(QIODevice& device)
{
    SendJournal::Interrupted run;
    QHash<int, SendJournal::Entry> pending; // "sending" rows still waiting for their "sent"
    bool header = true;
    while (!device.atEnd()) {
        QByteArray line = device.readLine(SendJournal::kMaxLineBytes);
        if (!line.endsWith('\n')) {
            // Too long to be a journal line, or torn by the crash: skip what is left of it.
            while (!device.atEnd() && !line.endsWith('\n'))
                line = device.readLine(SendJournal::kMaxLineBytes);
            if (header)
                return std::nullopt;
            continue;
        }
        line.chop(1);
        const QList<QByteArray> fields = line.split('\t');
        if (header) {
            bool ok = false;
            if (fields.size() != 4 || fields.at(0) != kMagic || fields.at(1) != kVersion)
                return std::nullopt;
            run.started = QDateTime::fromString(QString::fromLatin1(fields.at(2)), Qt::ISODateWithMs);
            run.rows = fields.at(3).toInt(&ok);
            if (!ok || run.rows < 0)
                return std::nullopt;
            header = false;
            continue;
        }
        const QByteArray& verb = fields.first();
        if (verb == "end" && fields.size() == 3)
            return std::nullopt;
        const std::optional<SendJournal::Entry> entry = parseEntry(fields);
        if (!entry)
            continue;
        if (verb == "sending") {
            pending.insert(entry->row, *entry);
        } else if (verb == "sent") {
            const auto found = pending.constFind(entry->row);
            if (found != pending.cend() && found->fingerprint == entry->fingerprint && found->number == entry->number)
                pending.erase(found);
            run.sent.append(*entry);
        }
    }
    if (header)
        return std::nullopt;
    run.uncertain = pending.values();
    std::sort(run.uncertain.begin(), run.uncertain.end(),
              [](const SendJournal::Entry& a, const SendJournal::Entry& b) { return a.row < b.row; });
    return run;
}

} // namespace

std::optional<SendJournal::Interrupted> SendJournal::readInterrupted(const QString& path)
{
    // Only a regular file: a FIFO in its place would hold the start-up for good.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return readJournal(file);
}

std::optional<SendJournal::Interrupted> SendJournal::parse(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readJournal(buffer);
}
