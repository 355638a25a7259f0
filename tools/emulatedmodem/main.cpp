// veva-emulated-modem: a GSM modem on a pseudo-terminal, published in the port
// map as COM<port> until the program is stopped (Ctrl+C or SIGTERM).
//
//   veva-emulated-modem [--port N] [--reports delivered|never|failed:TP-ST|delayed:MS|pending:MS]
//                       [--stored] [--lock]
//
// --reports   what the network reports on each part sent with TP-SRR (default delivered)
// --stored    the modem keeps reports in its storage (+CDSI) instead of sending +CDS
// --lock      hold the port's UUCP lock, as another program using the port would
// Every part the modem accepts is printed as a line.

#include "platform/PortMap.h"
#include "tools/common/EmulatedModem.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested{false};

void onSignal(int)
{
    stopRequested = true;
}

// "delivered", "never", "failed:70", "delayed:5000", "pending:5000"
bool parsePlan(const QString& text, EmulatedModem::ReportPlan* plan)
{
    const QString kind = text.section(QLatin1Char(':'), 0, 0);
    bool ok = true;
    const int value = text.contains(QLatin1Char(':')) ? text.section(QLatin1Char(':'), 1).toInt(&ok, 0) : 0;
    if (!ok || value < 0)
        return false;
    if (kind == QLatin1String("delivered"))
        *plan = {{0x00, 0}};
    else if (kind == QLatin1String("never"))
        *plan = {};
    else if (kind == QLatin1String("failed") && value <= 255)
        *plan = {{value ? value : 0x46, 0}};
    else if (kind == QLatin1String("delayed"))
        *plan = {{0x00, value}};
    else if (kind == QLatin1String("pending"))
        *plan = {{0x21, 0}, {0x00, value}};
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veva-emulated-modem"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("An emulated GSM modem published as a COM port."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("The COM port number (default 7)."),
                                  QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption reports(QStringLiteral("reports"),
                                     QStringLiteral("delivered, never, failed:TP-ST, delayed:MS or pending:MS."),
                                     QStringLiteral("outcome"), QStringLiteral("delivered"));
    const QCommandLineOption stored(QStringLiteral("stored"), QStringLiteral("Keep reports in storage (+CDSI)."));
    const QCommandLineOption lock(QStringLiteral("lock"), QStringLiteral("Hold the port's UUCP lock."));
    parser.addOptions({port, reports, stored, lock});
    parser.process(app);

    bool ok = false;
    const int number = parser.value(port).toInt(&ok);
    EmulatedModem::ReportPlan plan;
    if (!ok || number < 1 || number > 255 || !parsePlan(parser.value(reports), &plan)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.helpText()));
        return 2;
    }

    EmulatedModem modem;
    QString error;
    if (!modem.start(&error) || !PortMap::publish({number, modem.devicePath(), QString()}, &error)) {
        std::fprintf(stderr, "veva-emulated-modem: %s\n", qPrintable(error));
        return 1;
    }
    modem.setReportPlan(plan);
    modem.setDirectReportsRefused(parser.isSet(stored));
    if (parser.isSet(lock) && !modem.setLockHeld(true, &error))
        std::fprintf(stderr, "veva-emulated-modem: cannot hold the lock: %s\n", qPrintable(error));
    modem.setSmsSink([](const EmulatedModem::SentSms& sms) {
        std::printf("%s\tpart %d/%d\t%s\n", qPrintable(sms.number), sms.part, sms.parts, qPrintable(sms.text));
        std::fflush(stdout);
    });
    std::printf("Emulated GSM modem on COM%d (%s)%s\n", number, qPrintable(modem.devicePath()),
                parser.isSet(lock) ? ", its lock held" : "");
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    watch.start(200);
    const int result = app.exec();
    PortMap::withdraw(number);
    modem.stop();
    return result;
}
