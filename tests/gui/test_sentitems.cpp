#include "GuiTestSupport.h"
#include "TextSamples.h"

#include "app/controls/CMyListCtrl.h"
#include "platform/TextCodec.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"
#include "store/dialogs/CSent_Items.h"
#include "store/dialogs/ListModels.h"

#include <QApplication>
#include <QFile>
#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

using DataFiles::SentItem;

namespace {

const QByteArray kBom("\xff\xfe", 2);

QByteArray fileOf(const QString& lines)
{
    return kBom + QByteArray(reinterpret_cast<const char*>(lines.utf16()), lines.size() * 2);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString record(const QString& number, const QString& message, const QString& date)
{
    return DataFiles::encodeMarkedLine(QChar(7) + number + QChar(0x0B) + message + QChar(7) + date);
}

QString fiveRecords()
{
    QString lines;
    for (int i = 1; i <= 5; ++i)
        lines += record(QString::number(i), QStringLiteral("m%1").arg(i), QStringLiteral("0%1/03/2012").arg(i));
    return lines;
}

} // namespace

class TestSentItems : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<CSent_Items> m_dlg;

    void write(const QByteArray& bytes)
    {
        QFile f(DataFiles::sentItemsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void open()
    {
        m_dlg = std::make_unique<CSent_Items>(m_main.get());
        m_dlg->show();
        QTRY_VERIFY(m_dlg->isLoaded() && !m_dlg->isBusy());
    }
    void close()
    {
        m_dlg->reject();
        QTRY_VERIFY(!m_dlg->isVisible());
    }
    void select(std::initializer_list<int> which)
    {
        m_dlg->list()->clearSelection();
        for (int r : which)
            m_dlg->list()->selectionModel()->select(m_dlg->model()->index(r, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList numbers() const
    {
        QStringList out;
        for (const SentItem& item : m_dlg->model()->items())
            out.append(item.number);
        return out;
    }
    QString total() const { return byId<QLabel>(m_dlg.get(), 1102)->text(); }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        m_main = std::make_unique<QWidget>();
        m_main->show();
    }
    void cleanup()
    {
        m_dlg.reset();
        m_main.reset();
        m_messages.reset();
        m_folders.reset();
        TextCodec::setAnsiCodePage("windows-1252");
    }

    void newInstallationIsEmpty()
    {
        open();
        QCOMPARE(m_dlg->model()->count(), 0);
        QCOMPARE(total(), QStringLiteral("Total Items : 0"));
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), kBom);
        m_dlg->OnClearAll();
        m_dlg->OnClearSelected();
        m_dlg->OnExport();
        QCOMPARE(m_messages->texts(), QStringList(3, QStringLiteral("Sent items list is empty.")));
    }

    void details()
    {
        write(fileOf(record(QStringLiteral("12345"), QStringLiteral("Hi\r\nthere"), QStringLiteral("07/03/2012")) +
                     record(QStringLiteral("678"), QString(), QStringLiteral("08/03/2012"))));
        open();
        QCOMPARE(total(), QStringLiteral("Total Items : 2"));
        select({0});
        QCOMPARE(m_dlg->detailsText(),
                 QStringLiteral("Number\t:  12345\r\n\r\nMessage\t:  Hi\r\nthere\r\n\r\nDate\t:  07/03/2012"));
        select({0, 1});
        QCOMPARE(m_dlg->detailsText(), QString());
        select({1});
        QVERIFY(m_dlg->detailsText().startsWith(QStringLiteral("Number\t:  678")));
    }

    // A message too long for one line wraps under its first word, not under "Message", and
    // so do its further lines; the text itself is unchanged.
    void wrappedLinesHangUnderTheValue()
    {
        const QString longText = QStringLiteral("Dear parents, the school will be closed tomorrow because of the "
                                                "storm warning; lessons start again on Monday at nine.");
        write(fileOf(record(QStringLiteral("12345"), longText + QStringLiteral("\r\nThanks"),
                            QStringLiteral("07/03/2012"))));
        open();
        select({0});
        auto* details = byId<QTextEdit>(m_dlg.get(), 1068);
        QVERIFY(m_dlg->detailsText().contains(QStringLiteral("Message\t:  ") + longText + QStringLiteral("\r\nThanks")));
        details->document()->documentLayout(); // lays the document out
        QTextBlock message = details->document()->begin();
        while (message.isValid() && !message.text().startsWith(QStringLiteral("Message")))
            message = message.next();
        QVERIFY(message.isValid());
        QTextLayout* layout = message.layout();
        QVERIFY2(layout->lineCount() > 1, "the message should wrap in the details box");
        const qsizetype valueAt = message.text().indexOf(QStringLiteral("Dear"));
        const qreal valueX = layout->lineAt(0).cursorToX(int(valueAt));
        QVERIFY(valueX > 20);
        QCOMPARE(qRound(layout->lineAt(1).x()), qRound(valueX));
        const QTextBlock further = message.next();
        QCOMPARE(further.text(), QStringLiteral("Thanks"));
        QCOMPARE(qRound(further.layout()->lineAt(0).x()), qRound(valueX));
    }

    // Deletions stay in the list until the dialog closes; then the file holds the rest, in order.
    void clearSelectedWritesOnClose()
    {
        write(fileOf(fiveRecords()));
        open();
        select({0, 2, 4});
        m_dlg->OnClearSelected();
        QCOMPARE(numbers(), (QStringList{"2", "4"}));
        QCOMPARE(total(), QStringLiteral("Total Items : 2"));
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), fileOf(fiveRecords()));
        m_dlg->list()->clearSelection();
        m_dlg->OnClearSelected();
        QCOMPARE(m_messages->last(),
                 QStringLiteral("Please select at least one record from the sent items list to continue."));
        close();
        QCOMPARE(readBytes(DataFiles::sentItemsPath()),
                 fileOf(record("2", "m2", "02/03/2012") + record("4", "m4", "04/03/2012")));
    }

