// Export timings: 100,000 sent items in each format, written as the export
// thread writes them (temporary file, flush, rename). Build with
// -DVEVA_BENCH=ON and run bin/veva_bench_exports; figures in BENCHMARKS.md.

#include "export/ExportJob.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class NoHost : public ExportHost
{
public:
    void showExcelError(const QString&) override {}
};

QList<DataFiles::SentItem> makeSentItems(int count)
{
    QList<DataFiles::SentItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        items.append({QStringLiteral("0044770%1").arg(1000000 + i),
                      QStringLiteral("Dear parent, school closes at 1pm on Friday %1.\r\nRegards, the office").arg(i),
                      QStringLiteral("%1/03/2012").arg(1 + i % 28, 2, 10, QLatin1Char('0'))});
    }
    return items;
}

void exportAs(benchmark::State& state, ExportFormat format)
{
    setReportPause(std::chrono::milliseconds(0));
    const QList<DataFiles::SentItem> rows = makeSentItems(int(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sent") + formatExtension(format));
    NoHost host;
    for (auto _ : state) {
        const ExportOutcome outcome =
            exportSentItemsTo(path, format, rows, {QDate(2012, 3, 1), QDate(2012, 3, 31)}, host);
        if (outcome.status != ExportOutcome::Status::Exported)
            state.SkipWithError(qPrintable(outcome.detail));
    }
    state.counters["bytes"] = double(QFileInfo(path).size());
}

void BM_ExportText(benchmark::State& state)
{
    exportAs(state, ExportFormat::Text);
}
void BM_ExportHtml(benchmark::State& state)
{
    exportAs(state, ExportFormat::Html);
}
void BM_ExportXls(benchmark::State& state)
{
    exportAs(state, ExportFormat::Xls);
}
void BM_ExportXlsx(benchmark::State& state)
{
    exportAs(state, ExportFormat::Xlsx);
}

} // namespace

BENCHMARK(BM_ExportText)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ExportHtml)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ExportXls)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportXlsx)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
