// JavaLoader.exe: installs a handset module on the first attached emulated
// handset of the running device service.
//
//   JavaLoader.exe -usb load <module file>
//
// Exit code 0 when installed, 1 when the file is not a module or no handset
// takes it, 2 on wrong arguments.

#include "ModuleFile.h"
#include "platform/Paths.h"
#include "platform/deviceservice/ControlClient.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

int fail(const QString& text, int code = 1)
{
    std::fprintf(stderr, "JavaLoader.exe: %s\n", qPrintable(text));
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 3 || args.at(0) != QLatin1String("-usb") || args.at(1) != QLatin1String("load"))
        return fail(QStringLiteral("usage: JavaLoader.exe -usb load <module file>"), 2);

    ModuleInfo module;
    QString error;
    if (!ModuleFile::read(args.at(2), &module, &error))
        return fail(error);

    const ControlClient::Result result = ControlClient::send(
        Paths::deviceServiceSocket(), QStringLiteral("install-module"), {QStringLiteral("first"), module.name});
    if (!result.ok)
        return fail(result.error);
    std::fputs(qPrintable(result.output), stdout);
    return 0;
}
