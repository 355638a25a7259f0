// DesktopMgr.exe: the device-manager service with emulated handsets, and its
// control command.
//
//   DesktopMgr.exe [--config FILE] [--max-clients N] [--frame-timeout MS]
//                                           serve on the device service socket
//   DesktopMgr.exe --control VERB [ARGS]    drive the running service:
//       list | stats | quit | garbage-next | stall-next MS
//       attach PIN | detach PIN | fail-next-open PIN | fail-write-after PIN N
//       outbox PIN | install-module PIN|first
//       modem-cms-error PORT CODE [TIMES] | modem-sim-pin PORT on|off | modem-silent PORT on|off
//       modem-silent-after-pdu PORT
// PINs are decimal or 0x-hex. Exit code 0 on success, 1 when the service
// refuses or is not running, 2 on wrong arguments.

#include "DeviceService.h"
#include "HandsetConfig.h"
#include "ModemPorts.h"
#include "platform/Paths.h"
#include "platform/deviceservice/ControlClient.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the event loop, so ports and socket are cleaned up.
void quitOnSignals(QCoreApplication* app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [app] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
        app->quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

void printError(const QString& text)
{
    std::fprintf(stderr, "DesktopMgr.exe: %s\n", qPrintable(text));
}

int usage()
{
    printError(QStringLiteral("usage: DesktopMgr.exe [--config FILE] [--max-clients N] [--frame-timeout MS] | "
                              "--control VERB [ARGS...]"));
    return 2;
}

int runControl(const QStringList& args)
{
    if (args.isEmpty())
        return usage();
    const ControlClient::Result result = ControlClient::send(Paths::deviceServiceSocket(), args.first(), args.mid(1));
    if (!result.ok) {
        printError(result.error);
        return 1;
    }
    std::fputs(result.output.toUtf8().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first() == QLatin1String("--control"))
        return runControl(args.mid(1));

    Paths::seedHandsetConfig();
    QString configPath = Paths::handsetConfigFile();
    int maxClients = 0;
    int frameTimeoutMs = DeviceService::kDefaultFrameTimeoutMs;
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return usage();
        const QString& option = args.at(i);
        const QString& value = args.at(i + 1);
        bool ok = true;
        if (option == QLatin1String("--config"))
            configPath = value;
        else if (option == QLatin1String("--max-clients"))
            maxClients = value.toInt(&ok);
        else if (option == QLatin1String("--frame-timeout"))
            frameTimeoutMs = value.toInt(&ok);
        else
            return usage();
        if (!ok || maxClients < 0 || frameTimeoutMs <= 0)
            return usage();
    }

    HandsetConfig config;
    QString error;
    if (!config.load(configPath, &error)) {
        printError(error);
        return 1;
    }
    if (DeviceService::anotherServiceAnswers(Paths::deviceServiceSocket(), &error)) {
        printError(error);
        return 1;
    }
    // Ports first: once the socket answers, the whole handset is there.
    ModemPorts modems;
    for (const QString& note : modems.start(config.handsets()))
        printError(note);
    DeviceService service(config, configPath);
    service.setLimits(maxClients, frameTimeoutMs);
    if (!service.listen(Paths::deviceServiceSocket(), &error)) {
        printError(error);
        return 1;
    }
    service.setModemControl([&modems](const QString& verb, const QStringList& args) {
        const ModemPorts::ControlResult r = modems.control(verb, args);
        return DeviceService::ControlResult{r.ok, r.output, r.error};
    });
    quitOnSignals(&app);
    QObject::connect(&service, &DeviceService::quitRequested, &app, &QCoreApplication::quit);
    std::printf("DesktopMgr.exe: %d handset(s) on %s\n", int(config.handsets().size()),
                qPrintable(Paths::deviceServiceSocket()));
    std::fflush(stdout);

    const int code = app.exec();
    modems.stop();
    return code;
}
