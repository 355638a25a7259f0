// Helper of the journal tests: a send run over the given rows, one message for
// all, against a channel that takes packets until message <hold> and then
// never returns from writing it, so the run stands between "sending" and
// "sent" until it is killed. With hold 0 every message goes out and the run
// ends. The data folder is the one VEVA_SMS_APP_DIR names.
//   journal_child <hold> <message> <number>...

#include "FakeHosts.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: journal_child <hold> <message> <number>...\n");
        return 2;
    }
    FakeHost host;
    for (int i = 3; i < argc; ++i)
        host.rows.append({QString::fromLocal8Bit(argv[i]), QString::fromLocal8Bit(argv[2])});
    FakeClock clock;
    StopGate gate;
    const int hold = std::atoi(argv[1]);
    RecordingChannel channel;
    channel.beforeWrite = [&](const QByteArray& packet) {
        if (packet == "Sign")
            return;
        const int message = int(channel.packets.size()); // "Sign" came first
        std::printf("%s %d\n", message == hold ? "holding" : "sending", message);
        std::fflush(stdout);
        while (message == hold)
            ::pause();
    };
    return SendRun(&channel, host, gate, clock) ? 0 : 1;
}
