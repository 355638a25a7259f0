#include "SendJournal.h"

#include "platform/SaveFile.h"
#include "store/DataFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kMagic[] = "veva-send-journal";
constexpr char kVersion[] = "2";
constexpr char kVersion1[] = "1";
// Version 2 whose lines may name their lane; a reader that knows only 1 and 2 passes it over whole.
constexpr char kVersionLanes[] = "2+lanes";
constexpr char kLanePrefix[] = "lane=";

using Outcome = SendJournal::Outcome;
using Origin = SendJournal::Origin;

QByteArray timeText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray partsText(const SendJournal::Parts& p)
{
    return QByteArray::number(p.accepted) + '/' + QByteArray::number(p.total) + '/' + QByteArray::number(p.reference);
}

QByteArray entryLine(const char* verb, const SendJournal::Entry& e, const QByteArray& time, const QString& lane = {})
{
    QByteArray line = QByteArray(verb) + '\t' + QByteArray::number(e.row) + '\t' + QUrl::toPercentEncoding(e.number) +
                      '\t' + e.fingerprint + '\t' + time;
    if (e.parts.total > 0)
        line += '\t' + partsText(e.parts);
    if (!lane.isEmpty())
        line += '\t' + QByteArray(kLanePrefix) + QUrl::toPercentEncoding(lane);
    return line + '\n';
}

