// Timings of the data dialogs on large files: opening "Sent Item(s)" on
// 100,000 records, deleting one row and closing (the rewrite), and loading
// 100,000 numbers into an exclusion list from a text file.
#include "app/controls/Ui.h"
#include "app/controls/CMyListCtrl.h"
#include "store/DataFiles.h"
#include "store/dialogs/CExclusion_Wizard.h"
#include "store/dialogs/CSent_Items.h"
#include "store/dialogs/ListModels.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 100000;

template <typename Pred> bool waitFor(Pred pred)
{
    // Sleeps in the event loop as exec() would, instead of spinning against the worker.
    QTimer tick;
    tick.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > 60000)
            return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void writeSentItems()
{
    QList<DataFiles::SentItem> items;
    items.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
        items.append({QStringLiteral("0044%1").arg(7000000 + i),
                      QStringLiteral("Dear parents, school is closed tomorrow (%1).\r\nRegards").arg(i),
                      QStringLiteral("07/03/2012")});
    DataFiles::RewriteSentItems(items);
}

// Open until the rows are in the list and the window has painted them.
std::unique_ptr<CSent_Items> openSentItems(QWidget* owner)
{
    auto dialog = std::make_unique<CSent_Items>(owner);
    dialog->show();
    waitFor([&] { return dialog->isLoaded() && !dialog->isBusy(); });
    dialog->repaint();
    return dialog;
}

void BM_OpenSentItems(benchmark::State& state)
{
    writeSentItems();
    QWidget owner;
    for (auto _ : state) {
        auto dialog = openSentItems(&owner);
        benchmark::DoNotOptimize(dialog->model()->count());
        state.PauseTiming();
        dialog.reset();
        state.ResumeTiming();
    }
}

void BM_DeleteOneAndRewrite(benchmark::State& state)
{
    QWidget owner;
    for (auto _ : state) {
        state.PauseTiming();
        writeSentItems();
        auto dialog = openSentItems(&owner);
        state.ResumeTiming();
        dialog->list()->selectOnly(0);
        dialog->OnClearSelected();
        dialog->reject();
        waitFor([&] { return !dialog->isVisible(); });
        state.PauseTiming();
        dialog.reset();
        state.ResumeTiming();
    }
}

void BM_LoadExclusionNumbers(benchmark::State& state)
{
    const QString path = QDir::temp().filePath(QStringLiteral("veva-bench-numbers.txt"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        QByteArray text;
        for (int i = 0; i < kRows; ++i)
            text += "+44-7700-" + QByteArray::number(100000 + i) + "\r\n";
        f.write(text);
    }
    QWidget owner;
    for (auto _ : state) {
        state.PauseTiming();
        CExclusion_Wizard wizard(&owner);
        wizard.show();
        waitFor([&] { return wizard.isOpened(); });
        wizard.OnAddNew();
        wizard.findChild<QLineEdit*>(QStringLiteral("1174"))->setText(QStringLiteral("Bench"));
        wizard.OnNext();
        wizard.findChild<QLineEdit*>(QStringLiteral("1154"))->setText(path);
        state.ResumeTiming();
        wizard.OnLoad();
        waitFor([&] { return !wizard.isBusy(); });
        wizard.repaint();
        if (wizard.numbers()->count() != kRows)
            state.SkipWithError("not every number was loaded");
    }
    QFile::remove(path);
}

BENCHMARK(BM_OpenSentItems)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_DeleteOneAndRewrite)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_LoadExclusionNumbers)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("VEVA_SMS_APP_DIR", dir.path().toLocal8Bit());
    QApplication app(argc, argv);
    Ui::setMessageBoxHook(
        [](QWidget*, const QString&, const QString&, Ui::Buttons, Ui::Icon) { return int(Ui::IdOk); });
    DataFiles::EnsureDataFiles();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
