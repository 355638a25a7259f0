// Send journal and row status timings. Build with -DVEVA_BENCH=ON in a Release
// folder and run bin/veva_bench_journal; the figures go into BENCHMARKS.md.

#include "app/core/RecipientListModel.h"
#include "sending/SendJournal.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QString kMessage = QStringLiteral("Dear parent, school closes at 1pm on Friday.\r\nRegards, the office");

QString number(int i)
{
    return QStringLiteral("0044770%1").arg(1000000 + i);
}

QList<SendJournal::Entry> entries(int count)
{
    QList<SendJournal::Entry> out;
    out.reserve(count);
    const QByteArray fingerprint = messageFingerprint(kMessage);
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i)
        out.append({i, number(i), fingerprint, now, {}});
    return out;
}

// One message's cost to the run: "sending" and "sent", each on the disk before the run goes on.
void journalOneMessage(benchmark::State& state)
{
    QTemporaryDir dir;
    SendJournal journal(dir.filePath(QStringLiteral("SendJournal.log")));
    if (!journal.begin(1000000)) {
        state.SkipWithError("cannot start the journal");
        return;
    }
    const QByteArray fingerprint = messageFingerprint(kMessage);
    int row = 0;
    for (auto _ : state) {
        journal.sending(row, number(row), fingerprint);
        journal.sent(row, number(row), fingerprint);
        ++row;
    }
    journal.end(SendJournal::End::Completed);
}
BENCHMARK(journalOneMessage)->Unit(benchmark::kMillisecond);

// Starting a resumed run whose earlier rows are carried into the new journal.
void beginWithCarriedRows(benchmark::State& state)
{
    QTemporaryDir dir;
    const QList<SendJournal::Entry> carried = entries(int(state.range(0)));
    for (auto _ : state) {
        SendJournal journal(dir.filePath(QStringLiteral("SendJournal.log")));
        benchmark::DoNotOptimize(journal.begin(int(carried.size()) * 2, carried));
    }
}
BENCHMARK(beginWithCarriedRows)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The start-up reading of a journal whose run did not end.
void readInterruptedRun(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SendJournal.log"));
    SendJournal journal(path);
    journal.begin(int(state.range(0)), entries(int(state.range(0))));
    for (auto _ : state) {
        const auto run = SendJournal::readInterrupted(path);
        if (!run || run->sent.size() != state.range(0))
            state.SkipWithError("the journal did not read back");
    }
}
BENCHMARK(readInterruptedRun)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Loading a list after an interrupted run: every row is looked up among its outcomes.
void insertRowsWithOutcomes(benchmark::State& state)
{
    const int count = int(state.range(0));
    QHash<QString, RecoveredOutcome> outcomes;
    for (const SendJournal::Entry& e : entries(count / 2))
        outcomes.insert(sendKey(e.number, e.fingerprint), {RowStatus::Sent, e.time});
    QList<RecipientListModel::Row> rows;
    for (int i = 0; i < count; ++i)
        rows.append({number(i), kMessage});
    for (auto _ : state) {
        RecipientListModel model;
        model.setRecoveredOutcomes(outcomes);
        model.appendRecipients(rows);
        if (model.status(0) != RowStatus::Sent || model.status(count - 1) != RowStatus::None)
            state.SkipWithError("rows were not marked");
    }
}
BENCHMARK(insertRowsWithOutcomes)->Arg(100000)->Unit(benchmark::kMillisecond);

// A Stop at the first row of a long list marks every row in one change.
void markRowsNotSent(benchmark::State& state)
{
    const int count = int(state.range(0));
    RecipientListModel model;
    QList<RecipientListModel::Row> rows;
    QList<int> all;
    for (int i = 0; i < count; ++i) {
        rows.append({number(i), kMessage});
        all.append(i);
    }
    model.appendRecipients(rows);
    for (auto _ : state)
        model.setStatus(all, RowStatus::NotSentStopped);
}
BENCHMARK(markRowsNotSent)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
