#include "app/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
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
        // The file commands check their own options when they run.
        QTest::newRow("preview") << QStringList{"--preview", "a.xlsx", "--why"} << A::Preview << QString();
        QTest::newRow("help beats a preview") << QStringList{"--columns", "a.xls", "-h"} << A::ShowHelp << QString();
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
        QTest::newRow("help names the file commands")
            << QStringList{"--help"} << 0 << QByteArray("veva-sms --preview FILE") << QByteArray();
    }

    // A contact file looked at from the command line: the whole program, no display, nothing written.
    void previewRunsWithoutAWindow_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("numbers in list order")
            << QByteArray("0044 1234567,+49301,abc\r\n0044 1234567,+49301") << QStringList{"--skip-duplicates"}
            << 0 << QByteArray("00441234567\n0049301\n") << QByteArray();
        QTest::newRow("why, token by token")
            << QByteArray("0044 1234567,\xe9t\xe9,00441234567") << QStringList{"--skip-duplicates", "--why"} << 0
            << QByteArray("token 1\t00441234567\tadded\t00441234567\n"
                          "token 2\t\xc3\xa9t\xc3\xa9\tinvalid\n"
                          "token 3\t00441234567\tduplicate\n")
            << QByteArray();
        QTest::newRow("not single-byte text")
            << QByteArray("\xff\xfe" "1\0" "2\0") << QStringList{} << 1 << QByteArray()
            << QByteArray("Please select the ANSI encoded text file.\n");
        QTest::newRow("nothing a list would take")
            << QByteArray("abc,def") << QStringList{} << 1 << QByteArray()
            << QByteArray("Either file is corrupted or selected file contains invalid characters.\n\nOR\n\n");
        QTest::newRow("a column of a text file")
            << QByteArray("12345") << QStringList{"--columns", "x"} << 2 << QByteArray()
            << QByteArray("veva-sms: ");
    }

    void previewRunsWithoutAWindow()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString contacts = dir.filePath(QStringLiteral("contacts.txt"));
        QFile f(contacts);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        const QString appDir = dir.filePath(QStringLiteral("program"));
        QVERIFY(QDir().mkpath(appDir));

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        env.insert(QStringLiteral("VEVA_SMS_APP_DIR"), appDir);
        env.insert(QStringLiteral("VEVA_SMS_CONFIG_DIR"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("VEVA_SMS_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
        program.setProcessEnvironment(env);
        program.start(binary(), QStringList{QStringLiteral("--preview"), contacts} + options);
        QVERIFY(program.waitForFinished(20000));
        const QByteArray stdOut = program.readAllStandardOutput();
        const QByteArray stdErr = program.readAllStandardError();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == status, stdErr.constData());
        QCOMPARE(stdOut, out);
        QVERIFY2(stdErr.startsWith(err), stdErr.constData());
        QCOMPARE(stdErr.isEmpty(), err.isEmpty());
        // Neither the data folder, nor the settings, nor the single-instance name.
        QVERIFY(QDir(appDir).isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("config"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("runtime"))));
    }

    // The reader allocates what the file needs, not what the largest file allowed would: under an
    // address-space limit a small workbook still reads, and one too large for memory is refused.
    void previewUnderAMemoryLimit_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("err");
        const QString data = QStringLiteral(VEVA_IMPORT_TEST_DATA) + u'/';
        QTest::newRow("LibreOffice .xlsx") << data + "libreoffice.xlsx" << 0 << QByteArray();
        QTest::newRow("LibreOffice .xls") << data + "libreoffice.xls" << 0 << QByteArray();
        QTest::newRow("Gnumeric .xls") << data + "gnumeric.xls" << 0 << QByteArray();
        QTest::newRow("LibreOffice .ods") << data + "libreoffice.ods" << 0 << QByteArray();
        // A sparse file as large as the whole limit: its bytes cannot all be held.
        QTest::newRow("larger than memory") << QString() << 1 << QByteArray("Failed to open Excel file!\n");
    }
    void previewUnderAMemoryLimit()
    {
        QFETCH(QString, file);
        QFETCH(int, status);
        QFETCH(QByteArray, err);
        const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
        if (prlimit.isEmpty())
            QSKIP("prlimit (util-linux) is not installed");
        constexpr qint64 kLimit = 1000000000;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (file.isEmpty()) {
            file = dir.filePath(QStringLiteral("huge.xlsx"));
            QFile huge(file);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            huge.write("PK\x03\x04");
            QVERIFY(huge.resize(kLimit));
        }
        auto preview = [&](bool limited, QByteArray& out, QByteArray& error) {
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
            env.insert(QStringLiteral("VEVA_SMS_APP_DIR"), dir.filePath(QStringLiteral("program")));
            env.insert(QStringLiteral("VEVA_SMS_CONFIG_DIR"), dir.filePath(QStringLiteral("config")));
            env.insert(QStringLiteral("VEVA_SMS_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
            program.setProcessEnvironment(env);
            const QStringList args{QStringLiteral("--preview"), file, QStringLiteral("--columns"), QStringLiteral("2")};
            if (limited)
                program.start(prlimit, QStringList{QStringLiteral("--as=%1").arg(kLimit), binary()} + args);
            else
                program.start(binary(), args);
            if (!program.waitForFinished(20000))
                return -1;
            out = program.readAllStandardOutput();
            error = program.readAllStandardError();
            return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        };
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("program"))));
        QByteArray out, error;
        QCOMPARE(preview(true, out, error), status);
        QVERIFY2(error.startsWith(err), error.constData());
        QCOMPARE(error.isEmpty(), err.isEmpty());
        if (status == 0) {
            QVERIFY2(out.startsWith("919876543210\n"), out.constData());
            QByteArray unlimited, unlimitedError;
            QCOMPARE(preview(false, unlimited, unlimitedError), 0);
            QCOMPARE(out, unlimited);
        }
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
