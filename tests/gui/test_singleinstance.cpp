#include "GuiTestSupport.h"

#include "app/CCorvaneApp.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the code under test writes to standard error while `work` runs.
QByteArray standardErrorOf(const std::function<void()>& work)
{
    QTemporaryFile capture;
    if (!capture.open())
        return "<no capture file>";
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(capture.handle(), 2);
    work();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}

mode_t modeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

} // namespace

// Starts the real program twice: the second start must only bring the first
// window forward and end.
class TestSingleInstance : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;

    QString binary() const { return qEnvironmentVariable("VEVA_SMS_BIN_DIR") + QStringLiteral("/veva-sms"); }
    QString socketPath() const { return m_folders->runtime() + QStringLiteral("/SINGLE_INSTANCE_ULMEXBLACKBERRY"); }

    std::unique_ptr<QProcess> start()
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(binary(), {});
        return p;
    }

    QByteArray ask()
    {
        QLocalSocket s;
        s.connectToServer(socketPath());
        if (!s.waitForConnected(500))
            return {};
        s.write("activate\n");
        s.waitForBytesWritten(1000);
        s.waitForReadyRead(2000);
        return s.readAll();
    }

    static void stop(QProcess* p)
    {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        QVERIFY2(QFileInfo(binary()).isExecutable(), qPrintable(binary()));
    }
    void cleanup() { m_folders.reset(); }

    void secondStartRaisesTheFirstAndEnds()
    {
        auto first = start();
        QVERIFY(first->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!ask().isEmpty(), 10000);

        auto second = start();
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(ask(), QByteArray("raised\n"));
        stop(first.get());
    }

    void nameLeftByACrashIsReclaimed()
    {
        auto crashed = start();
        QVERIFY(crashed->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!ask().isEmpty(), 10000);
        stop(crashed.get()); // SIGKILL: the socket and the lock file stay behind
        QVERIFY(QFileInfo::exists(socketPath()));

        auto next = start();
        QVERIFY(next->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!ask().isEmpty(), 10000);
        QCOMPARE(next->state(), QProcess::Running);
        stop(next.get());
    }

    // A name that cannot be claimed ends the program with a reason and a
    // non-zero status, and what is not our folder keeps its permissions.
    void failedClaimSaysWhy_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("runtime folder is a file") << QStringLiteral("file") << QStringLiteral("should be a folder");
        QTest::newRow("its parent is a file") << QStringLiteral("parent file") << QStringLiteral("cannot be created");
        QTest::newRow("another user's folder")
            << QStringLiteral("foreign") << QStringLiteral("belongs to another user");
        QTest::newRow("parent not writable")
            << QStringLiteral("read-only parent") << QStringLiteral("cannot be created");
    }

    void failedClaimSaysWhy()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        const bool root = ::geteuid() == 0;
        if (setup == QLatin1String("foreign") && !root)
            QSKIP("only root can give a folder to another user");
        if (setup == QLatin1String("read-only parent") && root)
            QSKIP("permissions do not bind root");
        QString runtime = m_folders->runtime() + QStringLiteral("/claim");
        if (setup == QLatin1String("file") || setup == QLatin1String("parent file")) {
            QFile file(runtime);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
            if (setup == QLatin1String("parent file"))
                runtime += QStringLiteral("/veva");
        } else if (setup == QLatin1String("foreign")) {
            QVERIFY(QDir().mkdir(runtime));
            QCOMPARE(::chown(QFile::encodeName(runtime).constData(), 4242, 4242), 0);
            QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0755), 0);
        } else {
            QVERIFY(QDir().mkdir(runtime));
            QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0500), 0);
            runtime += QStringLiteral("/veva");
        }
        qputenv("VEVA_SMS_RUNTIME_DIR", QFile::encodeName(runtime));
        const QString blocker = m_folders->runtime() + QStringLiteral("/claim");
        const mode_t before = modeOf(blocker);

        MessageRecorder messages;
        CCorvaneApp app;
        CCorvaneApp::Claim claim = CCorvaneApp::Claim::Owner;
        int status = -1;
        const QByteArray err = standardErrorOf([&] {
            claim = app.claimSingleInstance();
            status = app.endWithoutWindow(claim);
        });
        const mode_t after = modeOf(blocker);
        if (setup == QLatin1String("read-only parent"))
            ::chmod(QFile::encodeName(blocker).constData(), 0700); // so the folder can be cleaned up
        QCOMPARE(claim, CCorvaneApp::Claim::Failed);
        QCOMPARE(status, 1);
        QVERIFY2(err.contains(reason.toUtf8()), err.constData());
        QCOMPARE(messages.texts(), QStringList{app.claimError()});
        QVERIFY(app.claimError().contains(reason));
        QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
