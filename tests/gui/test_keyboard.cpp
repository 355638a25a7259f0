// The program used with the keyboard alone and read by a screen reader.
#include "GuiTestSupport.h"

#include "DialogTour.h"
#include "app/CCorvaneDlg.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/core/RecipientListModel.h"
#include "import/dialogs/CLoad_File_Msg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeySequence>
#include <QPushButton>

class TestKeyboard : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;

    // The widgets Tab reaches from the window, in order.
    static QList<QWidget*> tabChain(QWidget* window)
    {
        QList<QWidget*> chain;
        for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && !chain.contains(w))
                chain.append(w);
        }
        return chain;
    }

    static bool hasMnemonic(const QString& text) { return !QKeySequence::mnemonic(text).isEmpty(); }

private slots:
    void init() { m_folders = std::make_unique<TestFolders>(); }
    void cleanup() { m_folders.reset(); }

    // A filled list is no trap: Tab goes on, Shift+Tab goes back, the arrows
    // move between rows, and typing neither edits nor triggers anything.
    void tabLeavesTheRecipientList()
    {
        MessageRecorder messages;
        CCorvaneDlg main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QApplication::setActiveWindow(&main);
        main.recipients()->appendRecipients({{QStringLiteral("111"), QStringLiteral("a")},
                                             {QStringLiteral("222"), QStringLiteral("b")},
                                             {QStringLiteral("333"), QStringLiteral("c")}});
        CMyListCtrl* list = main.recipientList();
        list->setFocus();
        QTRY_VERIFY(list->hasFocus());

        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 2);
        QVERIFY(list->hasFocus());
        for (const char* letters : {"u", "abc", " "})
            QTest::keyClicks(list, QString::fromLatin1(letters));
        QVERIFY(list->hasFocus());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(messages.shown.isEmpty());

        const QList<QWidget*> chain = tabChain(&main);
        const qsizetype at = chain.indexOf(list);
        QVERIFY(at > 0 && at + 1 < chain.size());
        QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), chain.at(at + 1));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("1135")); // Update Selected Messages
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), chain.at(at - 1));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), chain.at(at + 1));
        QCOMPARE(main.recipients()->count(), 3);
    }

    void shareButtonsAreNamed()
    {
        CCorvaneDlg main;
        const QStringList expected = {QStringLiteral("Share on Facebook"), QStringLiteral("Share on Twitter"),
                                      QStringLiteral("Share on Google+"), QStringLiteral("Share on Like")};
        QStringList names;
        for (int id : {1211, 1212, 1213, 1215})
            names.append(QAccessible::queryAccessibleInterface(byId(&main, id))->text(QAccessible::Name));
        QCOMPARE(names, expected);
    }

    // Enter in the clear-or-append question keeps the list.
    void clearOrAppendDefaultsToKeeping()
    {
        CLoad_File_Msg enter(nullptr);
        enter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&enter));
        QTest::keyClick(&enter, Qt::Key_Return);
        QCOMPARE(enter.result(), int(CLoad_File_Msg::Append));

        // Clearing stays one access key away.
        QCOMPARE(QKeySequence::mnemonic(byId<QPushButton>(&enter, 1)->text()), QKeySequence(Qt::ALT | Qt::Key_Y));
    }

    // Every button and check box of every dialog is reached by Tab or has an
    // access key; every link is reached by Tab.
    void everyControlIsReachable()
    {
        QStringList unreachable;
        int dialogs = 0;
        tourDialogs(QString::fromLocal8Bit(qgetenv("VEVA_SMS_APP_DIR")), [&](QWidget* dialog, const QString& name) {
            ++dialogs;
            const QList<QWidget*> chain = tabChain(dialog);
            for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
                if (!b->isVisible() || !b->isEnabled() ||
                    !(qobject_cast<QPushButton*>(b) || qobject_cast<QCheckBox*>(b)))
                    continue;
                if (!chain.contains(b) && !hasMnemonic(b->text()))
                    unreachable.append(name + QStringLiteral(": ") + b->objectName() + QLatin1Char(' ') + b->text());
            }
            for (CColorStatic* link : dialog->findChildren<CColorStatic*>()) {
                if (link->isClickable() && link->isVisible() && !chain.contains(link))
                    unreachable.append(name + QStringLiteral(": link ") + link->text());
            }
        });
        QVERIFY2(dialogs > 30, qPrintable(QString::number(dialogs)));
        QVERIFY2(unreachable.isEmpty(), qPrintable(unreachable.join(QLatin1Char('\n'))));
    }

    // Tab goes along a row of buttons in the order it is read, left to right (the
    // support link beside them may come before or after the row).
    void tabReadsEachRowLeftToRight()
    {
        QStringList backwards;
        tourDialogs(QString::fromLocal8Bit(qgetenv("VEVA_SMS_APP_DIR")), [&](QWidget* dialog, const QString& name) {
            QList<QWidget*> row;
            for (QWidget* w : tabChain(dialog))
                if (qobject_cast<QPushButton*>(w))
                    row.append(w);
            for (qsizetype i = 0; i < row.size(); ++i) {
                for (qsizetype j = i + 1; j < row.size(); ++j) {
                    const QRect a(row[i]->mapTo(dialog, QPoint()), row[i]->size());
                    const QRect b(row[j]->mapTo(dialog, QPoint()), row[j]->size());
                    if (std::abs(a.center().y() - b.center().y()) <= 4 && b.left() < a.left())
                        backwards.append(QStringLiteral("%1: %2 before %3")
                                             .arg(name, row[i]->accessibleName(), row[j]->accessibleName()));
                }
            }
        });
        QVERIFY2(backwards.isEmpty(), qPrintable(backwards.join(QLatin1Char('\n'))));
    }

    // Enter in a dialog just opened presses its button, never the support link
    // that would start a mail program.
    void enterInANewDialogIsNoLink()
    {
        QStringList onLinks;
        tourDialogs(QString::fromLocal8Bit(qgetenv("VEVA_SMS_APP_DIR")), [&](QWidget* dialog, const QString& name) {
            QApplication::setActiveWindow(dialog);
            QApplication::processEvents();
            if (auto* link = qobject_cast<CColorStatic*>(dialog->focusWidget()); link && link->isClickable())
                onLinks.append(name);
        });
        QVERIFY2(onLinks.isEmpty(), qPrintable(onLinks.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
