// The pool that keeps the cells' texts: every text reads back as added, short
// or long, in whatever order, from UTF-16 or decoded from UTF-8.

#include "import/workbook/Workbook.h"

#include <QTest>

using Workbook::TextPool;

class TestTextPool : public QObject
{
    Q_OBJECT

private slots:
    void textsReadBackAsAdded_data()
    {
        // Lengths of the texts added in turn; a block holds 262,144 characters.
        QTest::addColumn<QList<int>>("lengths");
        QTest::newRow("empty and short") << QList<int>{0, 1, 0, 15};
        QTest::newRow("filling blocks to their end") << QList<int>{60000, 60000, 60000, 60000, 22134, 10, 60000};
        QTest::newRow("a long text first") << QList<int>{300000, 3, 4};
        QTest::newRow("long texts between short ones") << QList<int>{5, 70000, 6, 262144, 7, 100000, 8};
        QTest::newRow("a text just over a quarter block") << QList<int>{65535, 65536, 65537, 1};
    }
    void textsReadBackAsAdded()
    {
        QFETCH(QList<int>, lengths);
        TextPool pool;
        std::vector<std::pair<TextPool::Ref, QString>> added;
        for (int i = 0; i < lengths.size(); ++i) {
            // Characters that differ from text to text and along each, some beyond Latin-1.
            QString text(lengths[i], Qt::Uninitialized);
            for (int k = 0; k < text.size(); ++k)
                text[k] = QChar(char16_t(0x41 + (i * 7 + k) % 900));
            const QByteArray utf8 = text.toUtf8();
            added.emplace_back(pool.add(text), text);
            added.emplace_back(pool.addUtf8(utf8), text);
        }
        for (const auto& [ref, text] : added)
            QCOMPARE(pool.at(ref).toString(), text);
    }

    void utf8DecodedAsQtDecodesIt()
    {
        TextPool pool;
        for (const QByteArray& bytes :
             {QByteArray("Zo\xc3\xab \xf0\x9f\x98\x80"), QByteArray("bad \xc3\x28 end \xe2\x82")})
            QCOMPARE(pool.at(pool.addUtf8(bytes)).toString(), QString::fromUtf8(bytes));
    }
};

QTEST_GUILESS_MAIN(TestTextPool)
#include "test_textpool.moc"
