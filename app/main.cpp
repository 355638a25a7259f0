#include "CCorvaneApp.h"
#include "CommandLine.h"
#include "import/ContactPreview.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

// A contact file looked at from the command line: no window, no display needed.
int preview(int argc, char* argv[], const QStringList& arguments)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const int status = ContactPreview::run(arguments, out, err);
    out.flush();
    err.flush();
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    // Before QApplication: --help, --version and the file previews need no display.
    const CommandLine line = CommandLine::parse(arguments);
    if (line.action() == CommandLine::Action::Preview)
        return preview(argc, argv, arguments);
    if (line.action() != CommandLine::Action::Run)
        return line.report(stdout, stderr);

    QApplication app(argc, argv);
    CCorvaneApp corvane;
    return corvane.exec();
}
