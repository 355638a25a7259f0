// A rewrite of the sent-items file that is cut short (the process killed, the
// disk refusing the bytes, the folder read-only, the file in use) must leave
// either the old or the new content, never a mixture or nothing.

#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using DataFiles::SentItem;

namespace {

QList<SentItem> makeItems(const QString& prefix, int count)
{
    QList<SentItem> items;
    for (int i = 0; i < count; ++i) {
        items.append({QStringLiteral("0044%1").arg(7000000 + i),
                      QStringLiteral("%1 message %2\r\nsecond line").arg(prefix).arg(i),
                      QStringLiteral("%1/03/2012").arg(1 + i % 28, 2, 10, QLatin1Char('0'))});
    }
    return items;
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestRewriteCrash : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_target;
    QList<SentItem> m_old = makeItems(QStringLiteral("old"), 4000);
    QList<SentItem> m_new = makeItems(QStringLiteral("new"), 2500);

    // Temporary files of an interrupted rewrite: ".<name>.XXXXXX" beside the target.
    QStringList tempFilesOf(const QString& path) const
    {
        const QFileInfo info(path);
        return info.dir().entryList({QLatin1Char('.') + info.fileName() + QStringLiteral(".??????")},
                                    QDir::Files | QDir::Hidden | QDir::System);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("VEVA_SMS_APP_DIR", m_dir.path().toLocal8Bit());
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        m_target = DataFiles::sentItemsPath();
    }

    void init() { QCOMPARE(DataFiles::RewriteSentItems(m_old, m_target), QString()); }

    void killedRewriteLeavesOldOrNewContent()
    {
        const QString first = m_dir.filePath(QStringLiteral("first.ulmex"));
        const QString second = m_dir.filePath(QStringLiteral("second.ulmex"));
        QCOMPARE(DataFiles::RewriteSentItems(m_old, first), QString());
        QCOMPARE(DataFiles::RewriteSentItems(m_new, second), QString());

        QRandomGenerator rng(20120307);
        int sawOld = 0, sawNew = 0, killsThatLeftATempFile = 0;
        constexpr int kKills = 200;
        for (int kill = 0; kill < kKills; ++kill) {
            QProcess child;
            child.start(QStringLiteral(VEVA_REWRITE_CHILD), {m_target, first, second});
            QVERIFY(child.waitForStarted());
            QVERIFY2(child.waitForReadyRead(10000), child.readAllStandardError().constData());
            // Every tenth kill waits for a finished rewrite, so both outcomes occur however slow the disk is.
            if (kill % 10 == 0) {
                while (!child.readAll().contains("rewrote"))
                    QVERIFY2(child.waitForReadyRead(10000), child.readAllStandardError().constData());
            }
            QThread::usleep(rng.bounded(0, 40000));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());

            const QList<SentItem> items = DataFiles::LoadSentItems(m_target);
            if (items == m_old)
                ++sawOld;
            else if (items == m_new)
                ++sawNew;
            else
                QFAIL(qPrintable(
                    QStringLiteral("kill %1 left %2 records that are neither content").arg(kill).arg(items.size())));
            // The kill may leave its own temporary file; earlier ones must be gone.
            const QStringList temps = tempFilesOf(m_target);
            QVERIFY2(temps.size() <= 1, qPrintable(temps.join(QLatin1Char(' '))));
            killsThatLeftATempFile += int(temps.size());
        }
        qInfo("%d kills: old content %d times, new %d times, a temporary file left %d times", kKills, sawOld, sawNew,
              killsThatLeftATempFile);
        QVERIFY(sawOld > 0);
        QVERIFY(sawNew > 0);

        // The next rewrite clears what the last kill left behind.
        QCOMPARE(DataFiles::RewriteSentItems(m_old, m_target), QString());
        QCOMPARE(tempFilesOf(m_target), QStringList());
    }

    // The disk refusing the bytes: a file size limit makes the write fail part-way.
    void failedWriteKeepsOldContent()
    {
        const QByteArray before = readBytes(m_target);
        QVERIFY(before.size() > 4096);

        struct sigaction ignore
        {
        }, previousAction{};
        ignore.sa_handler = SIG_IGN;
        QCOMPARE(::sigaction(SIGXFSZ, &ignore, &previousAction), 0);
        rlimit previous{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit tiny = previous;
        tiny.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const QString error = DataFiles::RewriteSentItems(m_new, m_target);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        ::sigaction(SIGXFSZ, &previousAction, nullptr);

        QVERIFY(!error.isEmpty());
        QCOMPARE(readBytes(m_target), before);
        QCOMPARE(tempFilesOf(m_target), QStringList());
    }

    void readOnlyFolderKeepsOldContent()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        const QString folder = QFileInfo(m_target).absolutePath();
        const QByteArray before = readBytes(m_target);
        const auto writable = QFile::permissions(folder);
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const QString error = DataFiles::RewriteSentItems(m_new, m_target);
        QFile::setPermissions(folder, writable);

        QVERIFY(!error.isEmpty());
        QCOMPARE(readBytes(m_target), before);
        QCOMPARE(tempFilesOf(m_target), QStringList());
    }

    void fileInUseKeepsOldContent()
    {
        const QByteArray before = readBytes(m_target);
        CStdioFileEx holder;
        QVERIFY(holder.open(m_target, CStdioFileEx::OpenMode::Read));
        QVERIFY(!DataFiles::RewriteSentItems(m_new, m_target).isEmpty());
        holder.close();
        QCOMPARE(readBytes(m_target), before);
        QCOMPARE(DataFiles::RewriteSentItems(m_new, m_target), QString());
        QCOMPARE(DataFiles::LoadSentItems(m_target), m_new);
    }
};

QTEST_GUILESS_MAIN(TestRewriteCrash)
#include "test_rewritecrash.moc"
