// Per-message cost of the GSM modem channel: the AT exchange with the emulated
// modem on its pseudo-terminal, without the send run's fixed 1 s pacing; and the
// codec alone, as the composer's counter runs it on every keystroke.
//   cmake --build build --target veva_bench_modem && build/bin/veva_bench_modem

#include "device/modem/ModemChannel.h"
#include "device/modem/PduCodec.h"
#include "platform/PortMap.h"
#include "tools/common/EmulatedModem.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kPort = 77;

QString messageOfParts(int parts)
{
    return parts == 1 ? QStringLiteral("Dear parent, school closes at 1pm on Friday. Regards, the office")
                      : QString(153 * (parts - 1) + 40, u'x');
}

void ModemChannelMessage(benchmark::State& state)
{
    QTemporaryDir runtime;
    qputenv("VEVA_SMS_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EmulatedModem modem;
    QString error;
    if (!modem.start(&error) || !PortMap::publish({kPort, modem.devicePath(), QString()}, &error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    const auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(kPort));
    try {
        channel->open();
    } catch (const ModemError& e) {
        state.SkipWithError(e.what());
        return;
    }
    const QString text = messageOfParts(int(state.range(0)));
    for (auto _ : state) {
        if (FAILED(channel->WriteTextMessage(text, QStringLiteral("00447700900123")))) {
            state.SkipWithError(qPrintable(channel->lastError()));
            break;
        }
    }
    state.counters["parts"] = benchmark::Counter(double(channel->partsSent()), benchmark::Counter::kIsRate);
    PortMap::withdraw(kPort);
}
BENCHMARK(ModemChannelMessage)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void CounterTip(benchmark::State& state)
{
    const QString text = state.range(0) ? QString(1600, u'\u03C9') : QString(1600, u'a');
    for (auto _ : state)
        benchmark::DoNotOptimize(Pdu::counterTip(text));
}
BENCHMARK(CounterTip)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
