// The same 30-row list through one emulated modem (the run through one device)
// and through three at once (a lane each), with the send run's real pacing of
// one second after each message: the wall time a user waits, and the ratio.
//   cmake --build build --target veva_bench_parallel && build/bin/veva_bench_parallel

#include "sending/FakeHosts.h"
#include "sending/FakeLanes.h"

#include "device/modem/ModemChannel.h"
#include "platform/PortMap.h"
#include "sending/ParallelSendRun.h"
#include "tools/common/EmulatedModem.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kFirstPort = 81;
constexpr int kRows = 30;

QList<RecipientRow> listOfRows()
{
    QList<RecipientRow> rows;
    for (int i = 0; i < kRows; ++i)
        rows.append({QStringLiteral("0044770%1").arg(1000000 + i),
                     QStringLiteral("Dear parent of pupil %1, the school trip leaves at 8:30 on Friday.").arg(i)});
    return rows;
}

// Modems on pseudo-terminals, published as COM81 and up, and their channels opened.
struct Modems
{
    QTemporaryDir runtime;
    QTemporaryDir app;
    std::vector<std::unique_ptr<EmulatedModem>> modems;
    std::vector<ComPtr<ModemChannel>> channels;
    QString error;

    explicit Modems(int count)
    {
        qputenv("VEVA_SMS_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("VEVA_SMS_APP_DIR", app.path().toLocal8Bit());
        for (int i = 0; i < count && error.isEmpty(); ++i) {
            auto modem = std::make_unique<EmulatedModem>();
            if (!modem->start(&error) || !PortMap::publish({kFirstPort + i, modem->devicePath(), QString()}, &error))
                break;
            modems.push_back(std::move(modem));
            auto channel = ComPtr<ModemChannel>::attach(new ModemChannel(kFirstPort + i));
            try {
                channel->open();
            } catch (const ModemError& e) {
                error = e.text();
                break;
            }
            channels.push_back(channel);
        }
    }
    ~Modems()
    {
        for (const ComPtr<ModemChannel>& channel : channels)
            channel->Close();
        for (int i = 0; i < int(modems.size()); ++i)
            PortMap::withdraw(kFirstPort + i);
    }
};

void OneModem(benchmark::State& state)
{
    Modems modems(1);
    if (!modems.error.isEmpty()) {
        state.SkipWithError(qPrintable(modems.error));
        return;
    }
    for (auto _ : state) {
        resetSharedState();
        FakeHost host;
        host.rows = listOfRows();
        StopGate gate;
        if (!SendRun(modems.channels.front().get(), host, gate, SendClock::real()))
            state.SkipWithError("the run did not finish");
    }
}
BENCHMARK(OneModem)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void ThreeModems(benchmark::State& state)
{
    Modems modems(3);
    if (!modems.error.isEmpty()) {
        state.SkipWithError(qPrintable(modems.error));
        return;
    }
    QList<SendLane> lanes;
    for (int i = 0; i < 3; ++i)
        lanes.append({QStringLiteral("COM%1").arg(kFirstPort + i), modems.channels.at(size_t(i)).get(), 1000});
    for (auto _ : state) {
        resetSharedState();
        LaneHost host;
        host.rows = listOfRows();
        StopGate gate;
        const ParallelRunResult result = ParallelSendRun(lanes, host, gate, SendClock::real());
        if (!result.completed || !result.lostLanes.isEmpty())
            state.SkipWithError("the run did not finish");
    }
}
BENCHMARK(ThreeModems)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
