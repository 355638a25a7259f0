// Helper of test_rewritecrash: rewrites a sent-items file for ever, alternating
// between the records of two other files, until it is killed.
//   rewrite_child <target> <first source> <second source>

#include "store/DataFiles.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: rewrite_child <target> <first source> <second source>\n");
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[1]);
    const QList<DataFiles::SentItem> contents[2] = {DataFiles::LoadSentItems(QString::fromLocal8Bit(argv[2])),
                                                    DataFiles::LoadSentItems(QString::fromLocal8Bit(argv[3]))};
    if (contents[0].isEmpty() || contents[1].isEmpty()) {
        std::fprintf(stderr, "rewrite_child: a source file is empty or unreadable\n");
        return 2;
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    // The second content first, so that even a slow disk shows a finished rewrite early.
    for (unsigned long n = 1;; ++n) {
        const QString error = DataFiles::RewriteSentItems(contents[n % 2], target);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "rewrite_child: %s\n", qPrintable(error));
            return 1;
        }
        std::fputs("rewrote\n", stdout);
        std::fflush(stdout);
    }
}
