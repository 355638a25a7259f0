#include "GuiTestSupport.h"
#include "TextSamples.h"

#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "platform/TextCodec.h"
#include "store/CStdioFileEx.h"
#include "store/DataFiles.h"
#include "store/dialogs/CViewTemplates.h"
#include "store/dialogs/ListModels.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

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

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestViewTemplates : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<QWidget> m_main;
    CMy_Sel_All_Edit* m_composer = nullptr;
    std::unique_ptr<CViewTemplates> m_dlg;

    void open(const QString& fileLines)
    {
        writeBytes(DataFiles::templatesPath(), fileOf(fileLines));
        m_dlg = std::make_unique<CViewTemplates>(m_main.get(), m_composer);
        m_dlg->show();
        QTRY_VERIFY(m_dlg->isLoaded() && !m_dlg->isBusy());
    }
    QStringList rows() const { return m_dlg->model()->texts(); }
    void select(std::initializer_list<int> which)
    {
        m_dlg->list()->clearSelection();
        for (int r : which)
            m_dlg->list()->selectionModel()->select(m_dlg->model()->index(r, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Answers the next "Add Template"/"Update Template" dialog with a text; cancels it if it stays open.
    void enterText(const QString& text)
    {
        whenModal<CUpdateTemp>([text](CUpdateTemp* d) {
            d->editor()->setText(text);
            byId<QPushButton>(d, 1)->click();
            if (d->isVisible())
                d->reject();
        });
    }
    void waitIdle() { QTRY_VERIFY(!m_dlg->isBusy()); }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        QVERIFY(DataFiles::EnsureDataFiles().ok());
        m_main = std::make_unique<QWidget>();
        m_composer = new CMy_Sel_All_Edit(m_main.get());
        m_composer->setMaxLength(1600);
        new QVBoxLayout(m_main.get());
        m_main->layout()->addWidget(m_composer);
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

    void loadsEachTextOnceInOrder()
    {
        open(QStringLiteral("b\r\n\r\na\r\nb\r\nB\r\nTwo\r|AP*|DX/lines\r\n"));
        QCOMPARE(rows(), (QStringList{"a", "B", "b", "Two\r\nlines"}));
        QCOMPARE(byId<QLabel>(m_dlg.get(), 1108)->text(), QStringLiteral("Total Items : 4"));
        QCOMPARE(m_dlg->list()->selectedRowsAscending(), QList<int>{0});
    }

    void addNew_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("fileAfter");
        QTest::newRow("new text appended") << "Hi\r\nthere" << QString() << "Hello\r\nHi\r|AP*|DX/there\r\n";
        QTest::newRow("other letter case") << "hello" << QString() << "Hello\r\nhello\r\n";
        QTest::newRow("exact copy") << "Hello"
                                    << "Entered template already exists."
                                    << "Hello\r\n";
        QTest::newRow("blank") << " \r\n "
                               << "Please type template message."
                               << "Hello\r\n";
    }

    void addNew()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, fileAfter);
        open(QStringLiteral("Hello\r\n"));
        enterText(typed);
        m_dlg->OnAddNew();
        QCOMPARE(m_messages->last(), message);
        QCOMPARE(readBytes(DataFiles::templatesPath()), fileOf(fileAfter));
        QCOMPARE(m_dlg->model()->count(), message.isEmpty() ? 2 : 1);
    }

    void update()
    {
        open(QStringLiteral("b\r\na\r\n"));
        select({0});
        enterText(QStringLiteral("b"));
        m_dlg->OnUpdate();
        QCOMPARE(m_messages->last(), QStringLiteral("Entered template already exists."));

        enterText(QStringLiteral("a")); // unchanged: accepted
        m_dlg->OnUpdate();
        waitIdle();
        QCOMPARE(m_messages->shown.size(), 1);

        select({0});
        enterText(QStringLiteral("c\r\nd"));
        m_dlg->OnUpdate();
        waitIdle();
        QCOMPARE(rows(), (QStringList{"b", "c\r\nd"}));
        QCOMPARE(m_dlg->list()->selectedRowsAscending(), QList<int>{1});
        QCOMPARE(readBytes(DataFiles::templatesPath()), fileOf(QStringLiteral("b\r\nc\r|AP*|DX/d\r\n")));

        select({0, 1});
        m_dlg->OnUpdate();
        QCOMPARE(m_messages->last(), QStringLiteral("Please select only one record to update."));
    }

    void clearSelectedAndAll()
    {
        open(QStringLiteral("a\r\nb\r\nc\r\n"));
        m_dlg->list()->clearSelection();
        m_dlg->OnClearSelected();
        QCOMPARE(m_messages->last(),
                 QStringLiteral("Please select at least one record from the templates list to continue."));
        select({0, 2});
        m_dlg->OnClearSelected();
        waitIdle();
        QCOMPARE(rows(), QStringList{"b"});
        QCOMPARE(readBytes(DataFiles::templatesPath()), fileOf(QStringLiteral("b\r\n")));

        m_dlg->OnClearAll(); // answered No
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Message"));
        QCOMPARE(rows(), QStringList{"b"});
        m_messages->answer(Ui::IdYes);
        m_dlg->OnClearAll();
        waitIdle();
        QCOMPARE(readBytes(DataFiles::templatesPath()), kBom);
        m_dlg->OnClearAll();
        QCOMPARE(m_messages->last(), QStringLiteral("Templates list is empty."));
    }

    void useTemplate_data()
    {
        QTest::addColumn<QString>("composer");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selEnd");
        QTest::addColumn<QString>("templ");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("expected"); // composer afterwards
        QTest::addColumn<bool>("asked");
        const QString full(1600, QLatin1Char('t'));
        QTest::newRow("1600 into empty") << QString() << 0 << 0 << full << 0 << full << false;
        QTest::newRow("1601, Yes") << "x" << 1 << 1 << full << int(Ui::IdYes) << "x" + full.left(1599) << true;
        QTest::newRow("1601, No") << "x" << 1 << 1 << full << int(Ui::IdNo) << "x" << true;
        QTest::newRow("selection replaced") << "Hello NAME!" << 6 << 10 << "Bob" << 0 << "Hello Bob!" << false;
        QTest::newRow("caret after a line break") << "a\r\nb" << 2 << 2 << "X" << 0 << "a\r\nXb" << false;
        const QString almost(1599, QLatin1Char('x'));
        QTest::newRow("cut keeps no half line break")
            << almost << 1599 << 1599 << "\r\nyz" << int(Ui::IdYes) << almost << true;
    }

    void useTemplate()
    {
        QFETCH(QString, composer);
        QFETCH(int, selStart);
        QFETCH(int, selEnd);
        QFETCH(QString, templ);
        QFETCH(int, answer);
        QFETCH(QString, expected);
        QFETCH(bool, asked);
        m_composer->setText(composer);
        QTextCursor cursor = m_composer->textCursor();
        cursor.setPosition(selStart);
        cursor.setPosition(selEnd, QTextCursor::KeepAnchor);
        m_composer->setTextCursor(cursor);
        open(DataFiles::encodeMarkedLine(templ));
        if (answer)
            m_messages->answer(answer);
        m_dlg->OnUseTemplate();
        QCOMPARE(!m_messages->shown.isEmpty(), asked);
        const bool closed = answer != Ui::IdNo;
        QTRY_COMPARE(m_dlg->isVisible(), !closed);
        QTRY_COMPARE(m_composer->text(), expected);
        if (closed)
            QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    }

    void useTemplateNeedsOneRow()
    {
        open(QStringLiteral("a\r\nb\r\n"));
        select({0, 1});
        m_dlg->OnUseTemplate();
        QCOMPARE(m_messages->last(), QStringLiteral("Please select only one record to use template."));
        m_dlg->list()->clearSelection();
        m_dlg->OnUseTemplate();
        QCOMPARE(m_messages->last(), QStringLiteral("Please select a template message to continue."));
    }

    // Another code page: what it holds reads back, and opening and cancelling changes no byte.
    void otherCodePageSurvivesOpenAndCancel()
    {
        QVERIFY(TextCodec::setAnsiCodePage("windows-1251"));
        const QString lines = QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442\r\nsmile \U0001F600\r\n");
        open(lines);
        QVERIFY(rows().contains(QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442")));
        m_dlg->reject();
        QTRY_VERIFY(!m_dlg->isVisible());
        QCOMPARE(readBytes(DataFiles::templatesPath()), fileOf(lines));
    }

    // Every text comes back whole, and deleting another one writes the rest back byte for byte.
    void rewriteKeepsEveryCharacter()
    {
        QStringList texts;
        QString lines = QStringLiteral("delete me\r\n");
        for (const TextSample& sample : textSamples()) {
            texts.append(sample.text);
            lines += DataFiles::encodeMarkedLine(sample.text);
        }
        open(lines);
        QStringList shown = rows();
        QVERIFY(shown.removeOne(QStringLiteral("delete me")));
        QCOMPARE(QSet<QString>(shown.cbegin(), shown.cend()), QSet<QString>(texts.cbegin(), texts.cend()));

        select({int(rows().indexOf(QStringLiteral("delete me")))});
        m_dlg->OnClearSelected();
        waitIdle();
        QCOMPARE(rows(), shown);
        QString expected;
        for (const QString& t : shown)
            expected += DataFiles::encodeMarkedLine(t);
        QCOMPARE(readBytes(DataFiles::templatesPath()), fileOf(expected));
    }

    // A rewrite that fails says so, keeps the old file whole, and is tried again on closing.
    void failedRewriteIsReportedAndRetried()
    {
        open(QStringLiteral("a\r\nb\r\n"));
        auto holder = std::make_unique<CStdioFileEx>();
        QVERIFY(holder->open(DataFiles::templatesPath(), CStdioFileEx::OpenMode::Read));
        m_messages->answer(Ui::IdYes);
        m_dlg->OnClearAll();
        waitIdle();
        QVERIFY(m_messages->last().startsWith(
            QStringLiteral("The templates could not be saved, so \"Templates.ulmex\" keeps its earlier contents.")));
        holder.reset();
        QCOMPARE(readBytes(DataFiles::templatesPath()), fileOf(QStringLiteral("a\r\nb\r\n")));
        m_dlg->reject();
        QTRY_VERIFY(!m_dlg->isVisible());
        QCOMPARE(readBytes(DataFiles::templatesPath()), kBom);
    }
};

QTEST_MAIN(TestViewTemplates)
#include "test_viewtemplates.moc"
