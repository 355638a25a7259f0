#include "GuiTestSupport.h"

#include "app/controls/CColorStatic.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"

#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QToolTip>

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void longSmsDialogTexts()
    {
        CLong_SMS_Dlg d160(nullptr, 160);
        QVERIFY(d160.shownText().startsWith(
            QStringLiteral("Your current message is exceeding the typical SMS Length of 160")));
        CLong_SMS_Dlg d70(nullptr, 70);
        QVERIFY(d70.shownText().contains(QStringLiteral("Unicode SMS (non-English text SMS) Length of 70")));
        CLong_SMS_Dlg notice(nullptr, 0, QStringLiteral("Caller text"));
        QCOMPARE(notice.shownText(), QStringLiteral("Caller text"));
        QCOMPARE(spoken(byId(&notice, 1132)), QStringLiteral("Caller text|Information"));
        QCOMPARE(notice.windowTitle(), QStringLiteral("Information"));
    }

    void longSmsDialogEscapeIsOkCloseIsCancel()
    {
        CLong_SMS_Dlg byEscape(nullptr, 160);
        QTimer::singleShot(0, &byEscape, [&] { QTest::keyClick(&byEscape, Qt::Key_Escape); });
        QCOMPARE(byEscape.exec(), int(QDialog::Accepted));
        CLong_SMS_Dlg byClose(nullptr, 160);
        QTimer::singleShot(0, &byClose, [&] { byClose.close(); });
        QCOMPARE(byClose.exec(), int(QDialog::Rejected));
    }

    // The fill column takes the rest of the width: no horizontal scroll bar,
    // whether other columns widen, hide, or a vertical scroll bar appears.
    void fillColumnLeavesNoHorizontalScrolling()
    {
        QStandardItemModel model(3, 3);
        CMyListCtrl list;
        list.setModel(&model);
        list.resize(400, 200);
        list.setColumnWidthChecked(0, 100);
        list.setColumnWidthChecked(2, 80);
        list.setFillColumn(1);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto* header = list.horizontalHeader();
        auto fills = [&] { return header->length() == list.viewport()->width(); };
        QTRY_VERIFY(fills());
        QCOMPARE(header->sectionSize(1), list.viewport()->width() - 180);

        list.setColumnWidthChecked(0, 150);
        QVERIFY(fills());
        list.hideColumnAt(2);
        QVERIFY(fills());
        model.setRowCount(200); // a vertical scroll bar narrows the viewport
        QTRY_VERIFY(list.verticalScrollBar()->isVisible());
        QTRY_VERIFY(fills());
        QCOMPARE(list.horizontalScrollBar()->maximum(), 0);
        // Others wider than the list: the fill column keeps its width and the list scrolls.
        list.setColumnWidthChecked(0, 1000);
        QTRY_VERIFY(list.horizontalScrollBar()->maximum() > 0);
    }

    void listRefusesNarrowAndHiddenWidths()
    {
        QStandardItemModel model(3, 3);
        CMyListCtrl list;
        list.setModel(&model);
        list.show();
        QVERIFY(list.setColumnWidthChecked(0, 120));
        QVERIFY(!list.setColumnWidthChecked(0, 19));
        QCOMPARE(list.horizontalHeader()->sectionSize(0), 120);
        // A drag of the divider below 20 pixels springs back.
        list.horizontalHeader()->resizeSection(0, 5);
        QCOMPARE(list.horizontalHeader()->sectionSize(0), 120);

        list.hideColumnAt(1);
        QVERIFY(!list.isColumnShown(1));
        QVERIFY(!list.setColumnWidthChecked(1, 300));
        QCOMPARE(list.horizontalHeader()->visualIndex(1), 0);
        list.showColumnAt(1);
        QVERIFY(list.isColumnShown(1));
        QCOMPARE(list.horizontalHeader()->visualIndex(1), 1);
    }

    void listTipsShowAtMostEightyCharacters()
    {
        QStandardItemModel model(2, 1);
        model.setItem(0, 0, new QStandardItem(QString(200, QLatin1Char('z'))));
        model.setItem(1, 0, new QStandardItem(QString()));
        CMyListCtrl list;
        list.setModel(&model);
        list.setColumnWidthChecked(0, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto tipAt = [&](int row) {
            const QPoint pos = list.visualRect(model.index(row, 0)).center();
            QHelpEvent help(QEvent::ToolTip, pos, list.viewport()->mapToGlobal(pos));
            QApplication::sendEvent(list.viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(0), QString(80, QLatin1Char('z')));
        tipAt(1); // an empty cell has no tip: the old one goes away
        QTRY_VERIFY(!QToolTip::isVisible());
    }

    void specialEditRefusesClipboardWithoutText()
    {
        MessageRecorder messages;
        CSpecialEdit edit;
        edit.setFormat(std::make_unique<DecimalFormat>());
        QVERIFY(!edit.checkedPaste(QString(), false));
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Invalid number.")});
        QVERIFY(edit.checkedPaste(QStringLiteral("12\t3\n")));
        QCOMPARE(edit.text(), QStringLiteral("123"));
    }

    // A letter typed in a number field is refused aloud; Alt with a letter is an
    // access key of the window, even one nobody took, and passes on silently.
    void specialEditRefusesLettersButNotAccessKeys()
    {
        MessageRecorder messages;
        CSpecialEdit edit;
        edit.setFormat(std::make_unique<DecimalFormat>());
        QTest::keyClicks(&edit, QStringLiteral("12"));
        QTest::keyClick(&edit, Qt::Key_W, Qt::AltModifier);
        QTest::keyClick(&edit, Qt::Key_Q, Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(messages.texts().isEmpty());
        QTest::keyClick(&edit, Qt::Key_W);
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Invalid number.")});
        QCOMPARE(edit.text(), QStringLiteral("12"));
    }

    // Enter in a number field does what the field was given to do; a field given
    // nothing leaves Enter to its dialog's default button.
    void specialEditEnterGoesToItsDialogUnlessTaken()
    {
        QDialog dialog;
        auto* edit = new CSpecialEdit(&dialog);
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        int pressed = 0;
        QObject::connect(ok, &QPushButton::clicked, [&] { ++pressed; });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(pressed, 1);

        int taken = 0;
        QObject::connect(edit, &CSpecialEdit::returnPressedInEdit, [&] { ++taken; });
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(taken, 1);
        QCOMPARE(pressed, 1);
    }

    void selectAllEditUsesCrLfAndKeepsItsLimit()
    {
        CMy_Sel_All_Edit edit;
        edit.setMaxLength(10);
        edit.setText(QStringLiteral("ab\r\ncd"));
        QCOMPARE(edit.text(), QStringLiteral("ab\r\ncd"));
        QCOMPARE(edit.toPlainText(), QStringLiteral("ab\ncd"));
        edit.setText(QString(15, QLatin1Char('q')));
        QCOMPARE(edit.text().size(), 10);
        edit.setText(QStringLiteral("12345678"));
        edit.insertPlainText(QStringLiteral("\n9")); // CR LF counts two: only the line break fits
        QCOMPARE(edit.text(), QStringLiteral("12345678\r\n"));
    }

    void colorStaticClicks()
    {
        CColorStatic link(QStringLiteral("Need help?"));
        QSignalSpy clicked(&link, &CColorStatic::clicked);
        link.resize(100, 20);
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);
        link.setClickable(true);
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    }

    // Reached with Tab, a link looks focused; a plain label never takes the focus.
    void linkShowsItsFocus()
    {
        QWidget window;
        auto* before = new QPushButton(QStringLiteral("Before"), &window);
        auto* link = CColorStatic::makeLink(QStringLiteral("Need help? Click here to contact us."),
                                            QStringLiteral("link"), &window);
        link->move(0, 40);
        link->resize(260, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        before->setFocus();
        QTRY_VERIFY(before->hasFocus());
        const QImage unfocused = link->grab().toImage();
        QTest::keyClick(before, Qt::Key_Tab);
        QTRY_VERIFY(link->hasFocus());
        QVERIFY(link->grab().toImage() != unfocused);
        QTest::keyClick(link, Qt::Key_Tab);
        QTRY_VERIFY(!link->hasFocus());
        QCOMPARE(link->grab().toImage(), unfocused);
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
