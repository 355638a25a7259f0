#include "GuiTestSupport.h"

#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "sending/dialogs/CDeviceIni.h"
#include "sending/dialogs/CModeless.h"
#include "sending/dialogs/CSend_Msg_Info.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWindow>

class TestRunDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init() { g_bStopRequested = false; }

    void progressFollowsTheRows()
    {
        g_bStopRequested = true;
        CModeless dlg(nullptr);
        QVERIFY2(!g_bStopRequested, "a new run starts without a pending Stop");
        QCOMPARE(dlg.statusLine(), QStringLiteral("Wait"));
        QVERIFY(!dlg.isPauseLineVisible());

        dlg.setupRun(3, QStringLiteral("0044123"));
        QCOMPARE(dlg.totalText(), QStringLiteral("3"));
        QCOMPARE(dlg.counterText(), QStringLiteral("1/3 Message"));
        QCOMPARE(dlg.statusLine(), QStringLiteral("Currently sending to : 0044123"));
        QCOMPARE(dlg.overallValue(), 0);
        QCOMPARE(dlg.overallMaximum(), 3);

        const QStringList numbers{QStringLiteral("0044123"), QStringLiteral("555-1"), QStringLiteral("777")};
        for (int row = 0; row < numbers.size(); ++row) {
            dlg.setActivity(35);
            dlg.showRow(row, 3, numbers[row]);
            QCOMPARE(dlg.overallValue(), row + 1);
            QCOMPARE(dlg.activityValue(), 100);
            QCOMPARE(dlg.counterText(), QStringLiteral("%1/3 Message").arg(row + 1));
            QCOMPARE(spoken(byId(&dlg, 1064)), QStringLiteral("%1/3 Message|Message counter").arg(row + 1));
            QCOMPARE(dlg.statusLine(), QStringLiteral("Currently sending to : ") + numbers[row]);
        }

        // A second run in the same window starts its bar from the beginning.
        dlg.setupRun(10, QStringLiteral("1"));
        QCOMPARE(dlg.overallValue(), 0);
        // The bar and the counter always tell the same row.
        dlg.showRow(6, 10, QStringLiteral("7"));
        QCOMPARE(dlg.overallValue(), 7);
        dlg.setupRun(10, QStringLiteral("1"));
        QCOMPARE(dlg.overallMaximum(), 10);
        QCOMPARE(dlg.counterText(), QStringLiteral("1/10 Message"));
    }

    // A line per lane: a few lanes show whole, a hundred scroll, and Stop stays on a small screen.
    void laneLinesFitTheScreen()
    {
        CModeless dlg(nullptr);
        const int plain = dlg.height();
        dlg.setupLanes({QStringLiteral("COM7"), QStringLiteral("COM8"), QStringLiteral("COM9")});
        const int three = dlg.height();
        QVERIFY(three > plain);
        dlg.setLaneText(1, QStringLiteral("Sent to 0044123 (4 sent)"));
        QCOMPARE(dlg.laneText(1), QStringLiteral("COM8: Sent to 0044123 (4 sent)"));
        QCOMPARE(dlg.height(), three);
        auto* area = dlg.findChild<QScrollArea*>(QStringLiteral("Lanes"));
        QVERIFY(area->isVisibleTo(&dlg));
        QCOMPARE(area->verticalScrollBar()->maximum(), 0);

        QStringList names;
        for (int i = 1; i <= 100; ++i)
            names.append(QStringLiteral("gateway %1").arg(i));
        dlg.setupLanes(names);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY2(dlg.height() < 768 - 60, qPrintable(QString::number(dlg.height())));
        QTRY_VERIFY(area->verticalScrollBar()->maximum() > 0);
        QCOMPARE(dlg.laneCount(), 100);
        // Back to one modem's run: no lane lines, the window as before.
        dlg.setupLanes({});
        QVERIFY(!area->isVisibleTo(&dlg));
        QCOMPARE(dlg.height(), plain);
    }

    void activityTickWrapsAndEmptiesThePauseLine()
    {
        CModeless dlg(nullptr);
        dlg.setPauseLineVisible(true);
        dlg.setPauseText(QStringLiteral("Pausing the process for 1 Minute 5 Second."));
        dlg.setActivity(0);
        for (int tick = 1; tick <= 20; ++tick)
            dlg.stepActivity();
        QCOMPARE(dlg.activityValue(), 100);
        dlg.stepActivity();
        QCOMPARE(dlg.activityValue(), 0);
        dlg.stepActivity();
        QCOMPARE(dlg.activityValue(), 5);
        QVERIFY(dlg.pauseText().isEmpty());
        QVERIFY2(dlg.isPauseLineVisible(), "the tick empties the line but leaves it where it is");
        dlg.setActivity(98);
        dlg.stepActivity();
        QCOMPARE(dlg.activityValue(), 0);
    }

    void onlyFinishClosesIt()
    {
        CModeless dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QTest::keyClick(&dlg, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.close());
        QVERIFY(dlg.isVisible());
        dlg.finish();
        QVERIFY(!dlg.isVisible());
    }

    void stopOnlyReportsThePress()
    {
        CModeless dlg(nullptr);
        QSignalSpy stop(&dlg, &CModeless::stopRequested);
        dlg.show();
        byId<QPushButton>(&dlg, 1067)->click();
        QCOMPARE(stop.count(), 1);
        QVERIFY2(!g_bStopRequested, "the owner decides after asking");
        QVERIFY(dlg.isVisible());
    }

    void staysUsableAboveADisabledOwner()
    {
        QWidget owner;
        owner.resize(600, 400);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        CModeless progress(&owner);
        CDeviceIni device(&owner);
        owner.setEnabled(false);
        progress.show();
        device.show();
        QVERIFY(progress.isEnabled());
        QVERIFY(byId<QPushButton>(&progress, 1067)->isEnabled());
        QCOMPARE(progress.windowHandle()->transientParent(), owner.windowHandle());
        QCOMPARE(device.windowHandle()->transientParent(), owner.windowHandle());
        QTest::keyClick(&device, Qt::Key_Escape);
        QVERIFY(device.isVisible());
    }

    // A box stands on its own above a disabled owner; it still opens in the middle of it.
    void messageAboveADisabledOwnerIsCentredOnIt()
    {
        QWidget owner;
        owner.setGeometry(40, 40, 900, 600);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        owner.setEnabled(false);
        QRect shown;
        whenModal<QMessageBox>([&](QMessageBox* box) {
            shown = box->frameGeometry();
            box->accept();
        });
        Ui::messageBox(&owner,
                       QStringLiteral("Either Mobile Phone Device is not connected properly or it is being used by "
                                      "another application.\n\nPlease check the connection and try again."),
                       QStringLiteral("Message"), Ui::Buttons::Ok, Ui::Icon::Information);
        QVERIFY(!shown.isEmpty());
        const QPoint off = shown.center() - owner.frameGeometry().center();
        QVERIFY2(off.manhattanLength() <= 8, qPrintable(QStringLiteral("%1, %2 off the centre").arg(off.x()).arg(off.y())));
    }

    void sendQuestionResults_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("Yes") << QStringLiteral("1") << CSend_Msg_Info::Yes;
        QTest::newRow("Continue Anyway") << QStringLiteral("2") << CSend_Msg_Info::ContinueAnyway;
        QTest::newRow("Cancel") << QStringLiteral("1114") << CSend_Msg_Info::Cancelled;
        QTest::newRow("close box") << QString() << CSend_Msg_Info::Cancelled;
        QTest::newRow("Escape") << QStringLiteral("Escape") << CSend_Msg_Info::Cancelled;
    }
    void sendQuestionResults()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        CSend_Msg_Info dlg;
        QCOMPARE(dlg.choice(), 0);
        byId<QRadioButton>(&dlg, 1165)->click();
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.open();
        if (button.isEmpty())
            dlg.close();
        else if (button == QLatin1String("Escape"))
            QTest::keyClick(&dlg, Qt::Key_Escape);
        else
            dlg.findChild<QPushButton*>(button)->click();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), result);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.choice(), 1);
        dlg.setChoice(0);
        QVERIFY(byId<QRadioButton>(&dlg, 1164)->isChecked());
    }
};

QTEST_MAIN(TestRunDialogs)
#include "test_rundialogs.moc"
