// Where the program looks for its companions and keeps its data.
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

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

    // Where the data goes: beside a program that may write there, per user for
    // one that cannot or that is installed, always into the override.
    void dataFolderChoice()
    {
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        const QString home = root.filePath(QStringLiteral("home/.local/share"));

        QCOMPARE(Paths::writableFolderFor(bin, bin, true, home), bin);
        QCOMPARE(Paths::writableFolderFor(bin, bin, false, home), home + QStringLiteral("/veva-sms"));
        // Installed: the companions are elsewhere, even where root could write beside the program.
        QCOMPARE(Paths::writableFolderFor(bin, root.filePath(QStringLiteral("libexec/veva-sms")), true, home),
                 home + QStringLiteral("/veva-sms"));
        QCOMPARE(Paths::writableFolderFor(QString(), QString(), true, home), QString());

        qputenv("VEVA_SMS_APP_DIR", bin.toLocal8Bit());
        QCOMPARE(Paths::dataFolder(), bin + QStringLiteral("/VEVA_SMS_DATA"));
        qunsetenv("VEVA_SMS_APP_DIR");
    }

    // The running test program sits in a writable build folder; once that
    // folder is read-only its data moves to $XDG_DATA_HOME.
    void dataFolderFollowsWritability()
    {
        qunsetenv("VEVA_SMS_APP_DIR");
        QTemporaryDir dataHome;
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
        const QString program = Paths::applicationFolder();
        QCOMPARE(Paths::companionFolder(), program); // a build folder has no libexec beside it
        QCOMPARE(Paths::dataFolder(), program + QStringLiteral("/VEVA_SMS_DATA"));

        QTemporaryDir copy;
        const QString exe = copy.filePath(QStringLiteral("test_paths"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), exe));
        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(copy.path(), readOnly));
        QProcess run;
        // Root may write into any folder: the copy runs as nobody then.
        QString child = exe;
        QStringList arguments{QStringLiteral("reportDataFolder")};
        if (geteuid() == 0) {
            arguments = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                    QStringLiteral("--clear-groups"), exe} +
                        arguments;
            child = QStringLiteral("setpriv");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEVA_TEST_REPORT_DATA"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.start(child, arguments);
        QVERIFY(run.waitForFinished(30000));
        QFile::setPermissions(copy.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(run.readAllStandardOutput().contains(
                     (dataHome.path() + QStringLiteral("/veva-sms/VEVA_SMS_DATA\n")).toLocal8Bit()),
                 run.readAllStandardError().constData());
    }

    // Run by dataFolderFollowsWritability in a read-only copy of this program.
    void reportDataFolder()
    {
        if (!qEnvironmentVariableIsSet("VEVA_TEST_REPORT_DATA"))
            QSKIP("run by dataFolderFollowsWritability");
        std::printf("data: %s\n", qPrintable(Paths::dataFolder()));
        std::fflush(stdout);
    }

    // An installed copy reads the registration and the handset its package
    // left in the companion folder until the user has their own.
    void installedCopyStartsWithItsPackageSettings()
    {
        QTemporaryDir companions, home;
        qputenv("VEVA_SMS_APP_DIR", companions.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        qunsetenv("VEVA_SMS_CONFIG_DIR");
        const QString own = home.filePath(QStringLiteral("veva-sms/registry.reg"));
        const QString shipped = companions.filePath(QStringLiteral("registry.reg"));
        QCOMPARE(Paths::registryFile(), own);
        touch(shipped);
        QCOMPARE(Paths::registryFile(), shipped);
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("veva-sms"))));
        touch(own);
        QCOMPARE(Paths::registryFile(), own);

        QVERIFY(!Paths::seedHandsetConfig()); // nothing shipped
        QFile handsets(companions.filePath(QStringLiteral("handsets.ini")));
        QVERIFY(handsets.open(QIODevice::WriteOnly));
        handsets.write("[handset]\nPIN=0x1\n");
        handsets.close();
        QVERIFY(Paths::seedHandsetConfig());
        QFile seeded(Paths::handsetConfigFile());
        QVERIFY(seeded.open(QIODevice::ReadWrite));
        QCOMPARE(seeded.readAll(), QByteArray("[handset]\nPIN=0x1\n"));
        seeded.write("ModuleInstalled=true\n");
        seeded.close();
        QVERIFY(!Paths::seedHandsetConfig()); // the user's copy is kept
        QVERIFY(seeded.open(QIODevice::ReadOnly));
        QVERIFY(seeded.readAll().endsWith("ModuleInstalled=true\n"));

        qunsetenv("VEVA_SMS_APP_DIR");
        qunsetenv("XDG_CONFIG_HOME");
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
