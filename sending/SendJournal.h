#pragma once

#include "app/core/SendStatus.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

// The record of the send run under way, in the data folder, so that a run cut
// off by a crash or a power cut can be told from one that ended. Before each
// message the run writes "sending", after the channel confirmed it "sent";
// every line reaches the disk before the run goes on, whole or not at all.
//
// What an earlier run that did not complete knew outlives it: a new journal
// starts with the rows its list keeps from earlier runs ("kept-…") and with
// every other outcome not yet resolved ("carried-…"), so a run killed before
// its first message still knows what went out before. The previous journal is
// kept beside it. The sent-items file is never touched.
//
// Lines are UTF-8, tab-separated, each ending in LF:
//   veva-send-journal 2|2+lanes <started> <rows>
//   <verb> <row> <number, percent-encoded> <message fingerprint> <time> [<accepted>/<parts>/<reference>] [lane=<name>]
//   end completed|stopped|failed <time>
//   report <row> <number> <fingerprint> <time> <part>/<parts>/<message reference> <TP-ST> <discharge time>
// verbs: sending, part (one more part of a long message accepted), sent,
// uncertain (handed over, never confirmed), failed (refused or never handed
// over), kept-sent, kept-uncertain, carried-sent, carried-uncertain, carried-failed,
// report (the network's status report on one part; these may follow the end line).
// A run with several lanes (modems) names the lane of each of its own lines,
// percent-encoded; its header says "2+lanes", so that a reader that knows only
// 1 and 2 passes the whole journal over rather than misread the lines it cannot parse.
// Appends are serialised: the lanes of one run write from their own threads.
class SendJournal
{
public:
    // How far a message in parts got: the first `accepted` of `total` parts
    // went out under the concatenation reference.
    struct Parts
    {
        int accepted = 0;
        int total = 0;
        int reference = -1;
        bool isPartial() const { return accepted > 0 && accepted < total && reference >= 0; }
        bool operator==(const Parts&) const = default;
    };
    struct Entry
    {
        int row = -1;
        QString number;
        QByteArray fingerprint; // messageFingerprint() of the message
        QDateTime time;
        Parts parts;
        bool operator==(const Entry&) const = default;
    };
    enum class End
    {
        Completed,
        Stopped,
        Failed
    };
    enum class Origin
    {
        ThisRun, // sent (or tried) by the run of this journal
        Kept,    // a row of this run's list that an earlier run took care of
        Carried  // known from an earlier run, not a row of this run's list
    };
    // What the journal knows of one message to one number; one per sendKey.
    struct Outcome
    {
        Entry entry;
        RowStatus status = RowStatus::None; // Sent, Uncertain, or Failed with parts accepted
        Origin origin = Origin::ThisRun;
        bool operator==(const Outcome&) const = default;
    };
    // A status report on one part: entry.parts holds part, parts and the message reference.
    struct Report
    {
        Entry entry;
        int tpStatus = 0;
        QDateTime discharge;
    };
    struct Contents
    {
        QDateTime started;
        int rows = 0;
        std::optional<End> end;
        QList<Outcome> outcomes;   // ordered by row
        QList<Report> reports;     // in the order they came
        QHash<int, QString> lanes; // by row: the lane its last line of this run named
        // What the reports say of each message reported on, by sendKey.
        QHash<QString, Delivery> deliveries() const;
        // What a later run must not forget: everything, unless the run
        // completed its list; then only what it carried from other lists.
        QList<Outcome> unresolved() const;
    };

    // What the journal tells of a run that did not end.
    struct Interrupted
    {
        QDateTime started;
        int rows = 0;
        QList<Entry> sent;
        QList<Entry> uncertain; // handed over, never confirmed: the device may have sent it
    };

    static QString defaultPath();
    static QString previousPath(const QString& path);
    // Lines longer than this are damage, not journal.
    static constexpr qsizetype kMaxLineBytes = 4096;
    // Outcomes carried from run to run, at most; the newest are kept.
    static constexpr int kMaxCarried = 200000;

    explicit SendJournal(const QString& path = defaultPath());
    ~SendJournal();
    SendJournal(const SendJournal&) = delete;
    SendJournal& operator=(const SendJournal&) = delete;

    // Starts the journal of a run over `rows` rows with what it carries from
    // earlier runs (origin Kept or Carried). False when the journal cannot be
    // written (lastError() says why); the old journal is then left as it was.
    bool begin(int rows, const QList<Outcome>& carry);
    bool begin(int rows, const QList<Entry>& keptSent = {}, const QList<Entry>& keptUncertain = {});
    // Before begin(): the run's lines will name their lanes (the header then says "2+lanes").
    void setNamesLanes(bool on) { m_namesLanes = on; }
    // `lane` names the lane that sent the row, in a run with several; empty for a run with one.
    bool sending(int row, const QString& number, const QByteArray& fingerprint, const QString& lane = {});
    bool part(int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
              const QString& lane = {});
    bool sent(int row, const QString& number, const QByteArray& fingerprint, const QString& lane = {});
    bool uncertain(int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
                   const QString& lane = {});
    bool uncertain(int row, const QString& number, const QByteArray& fingerprint);
    bool failed(int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
                const QString& lane = {});
    bool failed(int row, const QString& number, const QByteArray& fingerprint);
    // Writes the end line and closes the journal.
    bool end(End how);
    // Adds a status report to the journal at `path`, during its run or after it ended.
    static bool appendReport(const QString& path, const Report& report, QString* error = nullptr);

    bool isOpen() const;
    QString lastError() const;

    // The run in the journal at `path` when it did not end; nothing when it
    // ended, when there is no journal, or when its first line is not a header.
    // Damaged lines and a torn last line are passed over.
    static std::optional<Interrupted> readInterrupted(const QString& path = defaultPath());
    static std::optional<Interrupted> parse(const QByteArray& bytes);
    // Everything the journal at `path` holds, ended or not.
    static std::optional<Contents> read(const QString& path = defaultPath());
    static std::optional<Contents> parseContents(const QByteArray& bytes);

private:
    bool append(const QByteArray& line);
    bool appendLocked(const QByteArray& line);
    bool entry(const char* verb, int row, const QString& number, const QByteArray& fingerprint, const Parts& parts,
               const QString& lane);

    QString m_path;
    int m_fd = -1;
    QString m_error;
    bool m_namesLanes = false;
    mutable QMutex m_mutex; // one line at a time, whichever lane writes it
};
