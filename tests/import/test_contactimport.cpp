#include "import/ContactImport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ContactImport;

namespace {

QStringList tokensOf(const QByteArray& bytes, QList<bool>* tooLong = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QStringList out;
    int expected = 0;
    ReadTextTokens(buffer, [&](int number, const QString& token, bool longToken) {
        if (number != ++expected)
            qFatal("tokens out of order");
        out.append(token);
        if (tooLong)
            tooLong->append(longToken);
        return true;
    });
    return out;
}

} // namespace

class TestContactImport : public QObject
{
    Q_OBJECT

private slots:
    void tokens_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("commas, spaces and CR LF") << QByteArray("111, 222\r\n333") << QStringList{"111", "222", "333"};
        QTest::newRow("LF only") << QByteArray("1\n2\n3\n") << QStringList{"1", "2", "3"};
        QTest::newRow("lone CRs") << QByteArray("1\r2\r3\r") << QStringList{"1", "2", "3"};
        QTest::newRow("spaces vanish inside") << QByteArray("98 76-54") << QStringList{"9876-54"};
        QTest::newRow("only separators") << QByteArray(",,,\r\n\r\n") << QStringList{};
        QTest::newRow("tabs and letters belong to the token") << QByteArray("12\t3,ab") << QStringList{"12\t3", "ab"};
        QTest::newRow("last token without separator") << QByteArray("5,6") << QStringList{"5", "6"};
        QTest::newRow("windows-1252 bytes") << QByteArray("\x80\x31") << QStringList{QStringLiteral("€1")};
    }
    void tokens()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, tokens);
        QCOMPARE(tokensOf(file), tokens);
    }

    void overLongTokensAreDroppedInBoundedMemory()
    {
        QByteArray file = "1,";
        file += QByteArray(5 * 1024 * 1024, '7');
        file += ",2";
        QList<bool> tooLong;
        const QStringList tokens = tokensOf(file, &tooLong);
        QCOMPARE(tokens.size(), 3);
        QCOMPARE(tooLong, (QList<bool>{false, true, false}));
        QCOMPARE(tokens.at(1).size(), kMaxTokenBytes);
        // Exactly at the limit is still a token.
        QCOMPARE(tokensOf(QByteArray(kMaxTokenBytes, '5')).first().size(), kMaxTokenBytes);
    }

    void fileChecks()
    {
        QTemporaryDir dir;
        auto make = [&](const QString& name, const QByteArray& bytes) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        QCOMPARE(checkTextFile(make("bom8.txt", "\xEF\xBB\xBF" "123")), TextCheck::NotAnsi);
        QCOMPARE(checkTextFile(make("le.txt", "\xFF\xFE" "1\0")), TextCheck::NotAnsi);
        QCOMPARE(checkTextFile(make("be.txt", "\xFE\xFF\0" "1")), TextCheck::NotAnsi);
        QCOMPARE(checkTextFile(make("utf8.txt", "12,\xC3\xA9")), TextCheck::Ok);
        QCOMPARE(checkTextFile(make("empty.txt", "")), TextCheck::Empty);
        QCOMPARE(checkTextFile(dir.path()), TextCheck::Unreadable);

        QCOMPARE(classify(make("A.TXT", "1")), FileKind::Text);
        QCOMPARE(classify(make("B.XlSx", "1")), FileKind::Spreadsheet);
        QCOMPARE(classify(make("c.xls", "1")), FileKind::Spreadsheet);
        QCOMPARE(classify(make("d.csv", "1")), FileKind::Spreadsheet);
        QCOMPARE(classify(make("e.Ods", "1")), FileKind::Spreadsheet);
        QCOMPARE(classify(make("f.doc", "1")), FileKind::NotSupported);
        QCOMPARE(classify(dir.filePath("none.txt")), FileKind::Missing);
    }

    void rowStepFollowsTheListAsItGrows()
    {
        NumberIndex list;
        list.add(QStringLiteral("111"));
        NumberIndex excluded;
        excluded.add(QStringLiteral("0044555"));
        RowStep step({true, true}, list, excluded);
        const QStringList raw{"222", "111", "2-2-2", "+44555", "44555", "+44+1", "abc", " - ", "333"};
        QList<ImportOutcome> outcomes;
        for (const QString& r : raw)
            outcomes.append(step.offer(r).outcome);
        using O = ImportOutcome;
        QCOMPARE(outcomes, (QList<O>{O::Added, O::Duplicate, O::Duplicate, O::Excluded, O::Added, O::Invalid, O::Invalid,
                                     O::Empty, O::Added}));
        QCOMPARE(step.takeAccepted(), (QStringList{"222", "44555", "333"}));
        QVERIFY(!step.hasAccepted());
        QCOMPARE(step.added(), 3);

        // Without the switches the same file gives every valid number, repeats included.
        RowStep plain({false, false}, list, excluded);
        for (const QString& r : raw)
            plain.offer(r);
        QCOMPARE(plain.takeAccepted(), (QStringList{"222", "111", "222", "0044555", "44555", "333"}));
    }
};

QTEST_GUILESS_MAIN(TestContactImport)
#include "test_contactimport.moc"