// Takes a trailing lane field off the line's fields; the lane's name, or empty.
QString takeLane(QList<QByteArray>& fields)
{
    if (fields.size() < 6 || !fields.last().startsWith(kLanePrefix))
        return {};
    const QByteArray lane = fields.takeLast().mid(qsizetype(sizeof(kLanePrefix) - 1));
    return QUrl::fromPercentEncoding(lane);
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

std::optional<SendJournal::Parts> parseParts(const QByteArray& text)
{
    const QList<QByteArray> f = text.split('/');
    if (f.size() != 3)
        return std::nullopt;
    bool ok1 = false, ok2 = false, ok3 = false;
    SendJournal::Parts p{f.at(0).toInt(&ok1), f.at(1).toInt(&ok2), f.at(2).toInt(&ok3)};
    if (!ok1 || !ok2 || !ok3 || p.total < 1 || p.total > 255 || p.accepted < 0 || p.accepted > p.total ||
        p.reference < -1 || p.reference > 255)
        return std::nullopt;
    return p;
}

std::optional<SendJournal::Entry> parseEntry(const QList<QByteArray>& fields)
{
    if (fields.size() != 5 && fields.size() != 6)
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
    if (fields.size() == 6) {
        const auto parts = parseParts(fields.at(5));
        if (!parts)
            return std::nullopt;
        e.parts = *parts;
    }
    return e;
}

QString errnoText(const QString& what, int error = errno)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
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

const char* carryVerb(const Outcome& o)
{
    // A reported message was sent, whatever the network made of it.
    const bool sent = o.status != RowStatus::Uncertain && isSentOrUncertain(o.status);
    if (o.origin == Origin::Kept && sent)
        return "kept-sent";
    if (o.origin == Origin::Kept && o.status == RowStatus::Uncertain)
        return "kept-uncertain";
    if (sent)
        return "carried-sent";
    if (o.status == RowStatus::Uncertain)
        return "carried-uncertain";
    return "carried-failed";
}

int rank(RowStatus status)
{
    switch (status) {
    case RowStatus::Sent:
        return 3;
    case RowStatus::Uncertain:
        return 2;
    default:
        return 1;
    }
}

// Collects outcomes one per row and message; a stronger one replaces a
// weaker (sent over uncertain over partly sent), a later one an equal.
class OutcomeTable
{
public:
    void put(const SendJournal::Entry& e, RowStatus status, Origin origin)
    {
        const QString id = sendKey(e.number, e.fingerprint) + QLatin1Char('#') + QString::number(e.row);
        const auto found = m_index.constFind(id);
        if (found == m_index.cend()) {
            m_index.insert(id, int(m_outcomes.size()));
            m_outcomes.append({e, status, origin});
            return;
        }
        Outcome& old = m_outcomes[found.value()];
        if (rank(status) >= rank(old.status))
            old = {e, status, origin};
    }
    QList<Outcome> take()
    {
        std::stable_sort(m_outcomes.begin(), m_outcomes.end(),
                         [](const Outcome& a, const Outcome& b) { return a.entry.row < b.entry.row; });
        return std::move(m_outcomes);
    }

private:
    QHash<QString, int> m_index;
    QList<Outcome> m_outcomes;
};

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

QList<SendJournal::Outcome> SendJournal::Contents::unresolved() const
{
    if (!end || *end != End::Completed)
        return outcomes;
    // The run completed its own list; what it carried from other lists stays
    // unless it sent the same message to the same number itself.
    QSet<QString> sentHere;
    for (const Outcome& o : outcomes)
        if (o.origin != Origin::Carried && o.status == RowStatus::Sent)
            sentHere.insert(sendKey(o.entry.number, o.entry.fingerprint));
    QList<Outcome> left;
    for (const Outcome& o : outcomes)
        if (o.origin == Origin::Carried && !sentHere.contains(sendKey(o.entry.number, o.entry.fingerprint)))
            left.append(o);
    return left;
}

SendJournal::SendJournal(const QString& path) : m_path(path) {}

SendJournal::~SendJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SendJournal::begin(int rows, const QList<Entry>& keptSent, const QList<Entry>& keptUncertain)
{
    QList<Outcome> carry;
    carry.reserve(keptSent.size() + keptUncertain.size());
    for (const Entry& e : keptUncertain)
        carry.append({e, RowStatus::Uncertain, Origin::Kept});
    for (const Entry& e : keptSent)
        carry.append({e, RowStatus::Sent, Origin::Kept});
    return begin(rows, carry);
}

bool SendJournal::begin(int rows, const QList<Outcome>& carry)
{
    QMutexLocker lock(&m_mutex);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("There is no data folder to keep the journal in.");
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QByteArray content = QByteArray(kMagic) + '\t' + (m_namesLanes ? kVersionLanes : kVersion) + '\t' +
                         timeText(QDateTime::currentDateTime()) + '\t' + QByteArray::number(rows) + '\n';
    // Carried rows mostly share a time: format each time once.
    QDateTime lastTime;
    QByteArray lastText;
    // The rows of this list always; of the others, the newest up to the cap.
    qsizetype others = 0;
    for (const Outcome& o : carry)
        others += o.origin == Origin::Carried;
    qsizetype skipOthers = std::max<qsizetype>(0, others - kMaxCarried);
    for (const Outcome& o : carry) {
        if (o.origin == Origin::Carried && skipOthers > 0) {
            --skipOthers;
            continue;
        }
        if (o.entry.time != lastTime) {
            lastTime = o.entry.time;
            lastText = timeText(o.entry.time);
        }
        content += entryLine(carryVerb(o), o.entry, lastText);
    }

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

bool SendJournal::isOpen() const
{
    QMutexLocker lock(&m_mutex);
    return m_fd >= 0;
}

QString SendJournal::lastError() const
{
    QMutexLocker lock(&m_mutex);
    return m_error;
}

bool SendJournal::append(const QByteArray& line)
{
    QMutexLocker lock(&m_mutex);
    return appendLocked(line);
}

bool SendJournal::appendLocked(const QByteArray& line)
{
    if (m_fd < 0)
        return false;
    struct stat st = {};
    if (::fstat(m_fd, &st) != 0) {
        m_error = errnoText(QStringLiteral("Cannot write ") + m_path);
        return false;
    }
    // One write of the whole line; a short one is undone, so the journal never
    // ends in half a line that the next line would be glued to.
    ssize_t n;
    do
        n = ::write(m_fd, line.constData(), size_t(line.size()));
    while (n < 0 && errno == EINTR);
    if (n != line.size()) {
        const int error = n < 0 ? errno : ENOSPC;
        if (n > 0 && ::ftruncate(m_fd, st.st_size) != 0) {
            // Could not undo the part: at least end it, so it reads as damage.
            [[maybe_unused]] const ssize_t ignored = ::write(m_fd, "\n", 1);
        }
        m_error = errnoText(QStringLiteral("Cannot write ") + m_path, error);
        return false;
    }
    if (::fsync(m_fd) != 0) {
        m_error = errnoText(QStringLiteral("Cannot flush ") + m_path);
        return false;
    }
    return true;
}

bool SendJournal::entry(const char* verb, int row, const QString& number, const QByteArray& fingerprint,
                        const Parts& parts, const QString& lane)
{
    const Entry e{row, number, fingerprint, QDateTime::currentDateTime(), parts};
    return append(entryLine(verb, e, timeText(e.time), lane));
}

bool SendJournal::sending(int row, const QString& number, const QByteArray& fingerprint, const QString& lane)
{
    return entry("sending", row, number, fingerprint, {}, lane);
}

bool SendJournal::part(int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
                       const QString& lane)
{
    return entry("part", row, number, fingerprint, parts, lane);
}

bool SendJournal::sent(int row, const QString& number, const QByteArray& fingerprint, const QString& lane)
{
    return entry("sent", row, number, fingerprint, {}, lane);
}

bool SendJournal::uncertain(int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
                            const QString& lane)
{
    return entry("uncertain", row, number, fingerprint, parts, lane);
}

bool SendJournal::failed(int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
                         const QString& lane)
{
    return entry("failed", row, number, fingerprint, parts, lane);
}

bool SendJournal::uncertain(int row, const QString& number, const QByteArray& fingerprint)
{
    return uncertain(row, number, fingerprint, Parts());
}

bool SendJournal::failed(int row, const QString& number, const QByteArray& fingerprint)
{
    return failed(row, number, fingerprint, Parts());
}

bool SendJournal::appendReport(const QString& path, const Report& report, QString* error)
{
    SendJournal journal(path);
    if (!QFileInfo(path).isFile()) {
        if (error)
            *error = QStringLiteral("There is no send journal at ") + path;
        return false;
    }
    journal.m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (journal.m_fd < 0) {
        if (error)
            *error = errnoText(QStringLiteral("Cannot open ") + path);
        return false;
    }
    QByteArray line = entryLine("report", report.entry, timeText(report.entry.time));
    line.chop(1);
    line += '\t' + QByteArray::number(report.tpStatus) + '\t' + timeText(report.discharge) + '\n';
    const bool ok = journal.appendLocked(line);
    if (!ok && error)
        *error = journal.m_error;
    return ok;
}

QHash<QString, Delivery> SendJournal::Contents::deliveries() const
{
    QHash<QString, QList<PartReport>> parts; // by sendKey and row, so two rows' messages never mix
    QHash<QString, QString> keyOf;
    for (const Report& r : reports) {
        const QString key = sendKey(r.entry.number, r.entry.fingerprint);
        const QString id = key + QLatin1Char('#') + QString::number(r.entry.row);
        keyOf.insert(id, key);
        parts[id].append({r.entry.parts.accepted, r.entry.parts.total, r.tpStatus, r.discharge});
    }
    QHash<QString, Delivery> out;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it)
        out.insert(keyOf.value(it.key()), deliveryOf(it.value()));
    return out;
}

bool SendJournal::end(End how)
{
    static const char* const kEnds[] = {"completed", "stopped", "failed"};
    QMutexLocker lock(&m_mutex);
    const bool ok =
        appendLocked(QByteArray("end\t") + kEnds[int(how)] + '\t' + timeText(QDateTime::currentDateTime()) + '\n');
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    return ok;
}

namespace {

std::optional<SendJournal::Contents> readJournal(QIODevice& device)
{
    SendJournal::Contents run;
    OutcomeTable table;
    QHash<int, SendJournal::Entry> pending; // rows handed over and not yet confirmed or refused
    auto settle = [&](const SendJournal::Entry& e) {
        const auto found = pending.constFind(e.row);
        if (found != pending.cend() && found->fingerprint == e.fingerprint && found->number == e.number)
            pending.erase(found);
    };
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
        QList<QByteArray> fields = line.split('\t');
        if (header) {
            bool ok = false;
            if (fields.size() != 4 || fields.at(0) != kMagic ||
                (fields.at(1) != kVersion && fields.at(1) != kVersion1 && fields.at(1) != kVersionLanes))
                return std::nullopt;
            run.started = QDateTime::fromString(QString::fromLatin1(fields.at(2)), Qt::ISODateWithMs);
            run.rows = fields.at(3).toInt(&ok);
            if (!ok || run.rows < 0)
                return std::nullopt;
            header = false;
            continue;
        }
        const QByteArray verb = fields.first();
        if (verb == "report" && fields.size() == 8) {
            // Reports may come after the end: the run is over, its messages still travel.
            std::optional<SendJournal::Entry> entry = parseEntry(fields.mid(0, 6));
            bool ok = false;
            const int status = fields.at(6).toInt(&ok);
            const QDateTime discharge = QDateTime::fromString(QString::fromLatin1(fields.at(7)), Qt::ISODateWithMs);
            if (entry && ok && status >= 0 && status <= 255 && entry->parts.accepted >= 1)
                run.reports.append({*entry, status, discharge});
            continue;
        }
        if (run.end)
            continue;
        if (verb == "end" && fields.size() == 3) {
            if (fields.at(1) == "completed")
                run.end = SendJournal::End::Completed;
            else if (fields.at(1) == "stopped")
                run.end = SendJournal::End::Stopped;
            else
                run.end = SendJournal::End::Failed;
            continue;
        }
        const QString lane = takeLane(fields);
        const std::optional<SendJournal::Entry> entry = parseEntry(fields);
        if (!entry)
            continue;
        if (!lane.isEmpty())
            run.lanes.insert(entry->row, lane);
        if (verb == "sending") {
            pending.insert(entry->row, *entry);
        } else if (verb == "part") {
            const auto found = pending.find(entry->row);
            if (found != pending.end() && found->fingerprint == entry->fingerprint && found->number == entry->number)
                found->parts = entry->parts;
        } else if (verb == "sent") {
            settle(*entry);
            table.put(*entry, RowStatus::Sent, Origin::ThisRun);
        } else if (verb == "uncertain") {
            settle(*entry);
            table.put(*entry, RowStatus::Uncertain, Origin::ThisRun);
        } else if (verb == "failed") {
            settle(*entry);
            // Refused with nothing sent: there is nothing to remember.
            if (entry->parts.accepted > 0)
                table.put(*entry, RowStatus::Failed, Origin::ThisRun);
        } else if (verb == "kept-sent" || verb == "kept-uncertain") {
            table.put(*entry, verb == "kept-sent" ? RowStatus::Sent : RowStatus::Uncertain, Origin::Kept);
        } else if (verb == "carried-sent") {
            table.put(*entry, RowStatus::Sent, Origin::Carried);
        } else if (verb == "carried-uncertain") {
            table.put(*entry, RowStatus::Uncertain, Origin::Carried);
        } else if (verb == "carried-failed" && entry->parts.accepted > 0) {
            table.put(*entry, RowStatus::Failed, Origin::Carried);
        }
    }
    if (header)
        return std::nullopt;
    for (const SendJournal::Entry& e : std::as_const(pending))
        table.put(e, RowStatus::Uncertain, Origin::ThisRun);
    run.outcomes = table.take();
    return run;
}

std::optional<SendJournal::Interrupted> interruptedOf(const std::optional<SendJournal::Contents>& contents)
{
    if (!contents || contents->end)
        return std::nullopt;
    SendJournal::Interrupted run;
    run.started = contents->started;
    run.rows = contents->rows;
    for (const Outcome& o : contents->outcomes) {
        if (o.status == RowStatus::Sent)
            run.sent.append(o.entry);
        else if (o.status == RowStatus::Uncertain)
            run.uncertain.append(o.entry);
    }
    return run;
}

} // namespace

std::optional<SendJournal::Contents> SendJournal::read(const QString& path)
{
    // Only a regular file: a FIFO in its place would hold the start-up for good.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return readJournal(file);
}

std::optional<SendJournal::Contents> SendJournal::parseContents(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readJournal(buffer);
}

std::optional<SendJournal::Interrupted> SendJournal::readInterrupted(const QString& path)
{
    return interruptedOf(read(path));
}

std::optional<SendJournal::Interrupted> SendJournal::parse(const QByteArray& bytes)
{
    return interruptedOf(parseContents(bytes));
}
