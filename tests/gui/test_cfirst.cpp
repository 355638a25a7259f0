#include "GuiTestSupport.h"

#include "app/controls/SupportLinks.h"
#include "app/controls/CColorStatic.h"
#include "app/core/AppState.h"
#include "device/dialogs/CFirst.h"
#include "platform/Shell.h"

#include <QPushButton>
#include <QSignalSpy>

namespace {

class RecordingShell : public Shell
{
public:
    bool openUrl(const QString& url) override
    {
        urls.append(url);
        return true;
    }
    bool openMail(const QString& address, const QString&) override
    {
        mails.append(address);
        return true;
    }
    bool openFile(const QString&) override { return true; }
    bool startHidden(const QString&, const QString&) override { return true; }
    int runBatchHidden(const QString&, int) override { return 0; }
    QStringList urls;
    QStringList mails;
};

} // namespace

class TestCFirst : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<RecordingShell> m_shell;

    // Opens the advice as the device routine does, with a fast search tick.
    void openAdvice(CFirst& dlg)
    {
        dlg.setProbeInterval(5);
        dlg.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    }
    void knowEverything()
    {
        g_strDevicePin.set(QStringLiteral("2A3B4C5D"));
        g_strDesktopManager.set(QString::fromLatin1(kDesktopManagerSeen));
        g_bHandsetLost = false;
    }

private slots:
    void init()
    {
        m_main = std::make_unique<QWidget>();
        m_main->resize(700, 500);
        m_main->show();
        g_pMainDlg = m_main.get();
        m_shell = std::make_unique<RecordingShell>();
        Shell::setInstance(m_shell.get());
        g_bAdviceDialogOpen = false;
        g_bHandsetLost = false;
        g_bPinProbeOnly = false;
        g_bStopRequested = false;
        g_strDevicePin.clear();
        g_strDesktopManager.clear();
    }
    void cleanup()
    {
        Shell::setInstance(nullptr);
        g_pMainDlg = nullptr;
        m_main.reset();
        m_shell.reset();
    }

    void closesOnceTheHandsetAnswers_data()
    {
        QTest::addColumn<bool>("pin");
        QTest::addColumn<bool>("service");
        QTest::addColumn<bool>("lost");
        QTest::newRow("no PIN") << false << true << false;
        QTest::newRow("no device service") << true << false << false;
        QTest::newRow("handset marked lost") << true << true << true;
    }
    // Searches until PIN, device service and a present handset are all known, then closes by itself.
    void closesOnceTheHandsetAnswers()
    {
        QFETCH(bool, pin);
        QFETCH(bool, service);
        QFETCH(bool, lost);
        if (pin)
            g_strDevicePin.set(QStringLiteral("2A3B4C5D"));
        if (service)
            g_strDesktopManager.set(QStringLiteral("/opt/device-service"));
        g_bHandsetLost = lost;

        CFirst dlg(m_main.get());
        QSignalSpy finished(&dlg, &QDialog::finished);
        openAdvice(dlg);
        QVERIFY(!m_main->isEnabled());
        QVERIFY2(g_bStopRequested, "a running send stops while the handset is away");
        // Each tick sets the probe mark again; three of them pass without closing.
        for (int tick = 0; tick < 3; ++tick) {
            QVERIFY(dlg.isVisible());
            g_bPinProbeOnly = false;
            QTRY_VERIFY(g_bPinProbeOnly);
        }
        QVERIFY(g_bAdviceDialogOpen);

        knowEverything();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(dlg.result(), 0);
        QVERIFY(!g_bAdviceDialogOpen);
        QVERIFY(m_main->isEnabled());
    }

    void retrySearchesAgain()
    {
        g_strDevicePin.set(QStringLiteral("2A3B4C5D"));
        g_bHandsetLost = true;
        CFirst dlg(m_main.get());
        openAdvice(dlg);
        QTRY_VERIFY(dlg.searchProgress() > 0);
        g_bPinProbeOnly = false;
        byId<QPushButton>(&dlg, 1)->click();
        QVERIFY(g_strDevicePin.isEmpty());
        QVERIFY(!g_bHandsetLost);
        QVERIFY(g_bPinProbeOnly);
        QCOMPARE(dlg.searchProgress(), 0);
        QVERIFY(dlg.isVisible());

        QTest::keyClick(&dlg, Qt::Key_Return);
        QVERIFY2(dlg.isVisible(), "Enter retries, it does not close the advice");
    }

    void cancelGivesUp_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << QStringLiteral("Cancel");
        QTest::newRow("close box") << QStringLiteral("close");
        QTest::newRow("Escape") << QStringLiteral("Escape");
    }
    void cancelGivesUp()
    {
        QFETCH(QString, how);
        CFirst dlg(m_main.get());
        QSignalSpy finished(&dlg, &QDialog::finished);
        openAdvice(dlg);
        QVERIFY(!m_main->isEnabled());
        if (how == QLatin1String("Cancel"))
            byId<QPushButton>(&dlg, 2)->click();
        else if (how == QLatin1String("close"))
            dlg.close();
        else
            QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), CFirst::Cancelled);
        QVERIFY(m_main->isEnabled());
        QVERIFY(!g_bAdviceDialogOpen);
    }

    void secondAdviceGivesWayAtOnce()
    {
        CFirst first(m_main.get());
        openAdvice(first);
        QVERIFY(!m_main->isEnabled());

        CFirst second(m_main.get());
        QTimer::singleShot(5000, &second, [&second] { second.done(99); }); // keeps a failure from hanging
        QCOMPARE(second.exec(), 0);
        QVERIFY(m_main->isEnabled());

        m_main->setEnabled(false);
        CFirst third(m_main.get());
        QSignalSpy finished(&third, &QDialog::finished);
        third.open();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(m_main->isEnabled());

        QVERIFY2(g_bAdviceDialogOpen, "the first advice is still the one on screen");
        QVERIFY(first.isVisible());
        first.reject();
        QVERIFY(!g_bAdviceDialogOpen);
    }

    void linksOpenThroughTheShell()
    {
        CFirst dlg(m_main.get());
        openAdvice(dlg);
        QTest::mouseClick(byId<CColorStatic>(&dlg, 1099), Qt::LeftButton);
        QTest::mouseClick(byId<CColorStatic>(&dlg, 1101), Qt::LeftButton);
        QTest::mouseClick(byId<CColorStatic>(&dlg, 1104), Qt::LeftButton);
        QCOMPARE(m_shell->urls, (QStringList{CFirst::downloadPage(), CFirst::searchPage(), Support::website()}));
        QTest::mouseClick(byId<CColorStatic>(&dlg, 1102), Qt::LeftButton);
        QCOMPARE(m_shell->mails, QStringList{Support::mailAddress()});

        bool helpShown = false;
        whenModal<HelpSupportDialog>([&helpShown](HelpSupportDialog* help) {
            helpShown = true;
            help->accept();
        });
        QTest::mouseClick(byId<CColorStatic>(&dlg, 1103), Qt::LeftButton);
        QVERIFY(helpShown);
        QVERIFY(dlg.isVisible());
        dlg.reject();
    }
};

QTEST_MAIN(TestCFirst)
#include "test_cfirst.moc"
