#include "app/CommandLine.h"

#include <QProcess>
#include <QTest>

// The command line: parsed before any window, Qt's own options passed on.
class TestCommandLine : public QObject
{
    Q_OBJECT

    static QString binary() { return qEnvironmentVariable("VEVA_SMS_BIN_DIR") + QStringLiteral("/veva-sms"); }

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QString>("error");
        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList{} << A::Run << QString();
        QTest::newRow("long help") << QStringList{"--help"} << A::ShowHelp << QString();
        QTest::newRow("short help") << QStringList{"-h"} << A::ShowHelp << QString();
        QTest::newRow("version") << QStringList{"--version"} << A::ShowVersion << QString();
        QTest::newRow("first request wins") << QStringList{"--version", "--help"} << A::ShowVersion << QString();
        QTest::newRow("Qt option with its value") << QStringList{"-platform", "offscreen"} << A::Run << QString();
        QTest::newRow("Qt option, value joined") << QStringList{"-style=fusion", "--reverse"} << A::Run << QString();
        QTest::newRow("Qt option before help")
            << QStringList{"-platform", "offscreen", "-h"} << A::ShowHelp << QString();
        QTest::newRow("Qt option without its value")
            << QStringList{"-platform"} << A::Fail << QStringLiteral("option \"-platform\" needs a value");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << A::Fail
                                        << QStringLiteral("unknown option \"--bogus\"");
        QTest::newRow("unknown after help")
            << QStringList{"--help", "-x"} << A::Fail << QStringLiteral("unknown option \"-x\"");
        QTest::newRow("flag with a value")
            << QStringList{"-reverse=1"} << A::Fail << QStringLiteral("unknown option \"-reverse=1\"");
        QTest::newRow("stray word") << QStringList{"contacts.txt"} << A::Fail
                                    << QStringLiteral("unexpected argument \"contacts.txt\"");
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CommandLine::Action, action);
        QFETCH(QString, error);
        const CommandLine line = CommandLine::parse(arguments);
        QCOMPARE(line.action(), action);
        QCOMPARE(line.error(), error);
    }

    // The program answers without a window: no display platform is even loaded.
    void programAnswersAndEnds_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << QByteArray("VEVA_SMS_RUNTIME_DIR") << QByteArray();
        QTest::newRow("-h") << QStringList{"-h"} << 0 << QByteArray("--version") << QByteArray();
        QTest::newRow("--version") << QStringList{"--version"} << 0 << QByteArray("veva-sms 8.2.1.0\n") << QByteArray();
        QTest::newRow("unknown option") << QStringList{"--send-all"} << 2 << QByteArray()
                                        << QByteArray("veva-sms: unknown option \"--send-all\"");
    }

    void programAnswersAndEnds()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        program.setProcessEnvironment(env);
        program.start(binary(), arguments);
        QVERIFY(program.waitForFinished(20000));
        const QByteArray stdOut = program.readAllStandardOutput();
        const QByteArray stdErr = program.readAllStandardError();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        QVERIFY2(stdOut.contains(out), stdOut.constData());
        QVERIFY2(stdErr.contains(err), stdErr.constData());
        QCOMPARE(stdOut.isEmpty(), out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
