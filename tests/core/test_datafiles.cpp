#include "platform/TextCodec.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    void sentItemOutside1252ReadsBackAsHash()
    {
        QVERIFY(EnsureDataFiles().ok());
        QVERIFY(AppendSentItem(QStringLiteral("1"), QStringLiteral("Za\u017C\u00F3\u0142\u0107 \u20AC"), QDate(2012, 3, 7)));
        // Stored as written...
        QVERIFY(readBytes(sentItemsPath()).contains(utf16(QStringLiteral("\u0142"))));
        // ...but read back through windows-1252, which has ó and € but not ż, ł or ć.
        const auto items = LoadSentItems();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].message, QStringLiteral("Za#\u00F3## \u20AC"));
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
