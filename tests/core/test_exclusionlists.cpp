// Exclusion list names, typed numbers, and the numbers a text file yields.

#include "platform/TextCodec.h"
#include "store/ExclusionLists.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ExclusionLists;

Q_DECLARE_METATYPE(ExclusionLists::NameProblem)
Q_DECLARE_METATYPE(ExclusionLists::TextFileStatus)

namespace {

QStringList candidatesOf(const QByteArray& bytes, TextFileStatus* status)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("numbers.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {QStringLiteral("<cannot write>")};
    file.close();
    QStringList out;
    *status = ReadTextCandidatesFromFile(path, [&](const QString& c) { out.append(c); });
    return out;
}

} // namespace

class TestExclusionLists : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TextCodec::setAnsiCodePage("windows-1252"); }

    void listNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<NameProblem>("expected");
        const QStringList existing{QStringLiteral("friends"), QStringLiteral("Staff")};
        QTest::newRow("plain") << QStringLiteral("Sales Team members") << NameProblem::None;
        QTest::newRow("empty") << QString() << NameProblem::Empty;
        QTest::newRow("case-insensitive clash") << QStringLiteral("Friends") << NameProblem::Exists;
        QTest::newRow("index name") << QStringLiteral("ExListIndex") << NameProblem::Reserved;
        QTest::newRow("index name, other case") << QStringLiteral("exlistindex") << NameProblem::Reserved;
        QTest::newRow("fifty characters") << QString(50, QLatin1Char('a')) << NameProblem::None;
        QTest::newRow("fifty-one characters") << QString(51, QLatin1Char('a')) << NameProblem::Invalid;
        QTest::newRow("tab") << QStringLiteral("a\tb") << NameProblem::Invalid;
        QTest::newRow("line feed") << QStringLiteral("a\nb") << NameProblem::Invalid;
        QTest::newRow("outside the code page")
            << QStringLiteral("\u041A\u043B\u0430\u0441\u0441") << NameProblem::Invalid;
        for (QChar c : QStringLiteral("\\/:*?\"<>|"))
            QTest::newRow(qPrintable(QStringLiteral("forbidden %1").arg(c)))
                << QStringLiteral("Class %1 11").arg(c) << NameProblem::Invalid;
    }

    void listNames()
    {
        QFETCH(QString, name);
        QFETCH(NameProblem, expected);
        QCOMPARE(CheckNewListName(name, {QStringLiteral("friends"), QStringLiteral("Staff")}), expected);
        QCOMPARE(IsUsableListName(name), expected == NameProblem::None || expected == NameProblem::Exists);
    }

    void namesFromFilesAreCheckedToo()
    {
        QVERIFY(!IsUsableListName(QStringLiteral("../../outside/secret")));
        QVERIFY(!IsUsableListName(QStringLiteral(" padded ")));
        TextCodec::setAnsiCodePage("windows-1251");
        QVERIFY(IsUsableListName(QStringLiteral("\u041A\u043B\u0430\u0441\u0441")));
    }

    void updatedNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // empty: "Please enter a valid phone number."
        QTest::newRow("leading plus") << QStringLiteral("+441234") << QStringLiteral("00441234");
        QTest::newRow("dashes kept") << QStringLiteral("12-34") << QStringLiteral("12-34");
        QTest::newRow("later plus") << QStringLiteral("44+1234") << QString();
        QTest::newRow("space inside") << QStringLiteral("44 1234") << QString();
        QTest::newRow("blank") << QStringLiteral("  ") << QString();
        QTest::newRow("twenty characters") << QString(20, QLatin1Char('1')) << QString(20, QLatin1Char('1'));
        QTest::newRow("twenty-one characters") << QString(21, QLatin1Char('1')) << QString();
        // "+" plus 19 digits grows to 21 characters once the plus becomes "00".
        QTest::newRow("plus grows past twenty") << QLatin1Char('+') + QString(19, QLatin1Char('1')) << QString();
    }

    void updatedNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QCOMPARE(NormalizeUpdatedNumber(typed).value_or(QString()), expected);
    }

    void textCandidates_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextFileStatus>("status");
        QTest::addColumn<QStringList>("candidates");
        const TextFileStatus ok = TextFileStatus::Ok;
        QTest::newRow("comma") << QByteArray("12-34,5678") << ok << QStringList{"12-34", "5678"};
        QTest::newRow("CR LF lines") << QByteArray("111\r\n222\r\n") << ok << QStringList{"111", "222"};
        QTest::newRow("LF lines, no end") << QByteArray("111\n222") << ok << QStringList{"111", "222"};
        QTest::newRow("lone CR ends a number") << QByteArray("123\r456") << ok << QStringList{"123", "456"};
        QTest::newRow("spaces dropped") << QByteArray(" 1 2 3 ,, ,4") << ok << QStringList{"123", "4"};
        QTest::newRow("code page") << QByteArray("12\xe9") << ok << QStringList{QStringLiteral("12\u00e9")};
        QTest::newRow("empty") << QByteArray() << TextFileStatus::Empty << QStringList();
        QTest::newRow("UTF-8 mark") << QByteArray("\xef\xbb\xbf"
                                                  "123")
                                    << TextFileStatus::NotAnsi << QStringList();
        QTest::newRow("UTF-16LE mark") << QByteArray("\xff\xfe"
                                                     "1\0",
                                                     4)
                                       << TextFileStatus::NotAnsi << QStringList();
        QTest::newRow("UTF-16BE mark") << QByteArray("\xfe\xff\0"
                                                     "1",
                                                     4)
                                       << TextFileStatus::NotAnsi << QStringList();
        const QByteArray longest(1024, '7');
        QTest::newRow("longest token kept") << longest + ",1" << ok << QStringList{QString::fromLatin1(longest), "1"};
        QTest::newRow("longer token dropped") << "1," + longest + "7,2" << ok << QStringList{"1", "2"};
    }

    void textCandidates()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TextFileStatus, status);
        QFETCH(QStringList, candidates);
        TextFileStatus got = TextFileStatus::Unreadable;
        QCOMPARE(candidatesOf(bytes, &got), candidates);
        QCOMPARE(got, status);
    }

    // A file without a single separator: read through, nothing kept.
    void fileWithoutSeparatorsYieldsNothing()
    {
        TextFileStatus status = TextFileStatus::Unreadable;
        QCOMPARE(candidatesOf(QByteArray(4 * 1024 * 1024, '5') + "\n42", &status), QStringList{"42"});
        QCOMPARE(status, TextFileStatus::Ok);
    }

    void candidateSteps_data()
    {
        QTest::addColumn<QStringList>("inList");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("accepted");
        QTest::newRow("dashes and plus") << QStringList() << QStringList{"12-34", "+44 1", "+44-7700"}
                                         << QStringList{"1234", "00447700"};
        QTest::newRow("invalid dropped") << QStringList() << QStringList{"12a", "1+2", "--", "123456789012345678901"}
                                         << QStringList();
        QTest::newRow("already listed") << QStringList{"1234"} << QStringList{"12-34", "5678"} << QStringList{"5678"};
        QTest::newRow("repeated in file")
            << QStringList() << QStringList{"5678", "+5678", "5678", "005678"} << QStringList{"5678", "005678"};
    }

    void candidateSteps()
    {
        QFETCH(QStringList, inList);
        QFETCH(QStringList, offered);
        QFETCH(QStringList, accepted);
        CandidateFilter filter(inList);
        for (const QString& c : offered)
            filter.offer(c);
        QCOMPARE(filter.accepted(), accepted);
    }
};

QTEST_GUILESS_MAIN(TestExclusionLists)
#include "test_exclusionlists.moc"
