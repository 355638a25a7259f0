#include "platform/Registry.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TextCodec::setAnsiCodePage(TextCodec::windows1252()); }

    void ansiRoundTrip()
    {
        const QString text = QStringLiteral("Caf\u00e9 \u20ac5 \u00a7 \u201cquoted\u201d");
        const QByteArray bytes = TextCodec::toAnsi(text);
        QCOMPARE(bytes, QByteArray("Caf\xe9 \x80" "5 \xa7 \x93quoted\x94"));
        QCOMPARE(TextCodec::fromAnsi(bytes), text);
    }

    // Bytes 0x80 to 0x9F against the published Windows-1252 chart, glyph by
    // glyph; the five unassigned bytes stand for the C1 controls of the same value.
    void windows1252HighBytes()
    {
        const QString chart = QString::fromUtf8("€\u0081‚ƒ„…†‡ˆ‰Š‹"
                                                "Œ\u008dŽ\u008f\u0090‘’“”•–"
                                                "—˜™š›œ\u009džŸ");
        QByteArray bytes;
        for (int b = 0x80; b <= 0x9f; ++b)
            bytes.append(char(b));
        QCOMPARE(chart.size(), 32);
        QCOMPARE(TextCodec::decode(bytes, TextCodec::windows1252()), chart);
        QCOMPARE(TextCodec::toAnsi(chart), bytes);
    }

    void unmappableCharacters()
    {
        QCOMPARE(TextCodec::toAnsi(QStringLiteral("a\u0142b")), QByteArray("a?b"));
        QCOMPARE(TextCodec::narrowTo1252(QStringLiteral("a\u0142b\U0001F600c")), QStringLiteral("a#b#c"));
        // A lone surrogate has no equivalent either.
        QString lone = QStringLiteral("x");
        lone.append(QChar(0xD800));
        QCOMPARE(TextCodec::narrowTo1252(lone), QStringLiteral("x#"));
        // U+001A is a real character, not the converter's failure byte.
        QCOMPARE(TextCodec::narrowTo1252(QStringLiteral("\x1a")), QStringLiteral("\x1a"));
        QCOMPARE(TextCodec::narrowTo1252(QString(QChar(0))), QString(QChar(0)));
    }

    void otherAnsiCodePage()
    {
        if (!TextCodec::setAnsiCodePage("windows-1251"))
            QSKIP("no ICU converter for windows-1251");
        QCOMPARE(TextCodec::toAnsi(QStringLiteral("\u041f\u0440\u0438")), QByteArray("\xcf\xf0\xe8"));
        QCOMPARE(TextCodec::narrowToAnsi(QStringLiteral("\u041f\u00e9")), QStringLiteral("\u041f#"));
        // The sent-items target stays windows-1252 whatever the ANSI page.
        QCOMPARE(TextCodec::narrowTo1252(QStringLiteral("\u041f\u00e9")), QStringLiteral("#\u00e9"));
        QVERIFY(!TextCodec::setAnsiCodePage("no-such-page"));
        QCOMPARE(TextCodec::ansiCodePage(), QByteArray("windows-1251"));
    }

    void registryStandIn()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.reg"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System]\r\n"
                "\"EnableLUA\"=dword:00000001\r\n"
                "\"Off\"=dword:00000000\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Research In Motion\\BlackBerry\\Manager]\r\n"
                "\"ImagePath\"=\"/opt/dm dir/DesktopMgr.exe \\\"q\\\"\"\r\n"
                "\"Empty\"=\"\"\r\n");
        f.close();
        const Registry reg(file);
        QVERIFY(reg.isNonEmptyCString(QString::fromLatin1(Registry::kPolicies), QStringLiteral("EnableLUA")));
        QVERIFY(!reg.isNonEmptyCString(QString::fromLatin1(Registry::kPolicies), QStringLiteral("Off")));
        QVERIFY(!reg.isNonEmptyCString(QString::fromLatin1(Registry::kPolicies), QStringLiteral("Missing")));
        QCOMPARE(reg.readString(QString::fromLatin1(Registry::kManager), QStringLiteral("imagepath")),
                 QStringLiteral("/opt/dm dir/DesktopMgr.exe \"q\""));
        QVERIFY(!reg.isNonEmptyCString(QString::fromLatin1(Registry::kManager), QStringLiteral("Empty")));
        QCOMPARE(reg.readString(QString::fromLatin1(Registry::kUninstall), QStringLiteral("DisplayIcon")), QString());
        QVERIFY(!Registry(dir.filePath(QStringLiteral("absent.reg")))
                     .readRaw(QString::fromLatin1(Registry::kManager), QStringLiteral("ImagePath")));
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "test_textcodec.moc"
