#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The record of the send run under way, in the data folder, so that a run cut
// off by a crash or a power cut can be told from one that ended. Before each
// message packet the run writes "sending", after the channel took it "sent";
// every line reaches the disk before the run goes on. The journal holds one
// run: starting a new one keeps the last as the previous journal and replaces
// it. The sent-items file is never touched.
//
// Lines are UTF-8, tab-separated, each ending in LF:
//   veva-send-journal 1 <started> <rows>
//   sending|sent <row> <number, percent-encoded> <message fingerprint> <time>
//   end completed|stopped|failed <time>
class SendJournal
{
public:
    struct Entry
    {
        int row = -1;
        QString number;
        QByteArray fingerprint; // messageFingerprint() of the message
        QDateTime time;
        bool operator==(const Entry&) const = default;
    };
    enum class End
    {
        Completed,
        Stopped,
        Failed
    };

    // What the journal tells of a run that did not end.
    struct Interrupted
    {
        QDateTime started;
        int rows = 0;
        QList<Entry> sent;
        QList<Entry> uncertain; // "sending" without "sent": the handset may have sent it
    };

    static QString defaultPath();
    static QString previousPath(const QString& path);
    // Lines longer than this are damage, not journal.
    static constexpr qsizetype kMaxLineBytes = 4096;

    explicit SendJournal(const QString& path = defaultPath());
    ~SendJournal();
    SendJournal(const SendJournal&) = delete;
    SendJournal& operator=(const SendJournal&) = delete;

    // Starts the journal of a run over `rows` rows. Rows the run leaves alone
    // because an earlier run sent them (or may have) are written first, so that
    // a crash of this run still knows them. False when the journal cannot be
    // written; the run then goes on without one (lastError() says why).
    bool begin(int rows, const QList<Entry>& carriedSent = {}, const QList<Entry>& carriedUncertain = {});
    bool sending(int row, const QString& number, const QByteArray& fingerprint);
    bool sent(int row, const QString& number, const QByteArray& fingerprint);
    // Writes the end line and closes the journal.
    bool end(End how);

    bool isOpen() const { return m_fd >= 0; }
    QString lastError() const { return m_error; }

    // The run in the journal at `path` when it did not end; nothing when it
    // ended, when there is no journal, or when its first line is not a header.
    // Damaged lines and a torn last line are passed over.
    static std::optional<Interrupted> readInterrupted(const QString& path = defaultPath());
    static std::optional<Interrupted> parse(const QByteArray& bytes);

private:
    bool append(const QByteArray& line);

    QString m_path;
    int m_fd = -1;
    QString m_error;
};
