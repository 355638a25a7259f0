#include "GuiTestSupport.h"

#include <QProcess>

// The guard of every GUI test: a modal dialog nobody expects fails the test
// within seconds instead of hanging it.
class TestModalWatch : public QObject
{
    Q_OBJECT

private slots:
    void unexpectedDialogFailsTheTest()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEVA_TEST_MODAL_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childMeetsASurprise")});
        const bool ended = child.waitForFinished(60000);
        if (!ended)
            child.kill();
        const QByteArray output = child.readAll();
        QVERIFY2(ended, "the dialog was left open");
        QVERIFY2(output.contains("FAIL!  : TestModalWatch::childMeetsASurprise() unexpected modal dialog QDialog "
                                 "\"Surprise\""),
                 output.constData());
        QCOMPARE(child.exitCode(), 1);
    }

    // Run by unexpectedDialogFailsTheTest.
    void childMeetsASurprise()
    {
        if (!qEnvironmentVariableIsSet("VEVA_TEST_MODAL_CHILD"))
            QSKIP("run by unexpectedDialogFailsTheTest");
        QDialog surprise;
        surprise.setWindowTitle(QStringLiteral("Surprise"));
        surprise.exec();
    }
};

QTEST_MAIN(TestModalWatch)
#include "test_modalwatch.moc"