    void clearAll()
    {
        write(fileOf(fiveRecords()));
        open();
        m_dlg->OnClearAll(); // No
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Confirm"));
        QCOMPARE(m_dlg->model()->count(), 5);
        m_messages->answer(Ui::IdYes);
        m_dlg->OnClearAll();
        QTRY_VERIFY(!m_dlg->isBusy());
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), kBom);
        close();
        open();
        QCOMPARE(m_dlg->model()->count(), 0);
    }

    // Opening and closing without a change leaves every byte: other code pages, long-form records.
    void unchangedFileIsNotRewritten()
    {
        QVERIFY(TextCodec::setAnsiCodePage("windows-1251"));
        const QString message = QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442 \u00e9");
        const QString lines = record(QStringLiteral("1"), message, QStringLiteral("07/03/2012")) +
                              QStringLiteral("\a2\vlong form\a08/03/2012\v\r\n");
        write(fileOf(lines));
        open();
        QCOMPARE(m_dlg->model()->item(0).message, message);
        close();
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), fileOf(lines));
    }

    // Every character is read as stored, and deleting another record writes back the others' bytes unchanged.
    void rewriteKeepsEveryCharacter_data()
    {
        QTest::addColumn<QString>("message");
        for (const TextSample& sample : textSamples())
            QTest::newRow(sample.name) << sample.text;
    }

    void rewriteKeepsEveryCharacter()
    {
        QFETCH(QString, message);
        const QString kept = record(QStringLiteral("2"), message, QStringLiteral("07/03/2012")) +
                             record(QStringLiteral("3"), QStringLiteral("after"), QStringLiteral("08/03/2012"));
        write(fileOf(record(QStringLiteral("1"), QStringLiteral("delete me"), QStringLiteral("06/03/2012")) + kept));
        open();
        QCOMPARE(m_dlg->model()->item(1).message, message);
        select({1});
        QVERIFY(m_dlg->detailsText().contains(message));
        select({0});
        m_dlg->OnClearSelected();
        close();
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), fileOf(kept));
    }

    // A failed write on closing keeps the old file byte for byte; Retry saves once the file is free.
    void failedWriteOnClose()
    {
        write(fileOf(fiveRecords()));
        open();
        select({0});
        m_dlg->OnClearSelected();
        auto holder = std::make_unique<CStdioFileEx>();
        QVERIFY(holder->open(DataFiles::sentItemsPath(), CStdioFileEx::OpenMode::Read));
        m_messages->answer(Ui::IdCancel);
        close();
        QCOMPARE(m_messages->shown.last().buttons, Ui::Buttons::RetryCancel);
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), fileOf(fiveRecords()));

        holder.reset();
        open();
        select({0});
        m_dlg->OnClearSelected();
        holder = std::make_unique<CStdioFileEx>();
        QVERIFY(holder->open(DataFiles::sentItemsPath(), CStdioFileEx::OpenMode::Read));
        // The file is still held when the question comes; Retry after letting it go.
        Ui::setMessageBoxHook([&holder](QWidget*, const QString&, const QString&, Ui::Buttons buttons, Ui::Icon) {
            holder.reset();
            return buttons == Ui::Buttons::RetryCancel ? int(Ui::IdRetry) : int(Ui::IdOk);
        });
        m_dlg->reject();
        QTRY_VERIFY_WITH_TIMEOUT(!m_dlg->isVisible(), 10000);
        QCOMPARE(DataFiles::LoadSentItems().size(), 4);
    }

    // While the first load still reads, closing is refused and the rows then come in whole. A dialog
    // destroyed meanwhile drops what was read, leaves the file alone and takes the wait cursor with it.
    void closedWhileTheFirstLoadReads()
    {
        write(fileOf(fiveRecords()));
        auto holder = std::make_unique<CStdioFileEx>(); // the read retries while it is held
        QVERIFY(holder->open(DataFiles::sentItemsPath(), CStdioFileEx::OpenMode::Read));
        m_dlg = std::make_unique<CSent_Items>(m_main.get());
        m_dlg->show();
        QTRY_VERIFY(m_dlg->isBusy());
        m_dlg->reject();
        QVERIFY(!m_dlg->close());
        QVERIFY(m_dlg->isVisible());
        holder.reset();
        QTRY_VERIFY(m_dlg->isLoaded() && !m_dlg->isBusy());
        QCOMPARE(numbers(), (QStringList{"1", "2", "3", "4", "5"}));
        QCOMPARE(total(), QStringLiteral("Total Items : 5"));
        QVERIFY(m_messages->shown.isEmpty());
        close();

        holder = std::make_unique<CStdioFileEx>();
        QVERIFY(holder->open(DataFiles::sentItemsPath(), CStdioFileEx::OpenMode::Read));
        m_dlg = std::make_unique<CSent_Items>(m_main.get());
        m_dlg->show();
        QTRY_VERIFY(m_dlg->isBusy());
        holder.reset();
        m_dlg.reset();
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), fileOf(fiveRecords()));
    }

    // A file that could not be read is never replaced by the empty list shown.
    void unreadableFileIsLeftAlone()
    {
        write(fileOf(fiveRecords()));
        CStdioFileEx holder;
        QVERIFY(holder.open(DataFiles::sentItemsPath(), CStdioFileEx::OpenMode::Read));
        open();
        holder.close();
        QCOMPARE(m_dlg->model()->count(), 0);
        close();
        QCOMPARE(readBytes(DataFiles::sentItemsPath()), fileOf(fiveRecords()));
    }
};

QTEST_MAIN(TestSentItems)
#include "test_sentitems.moc"
