#pragma once

#include "SendRun.h"

#include <QMutex>
#include <QPair>
#include <QStringList>

#include <functional>
#include <optional>

struct IChannel;

// One way out of a run with several: a GSM modem, or one of the submissions a
// gateway keeps in flight. Lanes may share a channel that is safe to use from
// several threads at once (the gateway's); a modem's lane has its own.
struct SendLane
{
    QString name;               // "COM7", "gateway": the progress line, the journal and the status column name it
    IChannel* channel = nullptr; // owned by the caller, open before the run
    int pacingMs = 1000;        // the wait after each message on this lane
};

// What a row turned out to be before any lane sees it. Exclusions, duplicates,
// blanks and the rows an earlier run took care of are decided once, for the
// whole list, so a run with several lanes skips exactly what a run with one does.
class RowQueue
{
public:
    RowQueue(const QList<RecipientRow>& rows, const SendOptions& options,
             const std::function<bool(const QString& number)>& isExcluded);

    // The rows that will not be sent, with what they are (Blank, Excluded, SkippedDuplicate);
    // the kept rows (Sent, Uncertain) are not among them.
    const QList<QPair<int, RowStatus>>& decided() const { return m_decided; }
    // The rows to send, in the list's order.
    const QList<int>& toSend() const { return m_toSend; }

    // The next row to send, or none when the queue is empty or closed. Safe from any thread;
    // every row is handed out once.
    std::optional<int> take();
    // No row is handed out after this; what was not taken stays in the queue.
    void close();
    // Nothing more will be handed out.
    bool isEmpty() const;
    // The rows not handed out (for the "not sent" marks at the end).
    QList<int> remaining() const;

private:
    QList<QPair<int, RowStatus>> m_decided;
    QList<int> m_toSend;
    mutable QMutex m_mutex;
    qsizetype m_next = 0;
    bool m_closed = false;
};

// What a run with several lanes asks of the main window beyond the single run.
class ParallelRunHost : public SendRunHost
{
public:
    // The progress window shows the total and one line per lane.
    virtual void setupLanes(const QStringList& names) = 0;
    // The text of a lane's line ("Sending to 0700… (12 sent)").
    virtual void showLane(int lane, const QString& text) = 0;
    // The lane failed and was taken out of the run; the others go on.
    virtual void laneLost(int lane, const QString& text) = 0;
    // Which lane sent the row (the status column names it).
    virtual void setRowLane(int row, const QString& lane) = 0;
    // On the lane's thread, just before it hands the row's message to its channel
    // (a modem's delivery reports find their row by it). Nothing by default.
    virtual void laneWriting(int /*lane*/, int /*row*/) {}
};

struct ParallelRunResult
{
    bool completed = false;   // every row was handed out and no Stop came
    QStringList lostLanes;    // "COM8: <reason>", in the order they were lost
};

// Hands the list's rows from one shared queue to the lanes, each lane on its own
// worker thread with its own pacing and pause rules, keeping the send journal
// (each line names its lane) and the rows' statuses. A lane whose channel fails
// leaves its row Uncertain or Failed as the single run would, and is taken out;
// the run goes on while a lane is left. Stop stops all lanes.
//
// The host and the clock are called from every lane's thread (the host's
// setupLanes, and the calls before and after the lanes, from the caller's).
// Exclusions and options are read once, at the start. A lost lane ends the
// journal as failed, so that what it left uncertain is known to later runs;
// the run then shows its status column rather than its success message, and
// telling the user which lanes were lost is the caller's, from lostLanes.
ParallelRunResult ParallelSendRun(const QList<SendLane>& lanes, ParallelRunHost& host, StopGate& gate,
                                  SendClock& clock);
