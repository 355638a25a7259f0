#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace DataFiles;

namespace {

QByteArray utf16(const QString& s)
{
    return CStdioFileEx::encodeUtf16(s, false);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

const QByteArray kBom("\xff\xfe", 2);

} // namespace

class TestDataFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir* m_dir = nullptr;

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        qputenv("VEVA_SMS_APP_DIR", m_dir->path().toLocal8Bit());
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
    }

    void newInstallationHasExactFiles()
    {
        const auto report = EnsureDataFiles();
        QVERIFY(report.ok());
        QCOMPARE(readBytes(sentItemsPath()), kBom);
        QCOMPARE(readBytes(templatesPath()), kBom);
        QCOMPARE(readBytes(inUseListPath()), QByteArray());
        QCOMPARE(readBytes(exclusionIndexPath()), QByteArray());
        QVERIFY(QFileInfo(exclusionFolder()).isDir());
        QCOMPARE(dataFolder(), m_dir->path() + QStringLiteral("/VEVA_SMS_DATA"));
    }

    void existingFilesAreLeftAlone()
    {
        QVERIFY(EnsureDataFiles().ok());
        QVERIFY(AppendSentItem(QStringLiteral("123"), QStringLiteral("hello"), QDate(2020, 1, 2)));
        writeBytes(inUseListPath(), utf16(QStringLiteral("x")).prepend(kBom));
        const QByteArray sent = readBytes(sentItemsPath());
        const QByteArray inUse = readBytes(inUseListPath());
        QVERIFY(EnsureDataFiles().ok());
        QCOMPARE(readBytes(sentItemsPath()), sent);
        QCOMPARE(readBytes(inUseListPath()), inUse);
    }

    void unwritableFolderIsReported()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not bind root");
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto report = EnsureDataFiles();
        QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!report.ok());
        QVERIFY(report.failures.contains(dataFolder()));
    }

    void twoLineMessageIsStoredByteForByte()
    {
        QVERIFY(EnsureDataFiles().ok());
        QVERIFY(AppendSentItem(QStringLiteral("12345"), QStringLiteral("Hi\r\nthere"), QDate(2012, 3, 7)));
        const QString expected = QStringLiteral("\a12345\vHi\r|AP*|DX/there\a07/03/2012\r\n");
        QCOMPARE(readBytes(sentItemsPath()), kBom + utf16(expected));

        const QList<SentItem> items = LoadSentItems();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0], (SentItem{QStringLiteral("12345"), QStringLiteral("Hi\r\nthere"), QStringLiteral("07/03/2012")}));
    }

    void sentItemLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("expected"); // number|message|date per row

        QTest::newRow("short form") << QStringLiteral("\a12345\vHi\a07/03/2012")
                                    << QStringList{QStringLiteral("12345|Hi|07/03/2012")};
        QTest::newRow("with trailing vertical tab") << QStringLiteral("\a12345\vHi\r|AP*|DX/there\a07/03/2012\v")
                                                    << QStringList{QStringLiteral("12345|Hi\r\nthere|07/03/2012")};
        QTest::newRow("two records in one line")
            << QStringLiteral("\a111\vone\a01/01/2020\a222\vtwo\a02/02/2021")
            << QStringList{QStringLiteral("111|one|01/01/2020"), QStringLiteral("222|two|02/02/2021")};
        QTest::newRow("two long-form records") << QStringLiteral("\a111\vone\a01/01/2020\v\a222\vtwo\a02/02/2021\v")
                                               << QStringList{QStringLiteral("111|one|01/01/2020"),
                                                              QStringLiteral("222|two|02/02/2021")};
        QTest::newRow("blank number dropped") << QStringLiteral("\a   \vHi\a07/03/2012") << QStringList{};
        QTest::newRow("empty number dropped") << QStringLiteral("\a\vHi\a07/03/2012") << QStringList{};
        QTest::newRow("no separators at all") << QStringLiteral("garbage") << QStringList{};
        QTest::newRow("message not trimmed, blank after the mark kept") << QStringLiteral("\a 99 \v  spaced  \a01/02/2003")
                                             << QStringList{QStringLiteral(" 99|  spaced  |01/02/2003")};
        QTest::newRow("empty message kept") << QStringLiteral("\a5\v\a01/02/2003")
                                            << QStringList{QStringLiteral("5||01/02/2003")};
        QTest::newRow("empty line") << QString() << QStringList{};
    }

    void sentItemLines()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const SentItem& item : ParseSentItemLine(line))
            got.append(item.number + QLatin1Char('|') + item.message + QLatin1Char('|') + item.date);
        QCOMPARE(got, expected);
    }

    void sentItemOutside1252ReadsBackWhole()
    {
        QVERIFY(EnsureDataFiles().ok());
        const QString message = QStringLiteral("Za\u017C\u00F3\u0142\u0107 \u20AC");
        QVERIFY(AppendSentItem(QStringLiteral("1"), message, QDate(2012, 3, 7)));
        QVERIFY(readBytes(sentItemsPath()).contains(utf16(QStringLiteral("\u0142"))));
        // windows-1252 has ó and € but not ż, ł or ć: the file's text is read all the same.
        const auto items = LoadSentItems();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].message, message);
    }

    // Present but unusable counts as a failure too, and nothing is changed.
    void unusableFilesAreReported_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder for the sent items") << QStringLiteral("sent") << QStringLiteral("folder");
        QTest::newRow("FIFO for the templates") << QStringLiteral("templates") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero for the in-use list") << QStringLiteral("inuse") << QStringLiteral("zero");
        QTest::newRow("read-only index") << QStringLiteral("index") << QStringLiteral("readonly");
        QTest::newRow("file for the exclusion folder") << QStringLiteral("exclusion") << QStringLiteral("file");
    }

    void unusableFilesAreReported()
    {
        QFETCH(QString, which);
        QFETCH(QString, kind);
        if (kind == QLatin1String("readonly") && geteuid() == 0)
            QSKIP("permissions do not bind root");
        QVERIFY(EnsureDataFiles().ok());
        const QString path = which == QLatin1String("sent")        ? sentItemsPath()
                             : which == QLatin1String("templates") ? templatesPath()
                             : which == QLatin1String("inuse")     ? inUseListPath()
                             : which == QLatin1String("index")     ? exclusionIndexPath()
                                                                   : exclusionFolder();
        QVERIFY(QFile::remove(path) || QDir(path).removeRecursively());
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == QLatin1String("zero"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        else
            writeBytes(path, "x");
        if (kind == QLatin1String("readonly"))
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));

        const auto report = EnsureDataFiles();
        QStringList expected{path};
        if (path == exclusionFolder())
            expected.append(exclusionIndexPath()); // nothing can be created in a file
        QCOMPARE(report.failures, expected);
        QVERIFY(!report.noProgramFolder);
        QCOMPARE(QFileInfo(path).isDir(), kind == QLatin1String("folder"));
    }

    // Names in the index and in-use files are read, not typed: one that breaks
    // the name rules could point the loader at any file.
    void listNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << QStringLiteral("Sales Team members") << true;
        QTest::newRow("fifty characters") << QString(50, QLatin1Char('n')) << true;
        QTest::newRow("fifty after trimming")
            << QStringLiteral(" ") + QString(50, QLatin1Char('n')) + QStringLiteral(" ") << true;
        QTest::newRow("dots alone") << QStringLiteral("..") << true;
        QTest::newRow("fifty-one characters") << QString(51, QLatin1Char('n')) << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("blank") << QStringLiteral("   ") << false;
        QTest::newRow("the index") << QStringLiteral("ExListIndex") << false;
        QTest::newRow("climbing out") << QStringLiteral("../../../outside/secret") << false;
        QTest::newRow("tab") << QStringLiteral("a\tb") << false;
        for (const char c : {'\\', '/', ':', '*', '?', '"', '<', '>', '|'})
            QTest::addRow("holding %c", c) << QStringLiteral("a") + QLatin1Char(c) + QStringLiteral("b") << false;
    }

    void listNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidListName(name), valid);
        QCOMPARE(exclusionListPath(name).isEmpty(), !valid);
    }

    void loaderSkipsNamesThatBreakTheRules()
    {
        QVERIFY(EnsureDataFiles().ok());
        const QString outside = m_dir->filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        writeBytes(outside + QStringLiteral("/secret.ulmex"), kBom + utf16(QStringLiteral("666\n")));
        writeBytes(exclusionFolder() + QStringLiteral("/ExListIndex.ulmex"), kBom + utf16(QStringLiteral("Staff\n")));
        QVERIFY(AppendExclusionLines(exclusionListPath(QStringLiteral("Staff")), {QStringLiteral("1")}));
        QVERIFY(AppendExclusionLines(inUseListPath(), {QStringLiteral("../../outside/secret"),
                                                       QStringLiteral("ExListIndex"), QStringLiteral("Staff")}));
        const auto loaded = LoadExclusionNumbers();
        QVERIFY(loaded.inUseReadable);
        QCOMPARE(loaded.numbers, QStringList{QStringLiteral("1")});
    }

    // Without VEVA_SMS_APP_DIR the program folder comes from the executable's
    // own path: a copy of this test in a folder reports where it finds itself.
    void programFolderFromTheExecutable_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<bool>("found");
        QTest::newRow("letters beyond ASCII") << QByteArray("found Programme \xc3\xbc") << true;
        QTest::newRow("bytes that are not UTF-8") << QByteArray("lost prog\xff\xfe") << false;
    }

    void programFolderFromTheExecutable()
    {
        QFETCH(QByteArray, folder);
        QFETCH(bool, found);
        // Byte paths through the C library: QFile cannot name the second folder.
        const QByteArray dir = QFile::encodeName(m_dir->path()) + '/' + folder;
        QCOMPARE(::mkdir(dir.constData(), 0700), 0);
        const QByteArray copy = dir + "/test_datafiles";
        const std::unique_ptr<void, std::function<void(void*)>> removeAtEnd(this, [copy, dir](void*) {
            ::unlink(copy.constData());
            ::rmdir(dir.constData());
        });
        QFile self(QCoreApplication::applicationFilePath());
        QVERIFY(self.open(QIODevice::ReadOnly));
        const QByteArray program = self.readAll();
        FILE* out = std::fopen(copy.constData(), "wb");
        QVERIFY(out);
        QCOMPARE(std::fwrite(program.constData(), 1, size_t(program.size()), out), size_t(program.size()));
        std::fclose(out);
        QCOMPARE(::chmod(copy.constData(), 0700), 0);

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("VEVA_SMS_APP_DIR"));
        env.insert(QStringLiteral("VEVA_TEST_REPORT_FOLDERS"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        // The shell finds the folder by the first word of its name.
        run.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("cd \"$1\"/\"$2\"* && exec ./test_datafiles reportFolders"),
                   QStringLiteral("sh"), m_dir->path(), QString::fromLatin1(folder.left(folder.indexOf(' ')))});
        QVERIFY(run.waitForFinished(30000));
        const QList<QByteArray> lines = run.readAllStandardOutput().split('\n');
        QVERIFY2(lines.contains("folders:"), run.readAllStandardError().constData());
        const QByteArray reported = lines.value(lines.indexOf("folders:") + 1);
        QCOMPARE(reported, found ? dir : QByteArray("<none>"));
        QCOMPARE(run.exitCode(), 0);
    }

    // Run by programFolderFromTheExecutable in a copy of this program.
    void reportFolders()
    {
        if (!qEnvironmentVariableIsSet("VEVA_TEST_REPORT_FOLDERS"))
            QSKIP("run by programFolderFromTheExecutable");
        qunsetenv("VEVA_SMS_APP_DIR");
        const QString folder = Paths::applicationFolder();
        std::printf("folders:\n%s\n", folder.isEmpty() ? "<none>" : QFile::encodeName(folder).constData());
        std::fflush(stdout);
        // Only without a folder: an unfixed build would create the data folder at the root.
        if (folder.isEmpty()) {
            QVERIFY(dataFolder().isEmpty() && sentItemsPath().isEmpty() &&
                    exclusionListPath(QStringLiteral("L")).isEmpty());
            QVERIFY(EnsureDataFiles().noProgramFolder);
        }
    }

    void rewriteKeepsFormatAndEmptiesToMark()
    {
        QVERIFY(EnsureDataFiles().ok());
        const QList<SentItem> rows{{QStringLiteral("1"), QStringLiteral("a\nb"), QStringLiteral("01/01/2001")},
                                   {QStringLiteral("2"), QStringLiteral("c"), QStringLiteral("02/02/2002")}};
        QCOMPARE(RewriteSentItems(rows), QString());
        QCOMPARE(readBytes(sentItemsPath()),
                 kBom + utf16(QStringLiteral("\a1\va|AP*|DX/b\a01/01/2001\r\n\a2\vc\a02/02/2002\r\n")));
        QCOMPARE(LoadSentItems(), rows);
        QCOMPARE(RewriteSentItems({}), QString());
        QCOMPARE(readBytes(sentItemsPath()), kBom);
        QVERIFY(LoadSentItems().isEmpty());
    }

    void templatesSkipEmptyAndDuplicateLines()
    {
        QVERIFY(EnsureDataFiles().ok());
        writeBytes(templatesPath(),
                   kBom + utf16(QStringLiteral("Hello\r\n\r\nHello\r\nhello\r\nTwo|AP*|DX/lines\r\n")));
        QCOMPARE(LoadTemplates(), (QStringList{QStringLiteral("Hello"), QStringLiteral("hello"),
                                               QStringLiteral("Two\nlines")}));
        QVERIFY(TemplateExistsInFile(templatesPath(), QStringLiteral("Two\nlines")));
        QVERIFY(!TemplateExistsInFile(templatesPath(), QStringLiteral("HELLO")));
        QVERIFY(!TemplateExistsInFile(templatesPath(), QString()));
        QVERIFY(!TemplateExistsInFile(m_dir->filePath(QStringLiteral("nope")), QStringLiteral("Hello")));
    }

    void saveTemplateIfNewAppendsOnce()
    {
        QVERIFY(SaveTemplateIfNew(QStringLiteral("Dear parents,\r\nschool is closed")));
        QVERIFY(SaveTemplateIfNew(QStringLiteral("Dear parents,\r\nschool is closed")));
        QVERIFY(SaveTemplateIfNew(QStringLiteral("Other")));
        QCOMPARE(readBytes(templatesPath()),
                 kBom + utf16(QStringLiteral("Dear parents,\r|AP*|DX/school is closed\r\nOther\r\n")));
    }

    void exclusionFilesAreLfOnly()
    {
        QVERIFY(EnsureDataFiles().ok());
        QVERIFY(AppendExclusionLines(exclusionIndexPath(), {QStringLiteral("Staff"), QStringLiteral("Parents")}));
        QCOMPARE(readBytes(exclusionIndexPath()), kBom + utf16(QStringLiteral("Staff\nParents\n")));
        QCOMPARE(ReadExclusionFile(exclusionIndexPath()), (QStringList{QStringLiteral("Staff"), QStringLiteral("Parents")}));

        QCOMPARE(RewriteExclusionFile(exclusionIndexPath(), {QStringLiteral("Parents"), QString()}), QString());
        QCOMPARE(readBytes(exclusionIndexPath()), kBom + utf16(QStringLiteral("Parents\n\n")));
        QCOMPARE(ReadExclusionFile(exclusionIndexPath()), (QStringList{QStringLiteral("Parents"), QString()}));
        QVERIFY(!ReadExclusionFile(exclusionListPath(QStringLiteral("missing"))).has_value());
    }

    void exclusionNumbersFollowInUseOrder()
    {
        QVERIFY(EnsureDataFiles().ok());
        QVERIFY(AppendExclusionLines(exclusionListPath(QStringLiteral("B")), {QStringLiteral("2"), QStringLiteral("3")}));
        QVERIFY(AppendExclusionLines(exclusionListPath(QStringLiteral("A")), {QStringLiteral("1")}));
        QVERIFY(AppendExclusionLines(inUseListPath(),
                                     {QStringLiteral("B"), QStringLiteral("Gone"), QStringLiteral("A")}));
        const auto loaded = LoadExclusionNumbers();
        QVERIFY(loaded.inUseReadable);
        QCOMPARE(loaded.numbers, (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("1")}));

        QFile::remove(inUseListPath());
        // EnsureDataFiles recreates it empty: readable, no numbers.
        const auto again = LoadExclusionNumbers();
        QVERIFY(again.inUseReadable);
        QVERIFY(again.numbers.isEmpty());
    }

    void secondOpenWhileInProgressFails()
    {
        QVERIFY(EnsureDataFiles().ok());
        CStdioFileEx first;
        QVERIFY(first.open(sentItemsPath(), CStdioFileEx::OpenMode::Read));
        CStdioFileEx second;
        QVERIFY(!second.open(sentItemsPath(), CStdioFileEx::OpenMode::Append));
        QCOMPARE(second.error(), CStdioFileEx::Error::Locked);
        QVERIFY(!AppendSentItem(QStringLiteral("1"), QStringLiteral("x")));
        first.close();
        QVERIFY(AppendSentItem(QStringLiteral("1"), QStringLiteral("x")));
    }

    void singleByteModeTranslatesLineEnds()
    {
        const QString path = m_dir->filePath(QStringLiteral("contacts.txt"));
        writeBytes(path, QByteArray("0044123,555\r\n\xe9t\xe9\r\nlast"));
        CStdioFileEx f;
        QVERIFY(f.open(path, CStdioFileEx::OpenMode::Read));
        QVERIFY(!f.isUnicode());
        f.setTargetCodePage(TextCodec::windows1252());
        QString line;
        QStringList lines;
        while (f.ReadRecordLine(line))
            lines.append(line);
        QCOMPARE(lines, (QStringList{QStringLiteral("0044123,555"), QStringLiteral("\u00e9t\u00e9"), QStringLiteral("last")}));
    }

    void longLinesComeBackWhole()
    {
        QVERIFY(EnsureDataFiles().ok());
        QString message;
        for (int i = 0; i < 3000; ++i)
            message += QStringLiteral("ab\r\n");
        QVERIFY(AppendSentItem(QStringLiteral("77"), message, QDate(2024, 12, 31)));
        QVERIFY(AppendSentItem(QStringLiteral("78"), QStringLiteral("short"), QDate(2024, 12, 31)));
        const auto items = LoadSentItems();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].message, message);
        QCOMPARE(items[1].number, QStringLiteral("78"));
    }
};

QTEST_GUILESS_MAIN(TestDataFiles)
#include "test_datafiles.moc"
