#include "GuiTestSupport.h"

#include "app/CCorvaneDlg.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/core/RecipientListModel.h"
#include "platform/Shell.h"
#include "store/DataFiles.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    int m_exitCode = -1;

    CSpecialEdit* number() { return byId<CSpecialEdit>(m_dlg.get(), 1001); }
    CMy_Sel_All_Edit* composer() { return byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005); }
    QCheckBox* check(int id) { return byId<QCheckBox>(m_dlg.get(), id); }
    QString label(int id) { return byId<QLabel>(m_dlg.get(), id)->text(); }
    RecipientListModel* rows() { return m_dlg->recipients(); }

    void typeAndAdd(const QString& text)
    {
        number()->setText(text);
        byId<QPushButton>(m_dlg.get(), 1002)->click();
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        m_exitCode = -1;
        CCorvaneDlg::setExitHandler([this](int code) { m_exitCode = code; });
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        QVERIFY(m_messages->shown.isEmpty());
    }

    void cleanup()
    {
        m_dlg.reset();
        m_messages.reset();
        m_folders.reset();
        CCorvaneDlg::setExitHandler({});
    }

    void startsWithItsControlsInPlace()
    {
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Ulmex Veva SMS - BlackBerry Mobile Phones"));
        QCOMPARE(label(1011), QStringLiteral("Total Numbers : 0"));
        QCOMPARE(label(1012), QStringLiteral("0 Characters "));
        QCOMPARE(label(1081), QStringLiteral("No Mobile Phone Device is selected."));
        QCOMPARE(label(1016), QStringLiteral("Mobile Device is not ready... For More Information, Click here"));
        QVERIFY(!byId<QComboBox>(m_dlg.get(), 1028)->isEnabled());
        QCOMPARE(byId<QComboBox>(m_dlg.get(), 1029)->currentIndex(), -1);
        QVERIFY(!byId<QPushButton>(m_dlg.get(), 1010)->isVisible());
        QVERIFY(!check(1136)->isVisible());
        QCOMPARE(number()->maxLength(), 20);
        auto* list = byId<CMyListCtrl>(m_dlg.get(), 1004);
        QVERIFY(list->isColumnShown(0) && list->isColumnShown(1));
        for (int c = 2; c < 6; ++c)
            QVERIFY(!list->isColumnShown(c));
        // An international number is read whole, not cut with an ellipsis.
        QVERIFY(list->horizontalHeader()->sectionSize(0) >= 100);
        QVERIFY(list->fontMetrics().horizontalAdvance(QStringLiteral("00447700900123")) + 8 <=
                list->horizontalHeader()->sectionSize(0));
        // Every control can be found by assistive technology.
        for (QWidget* w : m_dlg->findChildren<QWidget*>()) {
            if (qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QComboBox*>(w))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
        QVERIFY(QFile::exists(DataFiles::sentItemsPath()));
    }

    void typedNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plus becomes 00") << QStringLiteral("+441234") << QStringLiteral("00441234");
        QTest::newRow("plus inside") << QStringLiteral("44+12") << QString();
        QTest::newRow("two plus") << QStringLiteral("++44") << QString();
        QTest::newRow("21 characters after 00") << (QStringLiteral("+") + QString(19, QLatin1Char('5'))) << QString();
        QTest::newRow("blank") << QStringLiteral("   ") << QString();
    }

    void typedNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        typeAndAdd(typed);
        if (stored.isEmpty()) {
            QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Please enter a valid phone number.")});
            QCOMPARE(rows()->count(), 0);
            QCOMPARE(number()->text(), typed); // the rejected text stays for correcting
        } else {
            QVERIFY(m_messages->shown.isEmpty());
            QCOMPARE(rows()->number(0), stored);
            QVERIFY(number()->text().isEmpty());
        }
        QVERIFY(number()->hasFocus());
    }

    void newRowsGoOnTopWithTheComposerText()
    {
        composer()->setText(QStringLiteral("Hello\r\nparents"));
        typeAndAdd(QStringLiteral("111"));
        typeAndAdd(QStringLiteral("222"));
        QCOMPARE(rows()->count(), 2);
        QCOMPARE(rows()->number(0), QStringLiteral("222"));
        QCOMPARE(rows()->message(0), QStringLiteral("Hello\r\nparents"));
        QCOMPARE(label(1011), QStringLiteral("Total Numbers : 2"));
        // The first rows count as carrying the applied text.
        QCOMPARE(m_dlg->m_strAppliedMessage, QStringLiteral("Hello\r\nparents"));
    }

    void duplicatesFollowTheOption()
    {
        typeAndAdd(QStringLiteral("123"));
        typeAndAdd(QStringLiteral("123"));
        QCOMPARE(rows()->count(), 2);
        check(1014)->setChecked(true);
        typeAndAdd(QStringLiteral("123"));
        QCOMPARE(rows()->count(), 2);
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number already exists."));
    }

    void duplicateWinsOverExclusion()
    {
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::exclusionListPath(QStringLiteral("Staff")), {QStringLiteral("777")}));
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::inUseListPath(), {QStringLiteral("Staff")}));
        typeAndAdd(QStringLiteral("777"));
        check(1169)->setChecked(true); // loads the exclusion numbers
        QCOMPARE(m_dlg->exclusionCache().numbers(), QStringList{QStringLiteral("777")});
        check(1014)->setChecked(true);
        typeAndAdd(QStringLiteral("777"));
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number already exists."));
        typeAndAdd(QStringLiteral("888"));
        QCOMPARE(rows()->count(), 2);
        check(1014)->setChecked(false);
        typeAndAdd(QStringLiteral("777"));
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number is in exclusion list."));
        QCOMPARE(rows()->count(), 2);
    }

    void unreadableInUseListIsReported()
    {
        QFile::remove(DataFiles::inUseListPath());
        QVERIFY(QDir().mkdir(DataFiles::inUseListPath())); // a folder where the file should be
        check(1169)->setChecked(true);
        QCOMPARE(m_messages->last(), QStringLiteral("Error in file accessing."));
        QVERIFY(m_dlg->exclusionCache().numbers().isEmpty());
    }

    void numberEditFiltersTyping()
    {
        number()->setFocus();
        QTest::keyClicks(number(), QStringLiteral("12a 3"));
        QCOMPARE(number()->text(), QStringLiteral("123"));
        QCOMPARE(m_messages->texts(), (QStringList{QStringLiteral("Invalid number."), QStringLiteral("Invalid number.")}));
    }

    void numberEditChecksPastes()
    {
        number()->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("12a"));
        QTest::keySequence(number(), QKeySequence::Paste);
        QCOMPARE(number()->text(), QString());
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Invalid number.")});

        QGuiApplication::clipboard()->setText(QStringLiteral("+4455\r\n"));
        QTest::keySequence(number(), QKeySequence::Paste);
        QCOMPARE(number()->text(), QStringLiteral("+4455"));
        QCOMPARE(m_messages->shown.size(), 1);
    }

    void enterInTheNumberEditAdds()
    {
        number()->setFocus();
        QTest::keyClicks(number(), QStringLiteral("5551"));
        QTest::keyClick(number(), Qt::Key_Return);
        QCOMPARE(rows()->count(), 1);
        // A blank number and Enter do nothing at all.
        QTest::keyClick(number(), Qt::Key_Return);
        QVERIFY(m_messages->shown.isEmpty());
        QVERIFY(m_dlg->isVisible());
    }

    void counterWarnsOnceUntilAccepted()
    {
        int warnings = 0;
        auto okNext = [&] {
            whenModal<CLong_SMS_Dlg>([&](CLong_SMS_Dlg* d) {
                ++warnings;
                QTest::keyClick(d, Qt::Key_Escape); // Escape counts as OK
            });
        };
        composer()->setText(QString(160, QLatin1Char('a')));
        QCOMPARE(label(1012), QStringLiteral("160 Characters"));
        okNext();
        composer()->setText(QString(161, QLatin1Char('a')));
        QTRY_COMPARE(warnings, 1);
        QCOMPARE(label(1012), QStringLiteral("161 Characters (Each Message will now consume 2 SMS)"));
        composer()->setText(QString(321, QLatin1Char('a')));
        QCOMPARE(label(1012), QStringLiteral("321 Characters (Each Message will now consume 3 SMS)"));
        QCOMPARE(warnings, 1);
        composer()->setText(QString(160, QLatin1Char('a')));
        QCOMPARE(label(1012), QStringLiteral("160 Characters"));
        okNext();
        composer()->setText(QString(161, QLatin1Char('a')));
        QTRY_COMPARE(warnings, 2);
    }

    void closeBoxLeavesTheWarningArmed()
    {
        int warnings = 0;
        auto closeNext = [&] {
            whenModal<CLong_SMS_Dlg>([&](CLong_SMS_Dlg* d) {
                ++warnings;
                d->close(); // the close box
            });
        };
        closeNext();
        composer()->setText(QString(161, QLatin1Char('b')));
        QTRY_COMPARE(warnings, 1);
        QCOMPARE(label(1012), QStringLiteral("161 Characters"));
        closeNext();
        composer()->setText(QString(162, QLatin1Char('b')));
        QTRY_COMPARE(warnings, 2);
        QCOMPARE(label(1012), QStringLiteral("162 Characters"));
    }

    void clearSelectedRemovesExactlyTheSelectedRows()
    {
        for (int i = 1; i <= 6; ++i)
            rows()->appendRecipients({{QString::number(i), QStringLiteral("m%1").arg(i)}});
        auto* list = byId<CMyListCtrl>(m_dlg.get(), 1004);
        list->selectionModel()->clearSelection();
        for (int r : {1, 4})
            list->selectionModel()->select(rows()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        byId<QPushButton>(m_dlg.get(), 1008)->click();
        QStringList left;
        for (int r = 0; r < rows()->count(); ++r)
            left.append(rows()->number(r));
        QCOMPARE(left, (QStringList{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("6")}));
        QCOMPARE(label(1011), QStringLiteral("Total Numbers : 4"));
        QVERIFY(m_messages->shown.isEmpty());

        list->clearSelection();
        byId<QPushButton>(m_dlg.get(), 1008)->click();
        QCOMPARE(m_messages->last(),
                 QStringLiteral("Please select at least one record from the recipient number list to continue."));
    }

    void clearAllAsksAndResetDoesNot()
    {
        byId<QPushButton>(m_dlg.get(), 1009)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("Phone numbers-Messages list is empty."));
        rows()->appendRecipients({{QStringLiteral("1"), QString()}, {QStringLiteral("2"), QString()}});
        m_messages->answer(Ui::IdNo);
        byId<QPushButton>(m_dlg.get(), 1009)->click();
        QCOMPARE(rows()->count(), 2);
        QCOMPARE(m_messages->shown.last().buttons, Ui::Buttons::YesNo);
        m_messages->answer(Ui::IdYes);
        byId<QPushButton>(m_dlg.get(), 1009)->click();
        QCOMPARE(rows()->count(), 0);

        rows()->appendRecipients({{QStringLiteral("3"), QString()}});
        const QList<int> options{1014, 1027, 1169, 1013, 1106, 1023}; // 1023 is never shown
        for (int id : options)
            check(id)->setChecked(true);
        QCOMPARE(byId<QComboBox>(m_dlg.get(), 1028)->currentText(), QStringLiteral("15"));
        QCOMPARE(byId<QComboBox>(m_dlg.get(), 1029)->currentText(), QStringLiteral(" 2  Minutes"));
        composer()->setText(QStringLiteral("text"));
        m_messages->clear();
        byId<QPushButton>(m_dlg.get(), 1025)->click();
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(rows()->count(), 0);
        for (int id : options)
            QVERIFY2(!check(id)->isChecked(), qPrintable(QString::number(id)));
        QCOMPARE(byId<QComboBox>(m_dlg.get(), 1028)->currentIndex(), -1);
        QVERIFY(!byId<QComboBox>(m_dlg.get(), 1029)->isEnabled());
        QCOMPARE(label(1012), QStringLiteral("0 Characters "));
        QVERIFY(composer()->text().isEmpty());
        QVERIFY(m_dlg->m_strAppliedMessage.isEmpty());
    }

    void escapeAndEnterNeverClose()
    {
        QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        QTest::keyClick(m_dlg.get(), Qt::Key_Return);
        QTest::keyClick(byId<CMyListCtrl>(m_dlg.get(), 1004), Qt::Key_Escape);
        QVERIFY(m_dlg->isVisible());
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(m_exitCode, -1);
    }

    void exitAsksFirst()
    {
        rows()->appendRecipients({{QStringLiteral("1"), QStringLiteral("keep me")}});
        m_messages->answer(Ui::IdNo);
        m_dlg->close(); // the close box asks the same question
        QCOMPARE(m_messages->last(),
                 QStringLiteral("Do you really want to exit from 'Ulmex Veva SMS - BlackBerry Mobile Phones'?"));
        QCOMPARE(m_exitCode, -1);
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(rows()->count(), 1);

        m_messages->answer(Ui::IdYes);
        byId<QPushButton>(m_dlg.get(), 1046)->click();
        QCOMPARE(m_exitCode, 0);
    }

    void bringToFrontRestoresAMinimisedWindow()
    {
        m_dlg->showMinimized();
        QTRY_VERIFY(m_dlg->isMinimized());
        m_dlg->bringToFront();
        QTRY_VERIFY(!m_dlg->isMinimized());
        QVERIFY(m_dlg->isVisible());
    }

    // Each link opens its own address; without a browser or mail program the
    // address is shown instead, so it can be copied.
    void linksGoThroughTheShell_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("address");
        QTest::newRow("need help") << 1055 << QStringLiteral("mailto:support@ulmex-veva.example");
        QTest::newRow("contact us") << 1095 << QStringLiteral("https://www.ulmex-veva.example/contact");
        QTest::newRow("f") << 1211
                           << QStringLiteral(
                                  "https://www.facebook.com/sharer/sharer.php?u=https://www.ulmex-veva.example/");
        QTest::newRow("t") << 1212
                           << QStringLiteral("https://twitter.com/intent/tweet?url=https://www.ulmex-veva.example/");
        QTest::newRow("g+") << 1213 << QStringLiteral("https://www.ulmex-veva.example/share");
        QTest::newRow("like") << 1215 << QStringLiteral("https://www.ulmex-veva.example/like");
    }

    void linksGoThroughTheShell()
    {
        QFETCH(int, id);
        QFETCH(QString, address);
        struct RecordingShell : DesktopShell
        {
            QStringList opened;
            bool canStart = true;
            bool openUrl(const QString& url) override
            {
                opened << url;
                return canStart;
            }
            bool openMail(const QString& to, const QString&) override
            {
                opened << QStringLiteral("mailto:") + to;
                return canStart;
            }
        } shell;
        Shell::setInstance(&shell);
        auto click = [&] {
            if (auto* link = byId<CColorStatic>(m_dlg.get(), id))
                emit link->clicked();
            else
                byId<QPushButton>(m_dlg.get(), id)->click();
        };
        click();
        QCOMPARE(shell.opened, QStringList{address});
        QVERIFY(m_messages->shown.isEmpty());

        shell.canStart = false;
        click();
        Shell::setInstance(nullptr);
        QCOMPARE(m_messages->shown.size(), 1);
        QVERIFY2(m_messages->last().contains(address.mid(address.startsWith(QLatin1String("mailto:")) ? 7 : 0)),
                 qPrintable(m_messages->last()));
    }

    // The real shell with no xdg-open to be found.
    void noBrowserShowsTheAddress()
    {
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path()));
        emit byId<CColorStatic>(m_dlg.get(), 1055)->clicked();
        byId<QPushButton>(m_dlg.get(), 1095)->click();
        qputenv("PATH", path);
        QCOMPARE(m_messages->texts(),
                 (QStringList{QStringLiteral("No mail program could be started.\n\nPlease write to:\n"
                                             "support@ulmex-veva.example"),
                              QStringLiteral("No web browser could be started to open the page.\n\nPlease open this "
                                             "address yourself:\nhttps://www.ulmex-veva.example/contact")}));
    }

    // A screen reader hears the changing texts themselves.
    void changingTextsAreSpoken()
    {
        typeAndAdd(QStringLiteral("12345"));
        composer()->setText(QStringLiteral("Hello"));
        m_dlg->setDeviceLine(QStringLiteral("Emulated handset (2A3B4C5D)"));
        QCOMPARE(spoken(byId(m_dlg.get(), 1011)), QStringLiteral("Total Numbers : 1|Total Numbers"));
        QCOMPARE(spoken(byId(m_dlg.get(), 1012)), label(1012) + QStringLiteral("|Character counter"));
        QVERIFY(label(1012).startsWith(QStringLiteral("5 Characters")));
        QCOMPARE(spoken(byId(m_dlg.get(), 1081)), QStringLiteral("Emulated handset (2A3B4C5D)|Selected Mobile Device"));
    }

    // A command offered to the window runs from its button while it lives;
    // once it ends, the button says the feature is not there, unless another
    // command took the button since. The window ends its commands before
    // itself, so a command's last steps still find the window whole.
    void offeredCommandsRunWhileTheyLive()
    {
        auto* exportButton = byId<QPushButton>(m_dlg.get(), 1133);
        const QString missing = QStringLiteral("\"Export\" is not available in this version yet.");
        int firstRuns = 0, secondRuns = 0;
        auto* first = new QObject(m_dlg.get());
        m_dlg->provideCommand(CommandHost::Command::Export, first, [&] { ++firstRuns; });
        exportButton->click();
        QCOMPARE(firstRuns, 1);

        auto* second = new QObject(m_dlg.get());
        m_dlg->provideCommand(CommandHost::Command::Export, second, [&] { ++secondRuns; });
        delete first;
        exportButton->click();
        QCOMPARE(secondRuns, 1);
        QVERIFY(m_messages->shown.isEmpty());

        delete second;
        exportButton->click();
        QCOMPARE(m_messages->last(), missing);
        QCOMPARE(firstRuns + secondRuns, 2);

        // Ending the window ends the command first, with the list still there.
        int rowsSeen = -1;
        struct Command : QObject
        {
            std::function<void()> atEnd;
            using QObject::QObject;
            ~Command() override { atEnd(); }
        };
        auto* last = new Command(m_dlg.get());
        last->atEnd = [&, window = m_dlg.get()] { rowsSeen = window->recipients()->count(); };
        m_dlg->provideCommand(CommandHost::Command::Export, last, [] {});
        typeAndAdd(QStringLiteral("12345"));
        m_dlg.reset();
        QCOMPARE(rowsSeen, 1);
    }

    void existingDataFolderIsLeftUnchanged()
    {
        QVERIFY(DataFiles::AppendSentItem(QStringLiteral("1"), QStringLiteral("x"), QDate(2020, 1, 1)));
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::exclusionIndexPath(), {QStringLiteral("L")}));
        auto snapshot = [] {
            QStringList out;
            for (const QString& p : {DataFiles::sentItemsPath(), DataFiles::templatesPath(), DataFiles::inUseListPath(),
                                     DataFiles::exclusionIndexPath()}) {
                QFile f(p);
                out.append(f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().toHex()) : QStringLiteral("-"));
            }
            return out;
        };
        const QStringList before = snapshot();
        CCorvaneDlg second;
        second.initialise();
        QCOMPARE(snapshot(), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
