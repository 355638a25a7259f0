// A whole send run over the handset channel with the pacing taken out (the
// tests' fast clock): what the run costs besides its one second a message.
// Build with -DVEVA_BENCH=ON and run bin/veva_bench_sendrun; the figures go
// into BENCHMARKS.md.

#include "sending/FakeHosts.h"
#include "store/DataFiles.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Rows of a mail-merged list: every message different. Arguments: rows, and
// whether "Save sent message to Templates" is ticked.
void sendRunOfDistinctMessages(benchmark::State& state)
{
    const int count = int(state.range(0));
    QList<RecipientRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("0044770%1").arg(1000000 + i),
                     QStringLiteral("Dear parent of pupil %1, the school trip leaves at 8:30 on Friday.").arg(i)});
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        qputenv("VEVA_SMS_APP_DIR", QFile::encodeName(dir.path()));
        DataFiles::EnsureDataFiles();
        resetSharedState();
        FakeHost host;
        host.rows = rows;
        host.opts.saveTemplates = state.range(1) != 0;
        FakeClock clock;
        StopGate gate;
        RecordingChannel channel;
        state.ResumeTiming();

        const bool done = SendRun(&channel, host, gate, clock);

        state.PauseTiming();
        if (!done || channel.packets.size() != count + 1)
            state.SkipWithError("the run did not send every row");
        else if (host.opts.saveTemplates && DataFiles::LoadTemplates().size() != count)
            state.SkipWithError("the templates file does not hold every message once");
        state.ResumeTiming();
    }
}
BENCHMARK(sendRunOfDistinctMessages)
    ->Args({50000, 0})
    ->Args({50000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
