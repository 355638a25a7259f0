// Renders every dialog of the program to a PNG file, for reviewing the look
// of a change: veva-screenshots <output folder>
#include "DialogTour.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: veva-screenshots <output folder>\n"
                      "\n"
                      "Shows every dialog and message box of the program with sample content and\n"
                      "saves each as <output folder>/<name>.png. The folder is created when missing.\n"
                      "The data files used live in a scratch folder that is removed at the end.\n"
                      "Qt's own options (-platform, ...) and QT_SCALE_FACTOR apply as usual.\n"
                      "\n"
                      "Options:\n"
                      "  -h, --help  show this help and end\n";

} // namespace

int main(int argc, char** argv)
{
    // Before QApplication: the help needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    // An option we do not know is not a folder name.
    if (out.startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "veva-screenshots: unknown option \"%s\"\nTry \"veva-screenshots --help\".\n", argv[1]);
        return 2;
    }
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "veva-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    QTemporaryDir scratch;
    qputenv("VEVA_SMS_APP_DIR", scratch.path().toLocal8Bit());
    int failures = 0;
    tourDialogs(scratch.path(), [&](QWidget* dialog, const QString& name) {
        const QString path = out + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!dialog->grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    });
    return failures == 0 ? 0 : 1;
}
