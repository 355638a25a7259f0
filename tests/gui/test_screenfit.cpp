// The main window on common screens: a laptop's 1366×768 with a panel, and
// 1920×1080 at 150 %, both with a title bar.
#include "GuiTestSupport.h"

#include "app/CCorvaneDlg.h"
#include "app/core/RecipientListModel.h"

#include <QLayout>
#include <QScreen>
#include <QWindow>

class TestScreenFit : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;

    // What a desktop leaves for the window's contents: a 48-pixel panel, a
    // 36-pixel title bar and 4-pixel borders, in logical pixels.
    static QSize roomOn(QSize screenPixels, qreal scale)
    {
        const QSize logical(qFloor(screenPixels.width() / scale), qFloor(screenPixels.height() / scale));
        return logical - QSize(8, qCeil(48 / scale) + 36 + 4);
    }

private slots:
    void init() { m_folders = std::make_unique<TestFolders>(); }
    void cleanup() { m_folders.reset(); }

    void minimumSizeFitsCommonScreens_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<qreal>("scale");
        QTest::newRow("1366x768") << QSize(1366, 768) << 1.0;
        QTest::newRow("1920x1080 at 150 %") << QSize(1920, 1080) << 1.5;
    }

    void minimumSizeFitsCommonScreens()
    {
        QFETCH(QSize, screen);
        QFETCH(qreal, scale);
        CCorvaneDlg main;
        main.recipients()->appendRecipients({{QStringLiteral("00441234567"), QStringLiteral("Hello")}});
        const QSize least = main.minimumSize();
        const QSize room = roomOn(screen, scale);
        // The layout really goes down to that size: nothing below it overlaps.
        main.resize(least);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTRY_COMPARE(main.size(), least);
        QVERIFY(main.layout()->minimumSize().height() <= least.height());
        QVERIFY2(least.width() <= room.width() && least.height() <= room.height(),
                 qPrintable(QStringLiteral("needs %1x%2, has %3x%4")
                                .arg(least.width())
                                .arg(least.height())
                                .arg(room.width())
                                .arg(room.height())));
    }

    // The offscreen screen (800 pixels wide) is narrower than the default size: the
    // window starts within it, title bar included, yet not below its minimum.
    void startsWithinTheScreen()
    {
        CCorvaneDlg main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QRect free = main.screen()->availableGeometry();
        QVERIFY2(free.width() < 880 || free.height() < 680 + 40, "the test needs a screen smaller than the window");
        const QSize least = main.minimumSize();
        QCOMPARE(main.height(), std::max(least.height(), std::min(680, free.height() - 40)));
        QCOMPARE(main.width(), std::max(least.width(), std::min(880, free.width() - 16)));
    }

    // A frame placed partly off the free area comes back on it; the title bar wins
    // where the frame is taller than the area.
    void frameComesBackOnScreen_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("title bar above the screen") << QRect(232, -16, 882, 705) << QPoint(232, 24);
        QTest::newRow("already on screen") << QRect(100, 40, 882, 705) << QPoint(100, 40);
        QTest::newRow("below the bottom") << QRect(100, 200, 882, 705) << QPoint(100, 768 - 705);
        QTest::newRow("past the right and left edges") << QRect(900, 30, 882, 705) << QPoint(1366 - 882, 30);
        QTest::newRow("taller and wider than the area") << QRect(-40, -30, 1500, 900) << QPoint(0, 24);
    }
    void frameComesBackOnScreen()
    {
        QFETCH(QRect, frame);
        QFETCH(QPoint, placed);
        const QRect belowPanel(0, 24, 1366, 744);
        QCOMPARE(CCorvaneDlg::FramePlacedOnScreen(frame, belowPanel), placed);
    }
};

QTEST_MAIN(TestScreenFit)
#include "test_screenfit.moc"
