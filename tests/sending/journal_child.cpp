// Helper of the journal tests: a send run over the given rows, one message for
// all, against a channel that takes packets until message <hold> and then
// never returns from writing it, so the run stands between "sending" and
// "sent" until it is killed. With hold 0 every message goes out and the run
// ends; with "last" every message goes out and the run stands in its pause
// after the last one; with "sign" it stands before any message. The data
// folder is the one VEVA_SMS_APP_DIR names.
//   journal_child <hold|last|sign> <message> <number>...

#include "FakeHosts.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

[[noreturn]] void holdForGood(const char* what)
{
    std::printf("holding %s\n", what);
    std::fflush(stdout);
    for (;;)
        ::pause();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: journal_child <hold|last|sign> <message> <number>...\n");
        return 2;
    }
    FakeHost host;
    for (int i = 3; i < argc; ++i)
        host.rows.append({QString::fromLocal8Bit(argv[i]), QString::fromLocal8Bit(argv[2])});
    FakeClock clock;
    StopGate gate;
    const QByteArray mode = argv[1];
    const int hold = std::atoi(argv[1]);
    RecordingChannel channel;
    channel.beforeWrite = [&](const QByteArray& packet) {
        if (packet == "Sign") {
            if (mode == "sign")
                holdForGood("before the first message");
            return;
        }
        const int message = int(channel.packets.size()); // "Sign" came first
        if (message == hold)
            holdForGood(QByteArray::number(message).constData());
        std::printf("sending %d\n", message);
        std::fflush(stdout);
    };
    clock.onSleep = [&](int) {
        if (mode == "last" && channel.packets.size() == host.rows.size() + 1)
            holdForGood("after the last message");
    };
    return SendRun(&channel, host, gate, clock) ? 0 : 1;
}
