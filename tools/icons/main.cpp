// Writes the program's icon as PNG files of the given sizes, for the icon
// theme of an installed copy: veva-icons <output folder> <size>...
// The pictures come from the same drawing code as the window icon.
#include "app/controls/Theme.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    // No display is needed to paint into an image.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: veva-icons <output folder> <size>...\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "veva-icons: \"%s\" is not a size\n", argv[i]);
            return 2;
        }
        const QString path = QStringLiteral("%1/%2.png").arg(out).arg(size);
        const QPixmap pixmap = Theme::appIcon().pixmap(QSize(size, size));
        if (pixmap.size() != QSize(size, size) || !pixmap.save(path)) {
            std::fprintf(stderr, "veva-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
