// Record file and number rule timings. Build with -DVEVA_BENCH=ON in a Release
// folder and run bin/veva_bench; the figures go into BENCHMARKS.md.

#include "app/core/NumberRules.h"
#include "store/DataFiles.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using DataFiles::SentItem;

namespace {

QList<SentItem> makeSentItems(int count)
{
    QList<SentItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        items.append({QStringLiteral("0044770%1").arg(1000000 + i),
                      QStringLiteral("Dear parent, school closes at 1pm on Friday %1.\r\nRegards, the office").arg(i),
                      QStringLiteral("%1/03/2012").arg(1 + i % 28, 2, 10, QLatin1Char('0'))});
    }
    return items;
}

// Numbers as they come out of a contact file: dashes, spaces, "+", about one
// in ten repeated and one in fifty invalid.
QStringList makeImportedNumbers(int count)
{
    QRandomGenerator rng(1600);
    QStringList numbers;
    numbers.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int pick = rng.bounded(100);
        if (pick < 10 && !numbers.isEmpty())
            numbers.append(numbers.at(rng.bounded(int(numbers.size()))));
        else if (pick < 12)
            numbers.append(QStringLiteral("call 07%1").arg(rng.bounded(100000000)));
        else if (pick < 40)
            numbers.append(QStringLiteral(" +447%1-%2 ").arg(rng.bounded(1000, 9999)).arg(rng.bounded(100000, 999999)));
        else
            numbers.append(QStringLiteral("07%1").arg(qulonglong(rng.bounded(1000000000)), 9, 10, QLatin1Char('0')));
    }
    return numbers;
}

void loadSentItems(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SentItem.ulmex"));
    if (!DataFiles::RewriteSentItems(makeSentItems(count), path).isEmpty()) {
        state.SkipWithError("cannot write the sent-items file");
        return;
    }
    for (auto _ : state) {
        const QList<SentItem> items = DataFiles::LoadSentItems(path);
        if (items.size() != count)
            state.SkipWithError("wrong record count");
        benchmark::DoNotOptimize(items.constData());
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["file_MB"] = double(QFileInfo(path).size()) / 1e6;
}
BENCHMARK(loadSentItems)->Arg(100000)->Unit(benchmark::kMillisecond);

void rewriteSentItems(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SentItem.ulmex"));
    const QList<SentItem> items = makeSentItems(count);
    for (auto _ : state) {
        if (!DataFiles::RewriteSentItems(items, path).isEmpty())
            state.SkipWithError("rewrite failed");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(rewriteSentItems)->Arg(100000)->Unit(benchmark::kMillisecond);

// Every number of an import through the rules, with "Skip Duplicate Numbers"
// ticked, into a recipient index that grows as rows are inserted.
void importNumbersSkippingDuplicates(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QStringList raw = makeImportedNumbers(count);
    const ImportSwitches switches{true, false};
    qsizetype kept = 0;
    for (auto _ : state) {
        NumberIndex recipients;
        const NumberIndex exclusions;
        kept = 0;
        for (const QString& number : raw) {
            const QString cleaned = NormalizeImportedNumber(number, switches, recipients, exclusions);
            if (!cleaned.isEmpty()) {
                recipients.add(cleaned);
                ++kept;
            }
        }
        benchmark::DoNotOptimize(kept);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetComplexityN(count);
    state.counters["kept"] = double(kept);
}
BENCHMARK(importNumbersSkippingDuplicates)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
