// Timings and peak memory of the .xlsx reader. Build with -DVEVA_BENCH=ON and
// run bin/veva_bench_xlsx; figures in BENCHMARKS.md. With --peak it measures
// the peak memory of one load of each workbook instead (in a fresh process, as
// freed memory the allocator keeps would hide it); with --write-sample PATH [ROWS]
// it only writes the 50,000-row workbook (or one of ROWS rows), for comparisons
// with other readers and the command-line preview.

#include "import/XlsxTestWriter.h"
#include "import/workbook/WorkbookBackends.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int kRows = 50000;

// Header row, then a number and a name per row; about one number in fifty repeats an earlier one.
XlsxTestWriter contacts(int rows = kRows)
{
    QRandomGenerator rng(50000);
    XlsxTestWriter w;
    w.sheet(QStringLiteral("Contacts")).text(0, 0, QStringLiteral("Number")).text(0, 1, QStringLiteral("Name"));
    std::vector<double> numbers;
    numbers.reserve(size_t(rows));
    for (int r = 1; r <= rows; ++r) {
        const bool repeat = !numbers.empty() && rng.bounded(50) == 0;
        const double n = repeat ? numbers[rng.bounded(int(numbers.size()))] : 919800000000.0 + rng.bounded(100000000);
        numbers.push_back(n);
        w.number(r, 0, n).text(r, 1, QStringLiteral("Contact %1").arg(r));
    }
    return w;
}

QByteArray bytesOf(const XlsxTestWriter& writer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.xlsx"));
    QFile f(path);
    return writer.save(path) && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray& contactsFile()
{
    static const QByteArray bytes = bytesOf(contacts());
    return bytes;
}

// Every one of the 1,048,576 rows written, three of them with a cell.
const QByteArray& tallSheetFile()
{
    static const QByteArray bytes = [] {
        QByteArray rows = "<row><c><v>1</v></c></row>";
        for (int r = 1; r < 1048575; ++r)
            rows += r == 524288 ? "<row><c r=\"B524289\"><v>2</v></c></row>" : "<row/>";
        rows += "<row><c r=\"XFD1048576\"><v>3</v></c></row>";
        return RawPackage::workbook({{QStringLiteral("Tall"), rows}}).zip();
    }();
    return bytes;
}

long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    }
    return -1;
}

// Resets the peak resident size, so that the next reading is the peak of what follows.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool openAndLoad(const QByteArray& bytes, Workbook::Sheet& sheet)
{
    Workbook::OpenResult opened = Workbook::openBytes(bytes);
    QString error;
    return opened.file && opened.file->loadSheet(0, sheet, error);
}

void loadSheet(benchmark::State& state, const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        state.SkipWithError("the workbook could not be written");
        return;
    }
    size_t cells = 0;
    for (auto _ : state) {
        Workbook::Sheet sheet;
        if (!openAndLoad(bytes, sheet)) {
            state.SkipWithError("the workbook did not load");
            return;
        }
        cells = sheet.cells().size();
    }
    state.counters["cells"] = double(cells);
    state.counters["file_KB"] = double(bytes.size()) / 1024;
}

int measurePeaks()
{
    const std::pair<const char*, const QByteArray*> files[] = {{"50,000 rows", &contactsFile()},
                                                               {"1,048,576 rows, 3 cells", &tallSheetFile()}};
    for (const auto& [what, bytes] : files) {
        malloc_trim(0);
        const long before = statusKb("VmRSS:");
        resetPeak();
        Workbook::Sheet sheet;
        if (!openAndLoad(*bytes, sheet))
            return 1;
        std::printf("%s: file %lld KB, %zu cells, peak %.1f MB above %.1f MB before the load\n", what,
                    qint64(bytes->size() / 1024), sheet.cells().size(), (statusKb("VmHWM:") - before) / 1024.0,
                    before / 1024.0);
    }
    return 0;
}

void openAndLoad50k(benchmark::State& state)
{
    loadSheet(state, contactsFile());
}

void openAndLoadTallSheet(benchmark::State& state)
{
    loadSheet(state, tallSheetFile());
}

void openOnly50k(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Workbook::openBytes(contactsFile()).file->sheetNames());
}

// A package whose sheet inflates to `megabytes` of blanks; `declared` bytes are what its zip entry says.
QByteArray bomb(int megabytes, quint32 declared)
{
    RawPackage p = RawPackage::workbook({{QStringLiteral("Bomb"), {}}});
    const QString sheet = QStringLiteral("xl/worksheets/sheet1.xml");
    p.part(sheet, worksheetXml(QByteArray(qsizetype(megabytes) << 20, ' ')));
    const QByteArray zip = p.zip();
    return declared ? withDeclaredSize(zip, sheet, declared) : zip;
}

void refuseBomb(benchmark::State& state, const QByteArray& bytes)
{
    for (auto _ : state) {
        Workbook::Sheet sheet;
        benchmark::DoNotOptimize(openAndLoad(bytes, sheet));
    }
    state.counters["file_KB"] = double(bytes.size()) / 1024;
}

void refuseHonestBomb(benchmark::State& state)
{
    static const QByteArray bytes = bomb(500, 0);
    refuseBomb(state, bytes);
}

void refuseLyingBomb(benchmark::State& state)
{
    static const QByteArray bytes = bomb(500, 1000);
    refuseBomb(state, bytes);
}

// The most a small file can make the reader parse: a part just under the expansion floor.
void worstAcceptedSmallFile(benchmark::State& state)
{
    static const QByteArray bytes = bomb(15, 0);
    refuseBomb(state, bytes);
}

} // namespace

BENCHMARK(openAndLoad50k)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(openOnly50k)->Unit(benchmark::kMillisecond);
BENCHMARK(openAndLoadTallSheet)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(refuseHonestBomb)->Unit(benchmark::kMillisecond);
BENCHMARK(refuseLyingBomb)->Unit(benchmark::kMillisecond);
BENCHMARK(worstAcceptedSmallFile)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--peak") == 0)
        return measurePeaks();
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--write-sample") == 0) {
        const int rows = argc == 4 ? std::atoi(argv[3]) : kRows;
        if (rows < 1 || rows >= int(Workbook::kMaxRows))
            return 2;
        return contacts(rows).save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
