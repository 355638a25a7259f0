#include "GuiTestSupport.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>

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
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
