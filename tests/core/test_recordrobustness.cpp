// Damaged, foreign and oversized data files: the readers must finish without
// crashing, hanging or growing without bound, and lose at most the damaged records.

#include "core/SmallDisk.h"
#include "platform/TextCodec.h"
#include "sending/SendJournal.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include <sys/stat.h>

using DataFiles::SentItem;

Q_DECLARE_METATYPE(DataFiles::SentItem)

namespace DataFiles {
char* toString(const SentItem& item)
{
    return QTest::toString(QStringLiteral("(%1 | %2 | %3)").arg(item.number, item.message, item.date));
}
} // namespace DataFiles

namespace {

const QByteArray kBom("\xff\xfe", 2);
const QChar kBel(0x07);
const QChar kVt(0x0B);
constexpr qsizetype kCap = CStdioFileEx::kMaxLineUnits;

QByteArray utf16(const QString& text)
{
    return CStdioFileEx::encodeUtf16(text, false);
}

QString recordLine(const QString& number, const QString& message, const QString& date = QStringLiteral("01/02/2012"))
{
    return kBel + number + kVt + message + kBel + date + QStringLiteral("\r\n");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<cannot open>");
}

// Runs work on a thread of its own and waits for it at most ms milliseconds.
// A thread that never ends is left behind: the case has failed by then.
bool finishesWithin(int ms, std::function<void()> work)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([work = std::move(work), done] {
        work();
        *done = true;
    }).detach();
    const QDeadlineTimer deadline(ms);
    while (!*done && !deadline.hasExpired())
        QThread::msleep(5);
    return *done;
}

QStringList readLines(const QString& path, bool* unicode = nullptr)
{
    QStringList lines;
    CStdioFileEx f;
    if (!f.open(path, CStdioFileEx::OpenMode::Read))
        return {QStringLiteral("<cannot open>")};
    f.setTargetCodePage(TextCodec::windows1252());
    if (unicode)
        *unicode = f.isUnicode();
    QString line;
    while (f.ReadRecordLine(line))
        lines.append(line);
    return lines;
}

void stripLineEnd(QString& s)
{
    if (s.endsWith(QLatin1String("\r\n")))
        s.chop(2);
    else if (s.endsWith(QLatin1Char('\r')) || s.endsWith(QLatin1Char('\n')))
        s.chop(1);
}

// What a reader that holds the whole file in memory would return: the
// reference for the streaming reader, whose chunk seams the tests aim at.
QStringList linesOfWholeFile(const QByteArray& bytes)
{
    QStringList lines;
    if (bytes.startsWith(kBom)) {
        QString units;
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2)
            units.append(QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8))));
        qsizetype start = 0;
        while (start < units.size()) {
            qsizetype nl = units.indexOf(QLatin1Char('\n'), start);
            const qsizetype end = nl < 0 ? units.size() : nl + 1;
            QString raw = units.mid(start, end - start);
            start = end;
            // The unit an append's realignment leaves before a line feed is no text.
            const qsizetype n = raw.size();
            if (n >= 2 && raw.endsWith(QLatin1Char('\n')) && (raw.at(n - 2).unicode() >> 8) == 0xDC &&
                !(n >= 3 && raw.at(n - 3).isHighSurrogate())) {
                raw.remove(n - 2, 1);
                if (raw.size() == 1)
                    continue;
            }
            QString line = TextCodec::narrowTo1252(raw);
            stripLineEnd(line);
            lines.append(line);
        }
    } else {
        qsizetype start = 0;
        while (start < bytes.size()) {
            qsizetype nl = bytes.indexOf('\n', start);
            const qsizetype end = nl < 0 ? bytes.size() : nl + 1;
            QByteArray raw = bytes.mid(start, end - start);
            raw.replace("\r\n", "\n");
            QString line = TextCodec::decode(raw, TextCodec::windows1252());
            stripLineEnd(line);
            lines.append(line);
            start = end;
        }
    }
    return lines;
}

