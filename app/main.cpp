#include "CCorvaneApp.h"
#include "CommandLine.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Before QApplication: --help and --version need no display.
    const CommandLine line = CommandLine::parse(arguments);
    if (line.action() != CommandLine::Action::Run)
        return line.report(stdout, stderr);

    QApplication app(argc, argv);
    CCorvaneApp corvane;
    return corvane.exec();
}
