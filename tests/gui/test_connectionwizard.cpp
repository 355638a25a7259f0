#include "GuiTestSupport.h"

#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/core/AppState.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnection.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/PortScan.h"
#include "platform/PortMap.h"
#include "platform/Shell.h"
#include "platform/serial/PortLock.h"
#include "tools/common/EmulatedModem.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Mode = EmulatedModem::Config::Mode;

EmulatedModem::Config modemConfig(Mode mode = Mode::Normal)
{
    EmulatedModem::Config c;
    c.mode = mode;
    return c;
}

class RecordingShell : public Shell
{
public:
    bool openUrl(const QString&) override { return true; }
    bool openMail(const QString& address, const QString&) override
    {
        mails.append(address);
        return true;
    }
    bool openFile(const QString&) override { return true; }
    bool startHidden(const QString&, const QString&) override { return true; }
    int runBatchHidden(const QString&, int) override { return 0; }
    QStringList mails;
};

const QString kNotWorking = QStringLiteral("Selected device is not working properly.");

} // namespace

class TestConnectionWizard : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    QMap<int, std::shared_ptr<EmulatedModem>> m_modems;

    // Port numbers far above the machine's serial and ACM ports.
    EmulatedModem* addPort(int number, const EmulatedModem::Config& config, const QString& description = {})
    {
        auto modem = std::make_shared<EmulatedModem>(config);
        QString error;
        if (!modem->start(&error))
            qFatal("emulated modem: %s", qPrintable(error));
        if (!PortMap::publish({number, modem->devicePath(), description}, &error))
            qFatal("port map: %s", qPrintable(error));
        m_modems.insert(number, modem);
        return modem.get();
    }

    // Answering modems reply at once, so a generous probe time-out costs only
    // the silent ports; it keeps a loaded machine from reading a slow answer as none.
    static void setTiming(int settleMs, int selectionTimeoutMs = 1000)
    {
        ScanTiming t;
        t.settleMs = settleMs;
        t.probeTimeoutMs = 1500;
        t.selectionTimeoutMs = selectionTimeoutMs;
        ScanTiming::setCurrent(t);
    }

    static CMyListCtrl* list(CConnection* d) { return byId<CMyListCtrl>(d, 1047); }
    static QString text(CConnection* d, int id) { return byId<QLineEdit>(d, id)->text(); }
    static int rowOf(CConnection* d, int number)
    {
        const auto* model = list(d)->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->index(r, 0).data().toString() == QStringLiteral("COM%1").arg(number))
                return r;
        }
        return -1;
    }
    static QString cell(CConnection* d, int number, int column)
    {
        const int r = rowOf(d, number);
        return r < 0 ? QStringLiteral("<no row>") : list(d)->model()->index(r, column).data().toString();
    }
    static bool waitForScan(CConnection* d)
    {
        return QTest::qWaitFor([d] { return !d->isScanning(); }, 20000);
    }
    // Rows of the given ports; the machine may list serial ports of its own.
    static int rowsOf(CConnection* d, const QList<int>& numbers)
    {
        int n = 0;
        for (int number : numbers)
            n += rowOf(d, number) >= 0 ? 1 : 0;
        return n;
    }
    static void select(CConnection* d, int number) { list(d)->selectOnly(rowOf(d, number)); }
    static void verifyIdle(CConnection* d)
    {
        QVERIFY(list(d)->isEnabled());
        QVERIFY(byId<QPushButton>(d, 1)->isEnabled());
        QVERIFY(byId<QPushButton>(d, 1036)->isEnabled());
        QVERIFY(!byId<QPushButton>(d, 1000)->isEnabled());
        QCOMPARE(byId<QProgressBar>(d, 1041)->value(), 0);
    }

    static void verifyReleased(const QList<int>& numbers)
    {
        for (int number : numbers) {
            CSMSSerialPort port;
            try {
                port.Open(number, 100);
            } catch (const CSMSException& e) {
                QFAIL(qPrintable(QStringLiteral("COM%1 still held: %2").arg(number).arg(e.errorMessage())));
            }
        }
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        setTiming(10);
        g_strDevicePin.set(QStringLiteral("2100000A"));
        g_bDeviceSelected = false;
        g_strDeviceName.clear();
    }
    void cleanup()
    {
        for (int number : m_modems.keys())
            PortMap::withdraw(number);
        m_modems.clear();
        m_messages.reset();
        m_folders.reset();
    }

    void scanShowsWhatEachPortAnswers()
    {
        auto* normal = addPort(101, modemConfig());
        auto* described = addPort(102, modemConfig(), QStringLiteral("Communications Port (COM102)"));
        addPort(103, modemConfig(Mode::EchoOnly));
        addPort(104, modemConfig(Mode::Silent));
        addPort(105, modemConfig(), QStringLiteral("BlackBerry USB Modem"));
        const QString longName = QStringLiteral("Research In Motion BlackBerry 9700 Smartphone USB Modem (COM106)");
        addPort(106, modemConfig(), longName);

        CConnection d;
        d.show();
        QVERIFY(!byId<QPushButton>(&d, 1)->isEnabled());
        QVERIFY(!byId<QPushButton>(&d, 1036)->isEnabled());
        QVERIFY(byId<QPushButton>(&d, 1000)->isEnabled());
        QVERIFY(!list(&d)->isEnabled());
        QVERIFY(waitForScan(&d));
        verifyIdle(&d);

        QCOMPARE(cell(&d, 101, 1), QStringLiteral("9700 Modem at COM101"));
        QCOMPARE(cell(&d, 101, 2), QString());
        QCOMPARE(cell(&d, 102, 1), QStringLiteral("Communications Port (COM102)"));
        QCOMPARE(cell(&d, 102, 2), QStringLiteral("Request Timeout"));
        QCOMPARE(described->commandCount(), 0);
        // An echo of "AT" is an answer, though the model query then gets nothing.
        QCOMPARE(cell(&d, 103, 1), QStringLiteral(" Modem at COM103"));
        QCOMPARE(cell(&d, 103, 2), QString());
        QCOMPARE(cell(&d, 104, 1), QStringLiteral("Unknown Device on COM104"));
        QCOMPARE(cell(&d, 104, 2), QStringLiteral("Cannot access this port"));
        QCOMPARE(cell(&d, 105, 1), QStringLiteral("BlackBerry USB Modem"));
        QCOMPARE(cell(&d, 105, 2), QString());
        QVERIFY(rowOf(&d, 101) < rowOf(&d, 102) && rowOf(&d, 104) < rowOf(&d, 105));
        QVERIFY(normal->receivedCommands().contains("AT+GMM"));
        QCOMPARE(cell(&d, 106, 1), longName);
        // No detail or status is cut short, and the usual widths stay the least.
        QHeaderView* header = list(&d)->horizontalHeader();
        for (int column = 0; column < 3; ++column)
            QVERIFY(header->sectionSize(column) >= list(&d)->contentWidth(column));
        QVERIFY(header->sectionSize(1) >= 200 && header->sectionSize(2) >= 250);

        // Every port was let go: each can be opened again at once.
        verifyReleased({101, 103, 104, 105});
    }

    // A port another program holds, by its UUCP lock or the exclusive flag, is
    // listed in use and never probed; the lock of a program that is gone is not held.
    void portsHeldElsewhereAreListedInUse()
    {
        QTemporaryDir locks;
        qputenv("VEVA_SMS_LOCK_DIR", QFile::encodeName(locks.path()));
        auto* locked = addPort(106, modemConfig());
        auto* exclusive = addPort(107, modemConfig());
        auto* stale = addPort(108, modemConfig());
        QProcess holder;
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("printf '%10d\\n' $$ > '%1'; exec sleep 30")
                                                .arg(PortLock::lockFileFor(locked->devicePath()))});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(PortLock::holderOf(locked->devicePath()) == holder.processId());
        QFile staleLock(PortLock::lockFileFor(stale->devicePath()));
        QVERIFY(staleLock.open(QIODevice::WriteOnly));
        staleLock.write("2147483647\n"); // above any PID the kernel gives
        staleLock.close();
        const int fd = ::open(QFile::encodeName(exclusive->devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
        {
            CConnection d;
            d.show();
            QVERIFY(waitForScan(&d));
            for (int number : {106, 107}) {
                QCOMPARE(cell(&d, number, 1), QStringLiteral("Unknown Device on COM%1").arg(number));
                QCOMPARE(cell(&d, number, 2), QStringLiteral("In use by another program"));
            }
            QCOMPARE(cell(&d, 108, 1), QStringLiteral("9700 Modem at COM108"));
            QCOMPARE(cell(&d, 108, 2), QString());
            QCOMPARE(locked->commandCount(), 0);
            QCOMPARE(exclusive->commandCount(), 0);
            select(&d, 106);
            QVERIFY(!d.isQuerying());
            byId<QPushButton>(&d, 1)->click();
            QCOMPARE(m_messages->last(), kNotWorking);
            QCOMPARE(locked->commandCount(), 0);
        }
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        holder.kill();
        holder.waitForFinished();
        QVERIFY(!QFile::exists(staleLock.fileName()));
        qunsetenv("VEVA_SMS_LOCK_DIR");
    }

    void selectionQueriesTheDeviceAndOkSelectsIt()
    {
        addPort(111, modemConfig());
        addPort(112, modemConfig(Mode::Silent));
        CConnection d;
        d.show();
        QVERIFY(waitForScan(&d));

        select(&d, 112);
        QCOMPARE(text(&d, 1068), QStringLiteral("COM112"));
        QCOMPARE(text(&d, 1069), QStringLiteral("Unknown Device on COM112"));
        QVERIFY(!d.isQuerying());
        byId<QPushButton>(&d, 1)->click();
        QCOMPARE(m_messages->last(), kNotWorking);
        QVERIFY(d.isVisible());

        select(&d, 111);
        QCOMPARE(text(&d, 1068), QStringLiteral("COM111"));
        QTRY_COMPARE_WITH_TIMEOUT(text(&d, 1037), QStringLiteral("Research In Motion"), 10000);
        QCOMPARE(text(&d, 1038), QStringLiteral("9700"));
        QCOMPARE(text(&d, 1069), QStringLiteral("9700 Modem at COM111"));
        // A value longer than its field shows its beginning, the whole in the tooltip.
        QCOMPARE(byId<QLineEdit>(&d, 1069)->cursorPosition(), 0);
        QCOMPARE(byId<QLineEdit>(&d, 1069)->toolTip(), QStringLiteral("9700 Modem at COM111"));
        QCOMPARE(text(&d, 1039), QStringLiteral("2100000A"));
        QVERIFY(byId<QPushButton>(&d, 1)->isEnabled());

        byId<QPushButton>(&d, 1)->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(g_bDeviceSelected);
        QCOMPARE(g_strDeviceName.get(), QStringLiteral("Research In Motion 9700 (COM111)"));
    }

    // Walking the port list with the arrow keys: the focus stays in the list while
    // each port answers, so the next arrow goes on to the next port.
    void arrowKeysWalkThePortsWhileEachAnswers()
    {
        addPort(111, modemConfig());
        addPort(112, modemConfig());
        CConnection d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QApplication::setActiveWindow(&d);
        QVERIFY(waitForScan(&d));
        select(&d, 111);
        QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);
        list(&d)->setFocus();
        QTRY_VERIFY(list(&d)->hasFocus());
        QTest::keyClick(list(&d), Qt::Key_Down);
        QCOMPARE(text(&d, 1068), QStringLiteral("COM112"));
        QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(text(&d, 1037), QStringLiteral("Research In Motion"), 10000);
        QVERIFY(list(&d)->hasFocus());
        QTest::keyClick(list(&d), Qt::Key_Up);
        QCOMPARE(text(&d, 1068), QStringLiteral("COM111"));
        QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);

        // From the port's own box Tab reaches the list of answering modems, where Space ticks one.
        auto* own = d.findChild<QCheckBox*>(QStringLiteral("SendThroughModem"));
        auto* all = d.findChild<QListWidget*>(QStringLiteral("SendThroughModems"));
        QCOMPARE(all->count(), 2);
        own->setFocus();
        QTRY_VERIFY(own->hasFocus());
        QTest::keyClick(own, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), all);
        QTest::keyClick(all, Qt::Key_Space);
        QCOMPARE(all->item(0)->checkState(), Qt::Checked);
        QTest::keyClick(all, Qt::Key_Down);
        QTest::keyClick(all, Qt::Key_Space);
        QCOMPARE(all->item(1)->checkState(), Qt::Checked);
    }

    void selectionFailureExplainsTheError()
    {
        auto* modem = addPort(113, modemConfig());
        CConnection d;
        d.show();
        QVERIFY(waitForScan(&d));
        auto config = modem->config();
        config.errorCommands = {"AT+GMM"};
        modem->setConfig(config);
        g_bDeviceSelected = true;

        select(&d, 113);
        QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);
        QCOMPARE(m_messages->last(), kNotWorking + QStringLiteral("\n\nOR\n\nDevice Connection Error : Failed to "
                                                                  "receive a response from the modem."));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Message"));
        QVERIFY(!g_bDeviceSelected);
        QCOMPARE(text(&d, 1039), QString());
        byId<QPushButton>(&d, 1)->click();
        QCOMPARE(m_messages->last(), kNotWorking);
        QVERIFY(d.isVisible());
    }

    void aModemThatTakesPduModeCanBeChosen()
    {
        addPort(131, modemConfig());
        EmulatedModem::Config noSms = modemConfig();
        noSms.errorCommands = {"AT+CMGF=0"};
        addPort(132, noSms);
        g_strDevicePin.clear(); // no handset: only a modem can be the sending device
        auto chooseIn = [this](CConnection& d, int number) {
            select(&d, number);
            QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);
            QCOMPARE(text(&d, 1038), QStringLiteral("9700"));
        };
        {
            CConnection d;
            d.show();
            QVERIFY(waitForScan(&d));
            auto* viaModem = d.findChild<QCheckBox*>(QStringLiteral("SendThroughModem"));
            chooseIn(d, 132);
            QVERIFY(!viaModem->isEnabled());
            byId<QPushButton>(&d, 1)->click();
            QCOMPARE(m_messages->last(), kNotWorking);

            chooseIn(d, 131);
            QVERIFY(viaModem->isEnabled());
            QCOMPARE(viaModem->accessibleName(), QStringLiteral("Send SMS through the GSM modem on COM131"));
            viaModem->setChecked(true);
            byId<QPushButton>(&d, 1)->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QVERIFY(g_bDeviceSelected);
        QCOMPARE(g_strDeviceName.get(), QStringLiteral("GSM modem on COM131 (Research In Motion 9700)"));
        QCOMPARE(ModemSelection::current().value_or(SelectedModem()).port, 131);

        // Choosing the handset's port without the box, or cancelling, forgets the modem.
        g_strDevicePin.set(QStringLiteral("2100000A"));
        {
            CConnection d;
            d.show();
            QVERIFY(waitForScan(&d));
            chooseIn(d, 131);
            byId<QPushButton>(&d, 1)->click();
        }
        QVERIFY(!ModemSelection::current());
        QCOMPARE(g_strDeviceName.get(), QStringLiteral("Research In Motion 9700 (COM131)"));
        ModemSelection::select({131, {}, {}});
        {
            CConnection d;
            d.show();
            QVERIFY(waitForScan(&d));
            byId<QPushButton>(&d, 2)->click();
        }
        QVERIFY(!ModemSelection::current());
        QVERIFY(!g_bDeviceSelected);
    }

    void okNeedsASelectedWorkingDevice()
    {
        auto* high = addPort(256, modemConfig());
        addPort(114, modemConfig());
        CConnection d;
        d.show();
        QVERIFY(waitForScan(&d));

        byId<QPushButton>(&d, 1)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("Please select device from list."));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Message"));
        QCOMPARE(m_messages->shown.last().icon, Ui::Icon::Information);

        // COM256 answers the scan but lies outside the selectable numbers.
        QCOMPARE(cell(&d, 256, 1), QStringLiteral("9700 Modem at COM256"));
        const int asked = high->commandCount();
        select(&d, 256);
        QCOMPARE(text(&d, 1068), QStringLiteral("COM256"));
        QVERIFY(!d.isQuerying());
        QCOMPARE(text(&d, 1037), QString());
        byId<QPushButton>(&d, 1)->click();
        QCOMPARE(m_messages->last(), kNotWorking);
        QCOMPARE(high->commandCount(), asked);

        // A working device without a known PIN is not accepted either.
        g_strDevicePin.clear();
        select(&d, 114);
        QTRY_COMPARE_WITH_TIMEOUT(text(&d, 1038), QStringLiteral("9700"), 10000);
        byId<QPushButton>(&d, 1)->click();
        QCOMPARE(m_messages->last(), kNotWorking);
        QVERIFY(d.isVisible());
    }

    void stopAnsweredNoHoldsTheScanThenGoesOn()
    {
        setTiming(300);
        QList<EmulatedModem*> modems;
        for (int number : {121, 122, 123})
            modems.append(addPort(number, modemConfig()));
        CConnection d;
        d.show();
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(&d, 121) >= 0, 10000);

        bool held = false;
        int rowsWhileHeld = -1;
        QList<int> untouched;
        Ui::setMessageBoxHook([&](QWidget*, const QString& text, const QString& caption, Ui::Buttons b, Ui::Icon i) {
            m_messages->shown.append({text, caption, b, i});
            held = QTest::qWaitFor([&] { return d.isScanHeld(); }, 10000);
            rowsWhileHeld = rowsOf(&d, {121, 122, 123});
            for (int k = rowsWhileHeld; k < modems.size(); ++k)
                untouched.append(modems[k]->commandCount());
            return int(Ui::IdNo);
        });
        byId<QPushButton>(&d, 1000)->click();
        QVERIFY(held);
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->last(), QStringLiteral("Terminating the current process will stop scanning mobile phone "
                                                    "device. Are you sure you want to continue?"));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Confirm"));
        QCOMPARE(m_messages->shown.last().buttons, Ui::Buttons::YesNo);
        QCOMPARE(m_messages->shown.last().icon, Ui::Icon::Warning);
        QVERIFY(rowsWhileHeld < 3);
        QCOMPARE(untouched, QList<int>(3 - rowsWhileHeld, 0));

        QVERIFY(waitForScan(&d));
        QCOMPARE(rowsOf(&d, {121, 122, 123}), 3);
        QCOMPARE(cell(&d, 123, 1), QStringLiteral("9700 Modem at COM123"));
        verifyIdle(&d);
    }

    void stopAnsweredYesEndsTheScan()
    {
        setTiming(300);
        QList<EmulatedModem*> modems;
        for (int number : {131, 132, 133})
            modems.append(addPort(number, modemConfig()));
        CConnection d;
        d.show();
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(&d, 131) >= 0, 10000);
        m_messages->answer(Ui::IdYes);
        byId<QPushButton>(&d, 1000)->click();
        QVERIFY(waitForScan(&d));
        QVERIFY(rowsOf(&d, {131, 132, 133}) < 3);
        QCOMPARE(modems[2]->commandCount(), 0);
        verifyIdle(&d);
        verifyReleased({131, 132});

        // "Connection" scans again from an empty list.
        select(&d, 131);
        QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);
        byId<QPushButton>(&d, 1036)->click();
        QVERIFY(d.isScanning());
        QCOMPARE(text(&d, 1068), QString());
        QCOMPARE(text(&d, 1037), QString());
        QVERIFY(waitForScan(&d));
        QCOMPARE(rowsOf(&d, {131, 132, 133}), 3);
        QCOMPARE(cell(&d, 133, 1), QStringLiteral("9700 Modem at COM133"));
    }

    void cancelAndEscapeSelectNothing()
    {
        // A silent port keeps the scan busy while the dialog is left.
        for (int number : {141, 142})
            addPort(number, modemConfig(Mode::Silent));
        for (bool escape : {false, true}) {
            g_bDeviceSelected = true;
            CConnection d;
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY(d.isScanning());
            if (escape)
                QTest::keyClick(&d, Qt::Key_Escape);
            else
                byId<QPushButton>(&d, 2)->click();
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QVERIFY(!g_bDeviceSelected);
            QVERIFY(m_messages->shown.isEmpty());
        }
    }

    void ctrlCCopiesNothing()
    {
        addPort(151, modemConfig());
        CConnection d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(waitForScan(&d));
        select(&d, 151);
        QTRY_VERIFY_WITH_TIMEOUT(!d.isQuerying(), 10000);

        QLineEdit outside;
        outside.setText(QStringLiteral("copied"));
        outside.selectAll();
        QTest::keySequence(&outside, QKeySequence::Copy);
        if (QApplication::clipboard()->text() != QStringLiteral("copied"))
            QSKIP("no clipboard on this platform");

        auto* details = byId<QLineEdit>(&d, 1069);
        details->setFocus();
        details->selectAll();
        QTest::keySequence(details, QKeySequence::Copy);
        list(&d)->setFocus();
        QTest::keySequence(list(&d), QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("copied"));
    }

    void wizardLeadsToThePortScan()
    {
        addPort(161, modemConfig());
        RecordingShell shell;
        Shell::setInstance(&shell);
        g_bStartPacketSent = true;
        int hidden = 0;
        bool scanned = false;
        whenModal<CConnectionwizard>([&](CConnectionwizard* steps) {
            QTest::mouseClick(byId<CColorStatic>(steps, 1069), Qt::LeftButton);
            whenModal<CConnection>([&](CConnection* d) {
                scanned = waitForScan(d) && hidden == 1;
                select(d, 161);
                scanned = QTest::qWaitFor([d] { return !text(d, 1038).isEmpty(); }, 10000) && scanned;
                byId<QPushButton>(d, 1)->click();
            });
            byId<QPushButton>(steps, 1)->click();
        });
        QVERIFY(runConnectionWizard(nullptr, [&] { ++hidden; }));
        Shell::setInstance(nullptr);
        QVERIFY(scanned);
        QCOMPARE(hidden, 1);
        QCOMPARE(shell.mails.size(), 1);
        QVERIFY(!g_bStartPacketSent);
        QCOMPARE(g_strDeviceName.get(), QStringLiteral("Research In Motion 9700 (COM161)"));

        // Leaving the steps with Escape opens no scan and keeps the selection.
        g_bStartPacketSent = true;
        whenModal<CConnectionwizard>([](CConnectionwizard* steps) { QTest::keyClick(steps, Qt::Key_Escape); });
        QVERIFY(runConnectionWizard(nullptr, [&] { ++hidden; }));
        QCOMPARE(hidden, 1);
        QVERIFY(!g_bStartPacketSent);
    }
};

QTEST_MAIN(TestConnectionWizard)
#include "test_connectionwizard.moc"