// Peak resident memory of this process, in KiB.
qint64 peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Lowers the peak to the current resident size (Linux 4.0 and later).
void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Every character Windows-1252 can hold, except BEL: a sent item's message
// ends at the first BEL, so a message holding one cannot come back whole.
const QString& cp1252Alphabet()
{
    static const QString alphabet = [] {
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            if (b != 0x07)
                all.append(char(b));
        }
        return TextCodec::decode(all, TextCodec::windows1252());
    }();
    return alphabet;
}

// A message from the format's alphabet, rich in line breaks, record
// separators and pieces of the line-break marker. The whole marker is left
// out: it reads back as a line feed by design.
QString randomMessage(QRandomGenerator& rng)
{
    static const QStringList pieces = {
        QStringLiteral("\r\n"),
        QStringLiteral("\n"),
        QStringLiteral("\r"),
        QStringLiteral("|AP*|DX"),
        QStringLiteral("AP*|DX/"),
        QStringLiteral("|AP*"),
        QString(kVt),
        QStringLiteral(" \t "),
        QStringLiteral("\f"),
        QString(QChar(0)),
        QStringLiteral("\u20ac"),
        QStringLiteral("|"),
    };
    const QString& alphabet = cp1252Alphabet();
    for (;;) {
        QString message;
        const int tokens = rng.bounded(0, 120);
        for (int t = 0; t < tokens; ++t) {
            if (rng.bounded(4) == 0)
                message += pieces.at(rng.bounded(int(pieces.size())));
            else
                message += alphabet.at(rng.bounded(int(alphabet.size())));
        }
        if (!message.contains(QString::fromUtf16(DataFiles::kLineBreakMarker)))
            return message;
    }
}

// Numbers as the recipient list holds them; a number never holds VT (the
// field separator) and is never empty (such records are dropped).
QString randomNumber(QRandomGenerator& rng)
{
    static const QString digits = QStringLiteral("0123456789+-");
    QString number;
    const int length = rng.bounded(1, 21);
    for (int i = 0; i < length; ++i)
        number += digits.at(rng.bounded(int(digits.size())));
    return number;
}

QDate randomDate(QRandomGenerator& rng)
{
    return QDate(1995, 1, 1).addDays(rng.bounded(20000));
}

} // namespace

