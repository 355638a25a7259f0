// Reading .xls files: open a 50,000-row two-column sheet made by the tests'
// BIFF8 writer, list its sheets, load it and touch every cell. Figures in
// BENCHMARKS.md ("Reading .xls").
//   bin/veva_bench_xls                      the timings
//   bin/veva_bench_xls --write <path> [text]  writes the file (numbers, or numbers as text) for other readers

#include "import/Biff8TestWriter.h"
#include "import/workbook/WorkbookBackends.h"

#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstring>
#include <malloc.h>

namespace {

constexpr int kRows = 50000;

// Column A a mobile number, about 2 % of them repeats of earlier ones;
// column B a name. Row 1 holds the headers.
QByteArray contacts(bool numbersAsText)
{
    QRandomGenerator rng(2024);
    Biff8TestWriter book;
    auto& sheet = book.addSheet(QStringLiteral("Contacts"));
    sheet.text(0, 0, QStringLiteral("Mobile")).text(0, 1, QStringLiteral("Name"));
    std::vector<qint64> numbers;
    numbers.reserve(kRows);
    for (int r = 1; r <= kRows; ++r) {
        const bool repeat = !numbers.empty() && rng.bounded(100) < 2;
        const qint64 n =
            repeat ? numbers[rng.bounded(quint32(numbers.size()))] : 447700000000 + qint64(rng.bounded(100000000));
        numbers.push_back(n);
        if (numbersAsText)
            sheet.text(r, 0, QString::number(n));
        else
            sheet.number(r, 0, double(n));
        sheet.text(r, 1, QStringLiteral("Parent of pupil %1").arg(r));
    }
    return book.xls();
}

const QByteArray& file(bool numbersAsText)
{
    static const QByteArray numbers = contacts(false);
    static const QByteArray text = contacts(true);
    return numbersAsText ? text : numbers;
}

void openOnly(benchmark::State& state)
{
    const QByteArray& bytes = file(state.range(0));
    for (auto _ : state) {
        Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
        benchmark::DoNotOptimize(result.file->sheetNames());
    }
    state.counters["file_kB"] = double(bytes.size()) / 1024;
}

void openAndLoad(benchmark::State& state)
{
    const QByteArray& bytes = file(state.range(0));
    for (auto _ : state) {
        Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
        Workbook::Sheet sheet;
        QString error;
        if (!result.file || !result.file->loadSheet(0, sheet, error)) {
            state.SkipWithError("the benchmark file does not load");
            return;
        }
        qsizetype touched = 0;
        for (const Workbook::Cell& c : sheet.cells())
            touched += sheet.text(c).size() + (c.number() != 0);
        benchmark::DoNotOptimize(touched);
    }
    state.counters["rows"] = kRows;
    // What an opened workbook with its loaded sheet holds on the heap.
    const size_t before = mallinfo2().uordblks;
    {
        Workbook::OpenResult result = Workbook::openOle2Workbook(bytes);
        Workbook::Sheet sheet;
        QString error;
        result.file->loadSheet(0, sheet, error);
        state.counters["held_MB"] = double(mallinfo2().uordblks - before) / (1 << 20);
    }
}

} // namespace

BENCHMARK(openOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(openAndLoad)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--write") == 0) {
        const QByteArray& bytes = file(argc >= 4 && std::strcmp(argv[3], "text") == 0);
        FILE* out = std::fopen(argv[2], "wb");
        const bool ok = out && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out) == size_t(bytes.size());
        return (out && std::fclose(out) == 0 && ok) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
