#include "app/core/NumberRules.h"

#include <QTest>

class TestNumberRules : public QObject
{
    Q_OBJECT

private slots:
    void typedNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: rejected

        QTest::newRow("leading plus") << QStringLiteral("+441234") << QStringLiteral("00441234");
        QTest::newRow("trimmed") << QStringLiteral("  0123 \t") << QStringLiteral("0123");
        QTest::newRow("plus inside") << QStringLiteral("44+12") << QString();
        QTest::newRow("two plus") << QStringLiteral("++44") << QString();
        QTest::newRow("20 digits") << QString(20, QLatin1Char('1')) << QString(20, QLatin1Char('1'));
        QTest::newRow("plus and 19 digits grows to 21")
            << (QStringLiteral("+") + QString(19, QLatin1Char('1'))) << QString();
        QTest::newRow("21 digits") << QString(21, QLatin1Char('1')) << QString();
        QTest::newRow("dash allowed") << QStringLiteral("0123-456") << QStringLiteral("0123-456");
        QTest::newRow("letter") << QStringLiteral("12a") << QString();
        QTest::newRow("inner blank") << QStringLiteral("12 34") << QString();
        QTest::newRow("blank") << QStringLiteral("   ") << QString();
    }

    void typedNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(NormalizeTypedNumber(typed).value_or(QString()), stored);
    }

    void importedNumbers_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("imported");
        QTest::newRow("dashes and plus") << QStringLiteral("+44-123-456") << QStringLiteral("0044123456");
        QTest::newRow("parentheses") << QStringLiteral("(0)123") << QString();
        QTest::newRow("only dashes") << QStringLiteral("---") << QString();
        QTest::newRow("plus after dashes removed") << QStringLiteral("-+44") << QStringLiteral("0044");
        QTest::newRow("inner plus") << QStringLiteral("4+4") << QString();
        QTest::newRow("too long after 00") << (QStringLiteral("+") + QString(19, QLatin1Char('9'))) << QString();
        QTest::newRow("blanks around") << QStringLiteral(" 555 ") << QStringLiteral("555");
    }

    void importedNumbers()
    {
        QFETCH(QString, raw);
        QFETCH(QString, imported);
        NumberIndex none;
        QCOMPARE(NormalizeImportedNumber(raw, {}, none, none), imported);
    }

    void duplicatesAndExclusions()
    {
        NumberIndex list;
        NumberIndex excluded;
        list.add(QStringLiteral("0044123"));
        excluded.add(QStringLiteral("0044999"));

        const ImportSwitches off{};
        const ImportSwitches dup{true, false};
        const ImportSwitches excl{false, true};
        QCOMPARE(NormalizeImportedNumber(QStringLiteral("+44123"), off, list, excluded), QStringLiteral("0044123"));
        QCOMPARE(NormalizeImportedNumber(QStringLiteral("+44123"), dup, list, excluded), QString());
        QCOMPARE(NormalizeImportedNumber(QStringLiteral("+44999"), excl, list, excluded), QString());
        // Exclusion compares the cached text exactly: no 00 prefix is added or removed.
        QCOMPARE(NormalizeImportedNumber(QStringLiteral("999"), excl, list, excluded), QStringLiteral("999"));

        // A multiset: removing one of two equal numbers keeps the other listed.
        list.add(QStringLiteral("0044123"));
        list.remove(QStringLiteral("0044123"));
        QVERIFY(IsListedNumber(list, QStringLiteral("0044123")));
        list.remove(QStringLiteral("0044123"));
        QVERIFY(!IsListedNumber(list, QStringLiteral("0044123")));
        list.remove(QStringLiteral("never there"));
        QCOMPARE(list.count(QStringLiteral("never there")), 0);
    }

    void lookupsIgnoreLetterCaseButNotOtherDifferences()
    {
        NumberIndex list;
        list.add(QStringLiteral("AbC123"));
        QVERIFY(IsListedNumber(list, QStringLiteral("abc123")));
        QVERIFY(IsListedNumber(list, QStringLiteral("ABC123")));
        QVERIFY(!IsListedNumber(list, QStringLiteral("abc123 ")));
        QVERIFY(!IsListedNumber(list, QStringLiteral("abc12")));
    }

    void counter_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("warn");
        QTest::addColumn<QString>("afterOk");

        const QString plain159 = QStringLiteral("159 Characters");
        QTest::newRow("160 no warning") << 160 << plain159 << QStringLiteral("160 Characters") << false << QString();
        QTest::newRow("161 warns") << 161 << QStringLiteral("160 Characters") << QStringLiteral("161 Characters")
                                   << true << QStringLiteral("161 Characters (Each Message will now consume 2 SMS)");
        QTest::newRow("320 after accepting")
            << 320 << QStringLiteral("319 Characters (Each Message will now consume 2 SMS)")
            << QStringLiteral("320 Characters (Each Message will now consume 2 SMS)") << false << QString();
        QTest::newRow("321 after accepting")
            << 321 << QStringLiteral("320 Characters (Each Message will now consume 2 SMS)")
            << QStringLiteral("321 Characters (Each Message will now consume 3 SMS)") << false << QString();
        QTest::newRow("back to 160 drops the SMS form")
            << 160 << QStringLiteral("161 Characters (Each Message will now consume 2 SMS)")
            << QStringLiteral("160 Characters") << false << QString();
        QTest::newRow("still long after the close box")
            << 162 << QStringLiteral("161 Characters") << QStringLiteral("162 Characters") << true
            << QStringLiteral("162 Characters (Each Message will now consume 2 SMS)");
        QTest::newRow("empty") << 0 << QStringLiteral("0 Characters ") << QStringLiteral("0 Characters") << false
                               << QString();
    }

    void counter()
    {
        QFETCH(int, length);
        QFETCH(QString, previous);
        QFETCH(QString, shown);
        QFETCH(bool, warn);
        QFETCH(QString, afterOk);
        const CounterState state = UpdateCharacterCounter(QString(length, QLatin1Char('x')), previous);
        QCOMPARE(state.bytes, length);
        QCOMPARE(state.text, shown);
        QCOMPARE(state.showWarning, warn);
        if (warn)
            QCOMPARE(state.textIfAccepted, afterOk);
    }

    void counterCountsAnsiBytes()
    {
        // A character outside the code page still counts one byte (it is sent as '?');
        // a surrogate pair is one character.
        QCOMPARE(UpdateCharacterCounter(QStringLiteral("\u00e9\u0142\U0001F600"), QString()).bytes, 3);
        QCOMPARE(CounterTextWithoutWarning(QString(321, QLatin1Char('a'))),
                 QStringLiteral("321 Characters (Each Message will now consume 3 SMS)"));
        QCOMPARE(SmsParts(161), 2);
        QCOMPARE(SmsParts(320), 2);
        QCOMPARE(SmsParts(0), 0);
    }
};

QTEST_GUILESS_MAIN(TestNumberRules)
#include "test_numberrules.moc"