class TestRecordRobustness : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString fileForThisCase() const
    {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            name += QLatin1Char('-') + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), '_');
        return m_dir.filePath(name + QStringLiteral(".ulmex"));
    }

    static void checkParsedItems(const QList<SentItem>& items)
    {
        for (const SentItem& item : items) {
            QVERIFY(!item.number.isEmpty());
            QVERIFY(!item.number.contains(kVt));
            QVERIFY(!item.message.contains(kBel));
            QVERIFY(!item.date.contains(kBel));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("VEVA_SMS_APP_DIR", m_dir.path().toLocal8Bit());
        QVERIFY(DataFiles::EnsureDataFiles().ok());
    }

    // First, so that the peak memory of the other cases does not hide a growth here.
    void hundredMegabyteFileReadInBoundedMemory()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer keeps freed memory in quarantine: the peak says nothing then");
#endif
        const QString path = fileForThisCase();
        constexpr int kRecordsPerBlock = 10000;
        constexpr qint64 kTarget = qint64(100) * 1000 * 1000;
        int blocks = 0;
        {
            QString text;
            for (int i = 0; i < kRecordsPerBlock; ++i) {
                text += recordLine(QString::number(447700000000LL + i),
                                   QStringLiteral("Reminder %1: school closes early|AP*|DX/Bring a coat").arg(i));
            }
            const QByteArray block = utf16(text);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(kBom), 2);
            while (f.size() < kTarget) {
                QCOMPARE(f.write(block), block.size());
                ++blocks;
            }
        }
        QVERIFY(QFileInfo(path).size() >= kTarget);

        resetPeakRss();
        const qint64 peakBefore = peakRssKb();
        QVERIFY(peakBefore > 0);

        qint64 count = 0;
        SentItem first, last;
        {
            CStdioFileEx f;
            QVERIFY(f.open(path, CStdioFileEx::OpenMode::Read));
            f.setTargetCodePage(TextCodec::windows1252());
            QString line;
            while (f.ReadRecordLine(line)) {
                for (const SentItem& item : DataFiles::ParseSentItemLine(line)) {
                    if (count == 0)
                        first = item;
                    last = item;
                    ++count;
                }
            }
        }
        const qint64 growthKb = peakRssKb() - peakBefore;

        QCOMPARE(count, qint64(blocks) * kRecordsPerBlock);
        QCOMPARE(first, (SentItem{QStringLiteral("447700000000"),
                                  QStringLiteral("Reminder 0: school closes early\nBring a coat"),
                                  QStringLiteral("01/02/2012")}));
        QCOMPARE(last.number, QStringLiteral("447700009999"));
        // The reader keeps one chunk and one line; 32 MiB leaves room for the allocator.
        QVERIFY2(growthKb < 32 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(growthKb)));
    }

    void oddByteCount_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<SentItem>>("expected");
        const SentItem a{QStringLiteral("111"), QStringLiteral("first"), QStringLiteral("01/02/2012")};
        const SentItem b{QStringLiteral("222"), QStringLiteral("second"), QStringLiteral("01/02/2012")};
        const QByteArray twoRecords = kBom + utf16(recordLine(a.number, a.message) + recordLine(b.number, b.message));

        QTest::newRow("stray byte after the last line") << twoRecords + 'x' << QList<SentItem>{a, b};
        QByteArray unterminated = kBom + utf16(recordLine(a.number, a.message));
        unterminated += utf16(kBel + b.number + kVt + b.message + kBel + b.date) + '\x00';
        QTest::newRow("stray byte after an unterminated line") << unterminated << QList<SentItem>{a, b};
        QTest::newRow("mark and one byte") << QByteArray("\xff\xfe\x41", 3) << QList<SentItem>{};
        QTest::newRow("one byte") << QByteArray("\xff", 1) << QList<SentItem>{};
        QByteArray halfUnitLineFeed = kBom + utf16(recordLine(a.number, a.message));
        halfUnitLineFeed += utf16(kBel + b.number + kVt + b.message + kBel + b.date + QLatin1Char('\r')) + '\n';
        QTest::newRow("line feed cut in half") << halfUnitLineFeed << QList<SentItem>{a, b};
    }

    void oddByteCount()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<SentItem>, expected);
        const QString path = fileForThisCase();
        QVERIFY(writeFile(path, bytes));
        QCOMPARE(DataFiles::LoadSentItems(path), expected);
    }

    // Appends keep the file's own encoding and start behind any damage; what was
    // readable stays readable and the new records come back whole.
    void appendsAfterDamage_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QList<SentItem>>("kept");
        const SentItem a{QStringLiteral("111"), QStringLiteral("first"), QStringLiteral("01/02/2012")};
        const QString line = recordLine(a.number, a.message);
        const QByteArray record = kBom + utf16(line);

        QTest::newRow("stray byte after the last record") << record + 'x' << QList<SentItem>{a};
        QTest::newRow("stray byte after an unterminated record")
            << kBom + utf16(line.chopped(2)) + '\0' << QList<SentItem>{a};
        QTest::newRow("line feed cut in half") << record.chopped(1) << QList<SentItem>{a};
        QTest::newRow("mark and one byte") << QByteArray("\xff\xfe\x41", 3) << QList<SentItem>{};
        const SentItem cafe{QStringLiteral("123"), QStringLiteral("caf\u00e9"), QStringLiteral("01/02/2012")};
        QTest::newRow("no mark") << QByteArray("\x07"
                                               "123\x0b"
                                               "caf\xe9\x07"
                                               "01/02/2012\r\n")
                                 << QList<SentItem>{cafe};
        QTest::newRow("no mark, no final line end") << QByteArray("\x07"
                                                                  "123\x0b"
                                                                  "caf\xe9\x07"
                                                                  "01/02/2012")
                                                    << QList<SentItem>{cafe};
        QTest::newRow("empty") << QByteArray() << QList<SentItem>{};
        // What an older program left when the disk filled in the middle of a record.
        const QString cut = QString(kBel) + QStringLiteral("9845200001") + kVt + QStringLiteral("Disk che");
        QTest::newRow("a record cut short")
            << record + utf16(cut) << QList<SentItem>{a} + DataFiles::ParseSentItemLine(cut);
    }

    void appendsAfterDamage()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<SentItem>, kept);
        QVERIFY(writeFile(DataFiles::sentItemsPath(), before));
        const QList<SentItem> sent{
            {QStringLiteral("1000"), QStringLiteral("Gr\u00fc\u00dfe \u20ac"), QStringLiteral("07/03/2012")},
            {QStringLiteral("2000"), QStringLiteral("two\nlines"), QStringLiteral("07/03/2012")}};
        for (const SentItem& item : sent)
            QVERIFY(DataFiles::AppendSentItem(item.number, item.message, QDate(2012, 3, 7)));

        QCOMPARE(DataFiles::LoadSentItems(), kept + sent);
        const QByteArray after = readFile(DataFiles::sentItemsPath());
        QVERIFY(after.startsWith(before));
        QCOMPARE(after.startsWith(kBom), before.isEmpty() || before.startsWith(kBom));
    }

    // A full disk: every append is whole or nothing, each says why, and once there
    // is room again the next record comes back whole.
    void fullDiskLeavesTheRecordFilesAsTheyWere()
    {
        SmallDisk disk(64);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.error()));
        const QByteArray appDir = qgetenv("VEVA_SMS_APP_DIR");
        qputenv("VEVA_SMS_APP_DIR", disk.path().toLocal8Bit());
        struct Restore
        {
            QByteArray dir;
            ~Restore() { qputenv("VEVA_SMS_APP_DIR", dir); }
        } restore{appDir};
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        const QDate date(2012, 3, 7);
        QVERIFY(DataFiles::AppendSentItem(QStringLiteral("111"), QStringLiteral("first"), date));
        // A template is at most 1,600 characters: two of them cross a page.
        const QString longTemplate = QString(1500, u'\u00e8');
        QVERIFY(DataFiles::SaveTemplateIfNew(longTemplate));
        SendJournal journal;
        QVERIFY(journal.begin(3));
        const QString longNumber(2500, u'9'); // two such lines cross a page
        QVERIFY(journal.sending(0, longNumber, messageFingerprint(longTemplate)));

        QVERIFY(disk.fill());
        const QStringList files{DataFiles::sentItemsPath(), DataFiles::templatesPath(), SendJournal::defaultPath()};
        QList<QByteArray> before;
        for (const QString& file : files)
            before << readFile(file);
        // Longer than a page: the write fills what is left of the file's last page, then fails.
        const QString big = QString(3000, u'é');
        QString error;
        QVERIFY(!DataFiles::AppendSentItem(QStringLiteral("222"), big, date, &error));
        QCOMPARE(error, DataFiles::sentItemsPath() + QStringLiteral(": No space left on device"));
        error.clear();
        const QString secondTemplate = QString(1500, u'\u00e9');
        QVERIFY(!DataFiles::SaveTemplateIfNew(secondTemplate, &error));
        QCOMPARE(error, DataFiles::templatesPath() + QStringLiteral(": No space left on device"));
        QVERIFY(!journal.sending(1, longNumber, messageFingerprint(big)));
        QVERIFY2(journal.lastError().endsWith(QStringLiteral("No space left on device")),
                 qPrintable(journal.lastError()));
        for (int i = 0; i < files.size(); ++i)
            QCOMPARE(readFile(files.at(i)), before.at(i));

        disk.makeRoom();
        QVERIFY(DataFiles::AppendSentItem(QStringLiteral("222"), big, date));
        QVERIFY(DataFiles::SaveTemplateIfNew(secondTemplate));
        QVERIFY(journal.sending(2, QStringLiteral("333"), messageFingerprint(big)));
        QCOMPARE(DataFiles::LoadSentItems(),
                 (QList<SentItem>{{QStringLiteral("111"), QStringLiteral("first"), QStringLiteral("07/03/2012")},
                                  {QStringLiteral("222"), big, QStringLiteral("07/03/2012")}}));
        QCOMPARE(DataFiles::LoadTemplates(), (QStringList{longTemplate, secondTemplate}));
        const auto run = SendJournal::readInterrupted();
        QVERIFY(run);
        QCOMPARE(run->uncertain.size(), 2);
        QCOMPARE(run->uncertain.at(1).number, QStringLiteral("333"));
    }

    // A templates file without the mark is single-byte text: a template that is
    // there must be found, so that every send does not add it once more.
    void templatesWithoutMarkDoNotGrow()
    {
        const QByteArray before("Hello\r\nGr\xfc\xdf"
                                "e\r\n");
        QVERIFY(writeFile(DataFiles::templatesPath(), before));
        for (int send = 0; send < 3; ++send) {
            for (const QString& text :
                 {QStringLiteral("Hello"), QStringLiteral("Gr\u00fc\u00dfe"), QStringLiteral("Neu \u20ac")})
                QVERIFY(DataFiles::SaveTemplateIfNew(text));
        }
        QCOMPARE(readFile(DataFiles::templatesPath()), before + "Neu \x80\r\n");
        QCOMPARE(DataFiles::LoadTemplates(), (QStringList{QStringLiteral("Hello"), QStringLiteral("Gr\u00fc\u00dfe"),
                                                          QStringLiteral("Neu \u20ac")}));
    }

    // Something other than a regular file in a data file's place fails at once,
    // like a file that cannot be opened, instead of blocking or reading for ever.
    void specialFilesFailAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("zero");
        QTest::newRow("folder") << QStringLiteral("folder");
    }

    void specialFilesFailAtOnce()
    {
        QFETCH(QString, kind);
        const QStringList paths{DataFiles::sentItemsPath(), DataFiles::templatesPath(), DataFiles::inUseListPath()};
        for (const QString& path : paths) {
            QFile::remove(path);
            const QByteArray native = QFile::encodeName(path);
            if (kind == QLatin1String("fifo"))
                QCOMPARE(::mkfifo(native.constData(), 0600), 0);
            else if (kind == QLatin1String("zero"))
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
            else
                QVERIFY(QDir().mkdir(path));
        }
        auto outcome = std::make_shared<QStringList>();
        const bool finished = finishesWithin(10000, [outcome] {
            *outcome << QString::number(DataFiles::AppendSentItem(QStringLiteral("1"), QStringLiteral("m")))
                     << QString::number(DataFiles::LoadSentItems().size())
                     << QString::number(DataFiles::SaveTemplateIfNew(QStringLiteral("m")))
                     << QString::number(DataFiles::LoadTemplates().size())
                     << QString::number(DataFiles::ReadExclusionFile(DataFiles::inUseListPath()).has_value())
                     << QString::number(DataFiles::LoadExclusionNumbers().inUseReadable);
        });
        QVERIFY2(finished, "a record operation is still blocked");
        QCOMPARE(*outcome, (QStringList{"0", "0", "0", "0", "0", "0"}));

        for (const QString& path : paths) {
            if (!QFile::remove(path))
                QDir().rmdir(path);
        }
        QVERIFY(DataFiles::EnsureDataFiles().ok());
    }

    // Unpaired halves are kept as they are, so a rewrite gives them back.
    void surrogatesReadAsStored_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("lone high") << QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b");
        QTest::newRow("lone low") << QStringLiteral("a") + QChar(0xDC00) + QStringLiteral("b");
        QTest::newRow("pair in reverse order") << QString(QChar(0xDC01)) + QChar(0xD801);
        QTest::newRow("high before the separator") << QStringLiteral("end") + QChar(0xDBFF);
        QTest::newRow("two highs then a low") << QString(QChar(0xD83D)) + QChar(0xD83D) + QChar(0xDE00);
        QTest::newRow("valid pair") << QStringLiteral("x\U0001F600y");
    }

    void surrogatesReadAsStored()
    {
        QFETCH(QString, message);
        const QString path = fileForThisCase();
        const QString text = recordLine(QStringLiteral("12345"), message) + recordLine(QStringLiteral("678"), {});
        QVERIFY(writeFile(path, kBom + utf16(text)));
        const QList<SentItem> items = DataFiles::LoadSentItems(path);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].message, message);
        QCOMPARE(items[1].number, QStringLiteral("678"));
    }

    void surrogateAtEndOfLineIsKept()
    {
        const QString path = fileForThisCase();
        const QString date = QStringLiteral("01/02/2012") + QChar(0xD800);
        const QString text =
            kBel + QStringLiteral("12345") + kVt + QStringLiteral("m") + kBel + date + QStringLiteral("\r\n");
        QVERIFY(writeFile(path, kBom + utf16(text)));
        const QList<SentItem> items = DataFiles::LoadSentItems(path);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].date, date);
    }

    // A valid pair whose halves land in different read chunks is still one character.
    void surrogatePairAcrossReadChunks()
    {
        const QString path = fileForThisCase();
        // Mark (1 unit) + BEL, number, VT (3 units) + padding puts the high half on unit 32767.
        const QString padding(32767 - 4, QLatin1Char('x'));
        const QString message = padding + QStringLiteral("\U0001F600y");
        QVERIFY(writeFile(path, kBom + utf16(recordLine(QStringLiteral("1"), message))));
        const QList<SentItem> items = DataFiles::LoadSentItems(path);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].message, message);
    }

    void nulCodeUnits_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<SentItem>>("expected");
        const QString nul(QChar(0));
        const QString date = QStringLiteral("01/02/2012");
        QTest::newRow("inside a message")
            << kBom + utf16(recordLine(QStringLiteral("1"), QStringLiteral("a") + nul + QStringLiteral("b")))
            << QList<SentItem>{{QStringLiteral("1"), QStringLiteral("a") + nul + QStringLiteral("b"), date}};
        QTest::newRow("inside a number")
            << kBom + utf16(recordLine(QStringLiteral("12") + nul + QStringLiteral("3"), QStringLiteral("m")))
            << QList<SentItem>{{QStringLiteral("12") + nul + QStringLiteral("3"), QStringLiteral("m"), date}};
        QTest::newRow("a file of nothing else") << kBom + QByteArray(200000, '\0') << QList<SentItem>{};
        QTest::newRow("nul lines between records")
            << kBom + utf16(recordLine(QStringLiteral("1"), QStringLiteral("m")) + nul + nul + QStringLiteral("\r\n") +
                            recordLine(QStringLiteral("2"), QStringLiteral("n")))
            << QList<SentItem>{{QStringLiteral("1"), QStringLiteral("m"), date},
                               {QStringLiteral("2"), QStringLiteral("n"), date}};
    }

    void nulCodeUnits()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<SentItem>, expected);
        const QString path = fileForThisCase();
        QVERIFY(writeFile(path, bytes));
        QCOMPARE(DataFiles::LoadSentItems(path), expected);
    }

    void withoutByteOrderMarkReadAsWindows1252_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<SentItem>>("expected");
        const QString date = QStringLiteral("01/02/2012");
        QTest::newRow("high letters") << QByteArray("\x07"
                                                    "123\x0b"
                                                    "caf\xe9 \x80 \x9f\x07"
                                                    "01/02/2012\r\n")
                                      << QList<SentItem>{
                                             {QStringLiteral("123"), QStringLiteral("caf\u00e9 \u20ac \u0178"), date}};
        QTest::newRow("line feed endings and no final end")
            << QByteArray("\x07"
                          "1\x0bm\x07"
                          "01/02/2012\n\x07"
                          "2\x0bn\x07"
                          "01/02/2012")
            << QList<SentItem>{{QStringLiteral("1"), QStringLiteral("m"), date},
                               {QStringLiteral("2"), QStringLiteral("n"), date}};
        QTest::newRow("big-endian mark is just two letters")
            << QByteArray("\xfe\xff\x0bm\x07"
                          "01/02/2012\r\n")
            << QList<SentItem>{{QStringLiteral("\u00fe\u00ff"), QStringLiteral("m"), date}};
        QTest::newRow("one byte of the mark") << QByteArray("\xff") << QList<SentItem>{};
    }

    void withoutByteOrderMarkReadAsWindows1252()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<SentItem>, expected);
        const QString path = fileForThisCase();
        QVERIFY(writeFile(path, bytes));
        bool unicode = true;
        readLines(path, &unicode);
        QVERIFY(!unicode);
        QCOMPARE(DataFiles::LoadSentItems(path), expected);
    }

    // UTF-16 text that lost its mark comes back as single bytes, line for line.
    void unicodeTextWithoutMark()
    {
        const QString path = fileForThisCase();
        const QByteArray bytes =
            utf16(recordLine(QStringLiteral("1"), QStringLiteral("m")) + recordLine(QStringLiteral("2"), {}));
        QVERIFY(writeFile(path, bytes));
        QCOMPARE(readLines(path), linesOfWholeFile(bytes));
        checkParsedItems(DataFiles::LoadSentItems(path));
    }

    void binaryJunk_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("withMark");
        QTest::addColumn<bool>("recordLike");
        for (quint32 seed = 1; seed <= 6; ++seed) {
            for (bool withMark : {true, false}) {
                for (bool recordLike : {false, true}) {
                    QTest::addRow("seed %u %s %s", seed, withMark ? "mark" : "no-mark",
                                  recordLike ? "record-like" : "random")
                        << seed << withMark << recordLike;
                }
            }
        }
    }

    void binaryJunk()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, withMark);
        QFETCH(bool, recordLike);
        QRandomGenerator rng(seed);
        // Over three read chunks, and of odd length every other seed.
        const qsizetype size = 3 * 65536 + 1000 + rng.bounded(5000) * 2 + (seed % 2);
        QByteArray bytes = withMark ? kBom : QByteArray();
        static const char16_t interesting[] = {0x000A, 0x000D, 0x0007, 0x000B, 0xD800, 0xDC00, 0x0000,
                                               u'|',   u'A',   u'1',   0x20AC, 0xFFFE, 0xFEFF};
        while (bytes.size() < size) {
            if (recordLike && rng.bounded(2) == 0) {
                const char16_t u = interesting[rng.bounded(int(std::size(interesting)))];
                bytes.append(char(u & 0xff));
                bytes.append(char(u >> 8));
            } else {
                bytes.append(char(rng.bounded(256)));
            }
        }
        bytes.truncate(size);
        const QString path = fileForThisCase();
        QVERIFY(writeFile(path, bytes));

        QCOMPARE(readLines(path), linesOfWholeFile(bytes));
        checkParsedItems(DataFiles::LoadSentItems(path));
        const QStringList templates = DataFiles::LoadTemplates(path);
        QCOMPARE(QSet<QString>(templates.cbegin(), templates.cend()).size(), templates.size());
        QVERIFY(DataFiles::ReadExclusionFile(path).has_value());
    }

    void millionUnitLineComesBackWhole()
    {
        const QString path = fileForThisCase();
        const QString& alphabet = cp1252Alphabet();
        QString message(1000000, Qt::Uninitialized);
        for (qsizetype i = 0; i < message.size(); ++i) {
            QChar c = alphabet.at(i % alphabet.size());
            message[i] = c == QLatin1Char('\n') ? QLatin1Char('n') : c;
        }
        const QString text = recordLine(QStringLiteral("1"), QStringLiteral("before")) +
                             recordLine(QStringLiteral("2"), message) +
                             recordLine(QStringLiteral("3"), QStringLiteral("after"));
        QVERIFY(writeFile(path, kBom + utf16(text)));
        const QList<SentItem> items = DataFiles::LoadSentItems(path);
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[1].message.size(), message.size());
        QVERIFY(items[1].message == message);
        QCOMPARE(items[2].message, QStringLiteral("after"));
    }

    void lineLongerThanCapIsDropped()
    {
        const QString path = fileForThisCase();
        const QString text = recordLine(QStringLiteral("1"), QStringLiteral("before")) +
                             recordLine(QStringLiteral("2"), QString(kCap + 50000, QLatin1Char('z'))) +
                             recordLine(QStringLiteral("3"), QStringLiteral("after"));
        QVERIFY(writeFile(path, kBom + utf16(text)));
        const QList<SentItem> items = DataFiles::LoadSentItems(path);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].number, QStringLiteral("1"));
        QCOMPARE(items[1].number, QStringLiteral("3"));
        QCOMPARE(items[1].message, QStringLiteral("after"));
    }

    // The cap counts the units of the line without its line end, wherever the
    // line starts in the file: a line is kept or dropped by its length alone.
    void capIsExact_data()
    {
        QTest::addColumn<bool>("unicode");
        QTest::addColumn<qsizetype>("lead");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<bool>("kept");
        for (bool unicode : {true, false}) {
            for (qsizetype lead : {qsizetype(0), qsizetype(5), qsizetype(20000), qsizetype(32766)}) {
                for (qsizetype extra : {qsizetype(0), qsizetype(1)}) {
                    QTest::addRow("%s lead %lld cap+%lld", unicode ? "utf16" : "bytes", qlonglong(lead),
                                  qlonglong(extra))
                        << unicode << lead << kCap + extra << (extra == 0);
                }
            }
        }
    }

    void capIsExact()
    {
        QFETCH(bool, unicode);
        QFETCH(qsizetype, lead);
        QFETCH(qsizetype, length);
        QFETCH(bool, kept);
        const QString path = fileForThisCase();
        const QString first(lead, QLatin1Char('a'));
        const QString text =
            first + QStringLiteral("\r\n") + QString(length, QLatin1Char('b')) + QStringLiteral("\r\nafter\r\n");
        QVERIFY(writeFile(path, unicode ? kBom + utf16(text) : text.toLatin1()));
        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), kept ? 3 : 2);
        QCOMPARE(lines.first(), first);
        QCOMPARE(lines.last(), QStringLiteral("after"));
        if (kept)
            QCOMPARE(lines.at(1).size(), length);
    }

    void randomRecordsRoundTrip_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {7u, 42u, 1234u, 99991u, 31337u, 2024u})
            QTest::addRow("seed %u", seed) << seed;
    }

    void randomRecordsRoundTrip()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        QFile::remove(DataFiles::sentItemsPath());
        QVERIFY(DataFiles::EnsureDataFiles().ok());

        QList<SentItem> expected;
        for (int i = 0; i < 150; ++i) {
            const QDate date = randomDate(rng);
            const SentItem item{randomNumber(rng), randomMessage(rng), date.toString(QStringLiteral("dd/MM/yyyy"))};
            QVERIFY(DataFiles::AppendSentItem(item.number, item.message, date));
            expected.append(item);
        }
        QCOMPARE(DataFiles::LoadSentItems(), expected);

        std::shuffle(expected.begin(), expected.end(), rng);
        expected.resize(rng.bounded(1, int(expected.size())));
        QCOMPARE(DataFiles::RewriteSentItems(expected), QString());
        QCOMPARE(DataFiles::LoadSentItems(), expected);

        // Appends after a rewrite land behind the rewritten records.
        const SentItem extra{randomNumber(rng), randomMessage(rng), QStringLiteral("29/02/2012")};
        QVERIFY(DataFiles::AppendSentItem(extra.number, extra.message, QDate(2012, 2, 29)));
        expected.append(extra);
        QCOMPARE(DataFiles::LoadSentItems(), expected);
    }
};

QTEST_GUILESS_MAIN(TestRecordRobustness)
#include "test_recordrobustness.moc"
