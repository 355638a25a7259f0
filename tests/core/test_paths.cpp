// Where the program looks for its companions and keeps its data.
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPaths : public QObject
{
    Q_OBJECT

    static void touch(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    // A build folder or portable copy keeps the loader beside the program; an
    // installed one has it below libexec; a missing libexec falls back.
    void companionFolderChoice()
    {
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("usr/bin"));
        const QString libexec = root.filePath(QStringLiteral("usr/libexec/veva-sms"));
        QVERIFY(QDir().mkpath(bin));
        const QString rel = QStringLiteral("../libexec/veva-sms");

        QCOMPARE(Paths::companionFolderFor(bin, rel), bin); // no libexec folder yet
        QVERIFY(QDir().mkpath(libexec));
        QCOMPARE(Paths::companionFolderFor(bin, rel), libexec);
        touch(bin + QStringLiteral("/JavaLoader.exe")); // a copy beside the program wins
        QCOMPARE(Paths::companionFolderFor(bin, rel), bin);
        QCOMPARE(Paths::companionFolderFor(QString(), rel), QString());
    }

    void overrideHoldsCompanions()
    {
        QTemporaryDir dir;
        qputenv("VEVA_SMS_APP_DIR", dir.path().toLocal8Bit());
        QCOMPARE(Paths::companionFolder(), dir.path());
        QCOMPARE(Paths::inCompanionFolder(QStringLiteral("UlmexVevaSMS.cod")),
                 dir.path() + QStringLiteral("/UlmexVevaSMS.cod"));
        qunsetenv("VEVA_SMS_APP_DIR");
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
