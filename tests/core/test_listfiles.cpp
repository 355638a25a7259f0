// The templates and exclusion files as the dialogs read and rewrite them: the
// code page of reading, the template rule the send run shares, and rewrites
// killed part-way.
//   test_listfiles --rewrite-forever <templates|exclusion> <path>   (helper mode)

#include "platform/TextCodec.h"
#include "store/DataFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <cstring>

using namespace DataFiles;

namespace {

const QByteArray kBom("\xff\xfe", 2);

QByteArray utf16(const QString& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList lines(const QString& prefix, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out.append(QStringLiteral("%1%2").arg(prefix).arg(i, 6, 10, QLatin1Char('0')));
    return out;
}

// Rewrites the file for ever with one of two contents, until killed.
int rewriteForever(const QString& kind, const QString& path)
{
    const QStringList contents[2] = {lines(QStringLiteral("00441"), 3000), lines(QStringLiteral("00492"), 2000)};
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (unsigned long n = 1;; ++n) {
        const QString error = kind == QLatin1String("templates") ? RewriteTemplates(contents[n % 2], path)
                                                                 : RewriteExclusionFile(path, contents[n % 2]);
        if (!error.isEmpty())
            return 1;
        std::fputs("rewrote\n", stdout);
        std::fflush(stdout);
    }
}

} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        qputenv("VEVA_SMS_APP_DIR", m_dir.path().toLocal8Bit());
        QVERIFY(EnsureDataFiles().ok());
        QCOMPARE(RewriteTemplates({}), QString());
        QCOMPARE(RewriteSentItems({}), QString());
    }

    void cleanup() { TextCodec::setAnsiCodePage("windows-1252"); }

    // The code page does not matter to the Unicode files: every character comes back.
    void readingDoesNotDependOnTheCodePage()
    {
        QVERIFY(TextCodec::setAnsiCodePage("windows-1251"));
        const QString message = QStringLiteral("\u00e9 \u041f\u0440\u0438\u0432\u0435\u0442");
        QVERIFY(AppendSentItem(QStringLiteral("12345"), message, QDate(2012, 3, 7)));
        QCOMPARE(LoadSentItems().value(0).message, message);
        QVERIFY(SaveTemplateIfNew(QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442")));
        QCOMPARE(LoadTemplates(), QStringList{QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442")});
    }

    // A message holding a character the code page lacks is stored once, not at every send.
    void templateOutsideTheCodePageIsSavedOnce()
    {
        const QString message = QStringLiteral("Za\u017c\u00f3\u0142\u0107");
        SaveTemplateIfNew(message);
        SaveTemplateIfNew(message);
        QCOMPARE(readBytes(templatesPath()), kBom + utf16(message + QStringLiteral("\r\n")));
    }

    void templateRuleOfTheSendRun_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("stored");
        QTest::newRow("1600 characters") << QString(1600, QLatin1Char('x')) << true;
        QTest::newRow("1601 characters") << QString(1601, QLatin1Char('x')) << false;
        QTest::newRow("blank") << QStringLiteral(" \r\n\t") << false;
        QTest::newRow("one character") << QStringLiteral("x") << true;
    }

    void templateRuleOfTheSendRun()
    {
        QFETCH(QString, message);
        QFETCH(bool, stored);
        QCOMPARE(SaveTemplateIfNew(message), stored);
        QCOMPARE(LoadTemplates().contains(message), stored);
        QCOMPARE(TemplateExistsInFile(templatesPath(), message), stored);
    }

    // A long run of new texts among repeats, the first already in the file: it grows by each new one only.
    void templateSetFollowsAGrowingFile()
    {
        const QStringList texts = lines(QStringLiteral("Dear parent of pupil "), 3000);
        QVERIFY(AppendTemplate(texts.first()));
        TemplateSet set;
        QString error;
        for (int i = 0; i < texts.size(); ++i) {
            QVERIFY(set.saveIfNew(texts.at(i), &error));
            QVERIFY(set.saveIfNew(texts.at(i / 2), &error));
        }
        QVERIFY(error.isEmpty());
        QCOMPARE(LoadTemplates(), texts);
        // A later run starts from what the file holds by then.
        TemplateSet next;
        QVERIFY(next.contains(texts.last()));
        QVERIFY(next.saveIfNew(texts.first()));
        QCOMPARE(LoadTemplates().size(), texts.size());
    }

    void unreadableFileIsToldApart()
    {
        bool opened = true;
        QVERIFY(LoadSentItems(m_dir.filePath(QStringLiteral("missing")), &opened).isEmpty());
        QVERIFY(!opened);
        QVERIFY(LoadTemplates(m_dir.filePath(QStringLiteral("missing")), &opened).isEmpty());
        QVERIFY(!opened);
        LoadTemplates(templatesPath(), &opened);
        QVERIFY(opened);
    }

    void killedRewriteLeavesOldOrNew_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("templates") << QStringLiteral("templates");
        QTest::newRow("exclusion numbers") << QStringLiteral("exclusion");
    }

    void killedRewriteLeavesOldOrNew()
    {
        QFETCH(QString, kind);
        const bool templates = kind == QLatin1String("templates");
        const QString path = templates ? templatesPath() : exclusionListPath(QStringLiteral("Staff"));
        auto read = [&] { return templates ? LoadTemplates(path) : ReadExclusionFile(path).value_or(QStringList()); };
        const QStringList first = lines(QStringLiteral("00441"), 3000), second = lines(QStringLiteral("00492"), 2000);
        QCOMPARE(templates ? RewriteTemplates(first, path) : RewriteExclusionFile(path, first), QString());

        QRandomGenerator rng(7032012);
        int sawFirst = 0, sawSecond = 0;
        for (int kill = 0; kill < 60; ++kill) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--rewrite-forever"), kind, path});
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(10000));
            if (kill % 10 == 0) {
                while (!child.readAll().contains("rewrote"))
                    QVERIFY(child.waitForReadyRead(10000));
            }
            QThread::usleep(rng.bounded(0, 30000));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            const QStringList got = read();
            if (got == first)
                ++sawFirst;
            else if (got == second)
                ++sawSecond;
            else
                QFAIL(qPrintable(QStringLiteral("kill %1 left %2 lines of neither content").arg(kill).arg(got.size())));
        }
        QVERIFY(sawFirst > 0 && sawSecond > 0);
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--rewrite-forever") == 0) {
        QCoreApplication app(argc, argv);
        return rewriteForever(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestListFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_listfiles.moc"
