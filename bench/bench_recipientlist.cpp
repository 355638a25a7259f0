// Timings of the recipient list as the main window uses it: an import of
// 50,000 numbers with "Skip Duplicate Numbers", and select-all plus "Clear
// Selected" on 100,000 rows.
#include "app/CCorvaneDlg.h"
#include "app/controls/Ui.h"
#include "app/controls/CMyListCtrl.h"
#include "app/core/RecipientListModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QStringList importNumbers(int n)
{
    QStringList out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.append(i % 10 == 0 ? QStringLiteral("+44-7700-%1").arg(i / 2, 6, 10, QLatin1Char('0'))
                               : QStringLiteral("+44-7700-%1").arg(i, 6, 10, QLatin1Char('0')));
    return out;
}

void BM_ImportRows(benchmark::State& state)
{
    const QStringList numbers = importNumbers(int(state.range(0)));
    for (auto _ : state) {
        CCorvaneDlg dlg;
        dlg.findChild<QCheckBox*>(QStringLiteral("1014"))->setChecked(true);
        dlg.show();
        QList<RecipientListModel::Row> batch;
        for (const QString& raw : numbers) {
            const QString number = dlg.NormalizeImportedNumber(raw);
            if (number.isEmpty())
                continue;
            batch.append({number, QStringLiteral("Hello")});
            // The importer inserts in batches so later numbers see earlier ones.
            if (batch.size() == 1000) {
                dlg.recipients()->appendRecipients(batch);
                batch.clear();
            }
        }
        dlg.recipients()->appendRecipients(batch);
        QApplication::processEvents();
        benchmark::DoNotOptimize(dlg.recipients()->count());
    }
}

void BM_SelectAllAndClear(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CCorvaneDlg dlg;
        QList<RecipientListModel::Row> all;
        all.reserve(rows);
        for (int i = 0; i < rows; ++i)
            all.append({QString::number(100000000 + i), QStringLiteral("Message %1").arg(i)});
        dlg.recipients()->appendRecipients(all);
        dlg.show();
        QApplication::processEvents();
        state.ResumeTiming();
        dlg.recipientList()->selectAll();
        dlg.OnClearSelected();
        QApplication::processEvents();
        benchmark::DoNotOptimize(dlg.recipients()->count());
    }
}

BENCHMARK(BM_ImportRows)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectAllAndClear)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("VEVA_SMS_APP_DIR", dir.path().toLocal8Bit());
    QApplication app(argc, argv);
    Ui::setMessageBoxHook([](QWidget*, const QString&, const QString&, Ui::Buttons, Ui::Icon) { return int(Ui::IdOk); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
