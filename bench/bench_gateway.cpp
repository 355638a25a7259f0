// Messages through the SMS gateway channel to a local Kannel whose service
// centre is fakesmsc: N messages (default 10,000) from 10 sending threads
// sharing one channel with 10 connections, as a gateway run's lanes do. Prints
// the submission rate, the time until fakesmsc had them all, the program's
// CPU time per message and its peak memory; with --reports, also the time
// until every delivery report came back. Run bin/veva_bench_gateway [N]
// [--reports]; it needs the kannel and kannel-extras packages.

#include "KannelRig.h"

#include "device/gateway/DeliveryListener.h"
#include "device/gateway/GatewayChannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage u = {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakRssKb()
{
    rusage u = {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int total = 10000;
    bool reports = false;
    for (const QString& a : app.arguments().mid(1)) {
        if (a == QLatin1String("--reports"))
            reports = true;
        else if (a.toInt() > 0)
            total = a.toInt();
    }
    constexpr int kSenders = 10;
    if (const QString missing = KannelRig::missing(); !missing.isEmpty()) {
        std::fprintf(stderr, "Kannel is not installed here: no %s\n", qPrintable(missing));
        return 2;
    }
    KannelRig rig;
    QString error;
    if (!rig.start(&error)) {
        std::fprintf(stderr, "Kannel did not start: %s\n", qPrintable(error));
        return 1;
    }

    GatewaySettings settings;
    settings.url = rig.sendUrl();
    settings.user = KannelRig::kUser;
    settings.password = KannelRig::kPassword;
    settings.sender = QStringLiteral("Veva");
    settings.inFlight = kSenders;
    DeliveryListener listener;
    auto channel = ComPtr<GatewayChannel>::attach(new GatewayChannel(settings));
    if (reports) {
        if (!listener.start(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        channel->requestDeliveryReports(listener.urlPrefix());
        channel->setSubmitted([&](quint64 id, const QString& number, const QString& text) {
            listener.expect(id, -1, number, messageFingerprint(text));
        });
    }

    const long rssBefore = peakRssKb();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    std::atomic<int> next{0}, failed{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s)
        senders.emplace_back([&] {
            for (int i; (i = next++) < total;)
                if (channel->WriteTextMessage(QStringLiteral("Your code is %1. Thank you for waiting.").arg(i),
                                              QStringLiteral("4477%1").arg(i, 8, 10, QLatin1Char('0'))) != S_OK)
                    ++failed;
        });
    // fakesmsc's output is read while the senders work, so its pipe never fills.
    std::atomic<bool> sent{false};
    std::thread joiner([&] {
        for (std::thread& t : senders)
            t.join();
        sent = true;
    });
    int received = 0;
    while (!sent)
        received = rig.pump(50);
    joiner.join();
    const double submitMs = double(clock.nsecsElapsed()) / 1e6;
    const double submitCpu = cpuSeconds() - cpuBefore;
    QElapsedTimer wait;
    wait.start();
    while (received < total && wait.elapsed() < 120000)
        received = rig.pump(100);
    const double receivedMs = double(clock.nsecsElapsed()) / 1e6;
    double reportsMs = 0;
    if (reports) {
        while (listener.outstanding() && wait.elapsed() < 240000)
            rig.pump(100);
        reportsMs = double(clock.nsecsElapsed()) / 1e6;
    }

    std::printf("messages %d, senders %d, refused or uncertain %d, peak in flight %d\n", total, kSenders,
                failed.load(), channel->peakInFlight());
    std::printf("submitted in %.0f ms: %.0f messages/s\n", submitMs, total / (submitMs / 1000.0));
    std::printf("fakesmsc had %d of them after %.0f ms\n", received, receivedMs);
    if (reports)
        std::printf("delivery reports: %d after %.0f ms%s\n", listener.reportsReceived(), reportsMs,
                    listener.outstanding() ? " (some missing)" : "");
    std::printf("CPU of this program while submitting: %.1f µs per message\n", submitCpu * 1e6 / total);
    std::printf("peak memory: %ld kB (%ld kB before the run)\n", peakRssKb(), rssBefore);
    return failed == 0 && received == total ? 0 : 1;
}
