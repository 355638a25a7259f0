#include "GuiTestSupport.h"
#include "SendTestSupport.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/core/RecipientListModel.h"
#include "device/dialogs/CFirst.h"
#include "deviceservice/ServiceFixture.h"
#include "platform/Shell.h"
#include "platform/deviceservice/DeviceServiceClient.h"
#include "sending/SendJournal.h"
#include "sending/dialogs/CModeless.h"
#include "sending/dialogs/CSend_Msg_Info.h"

#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

// "Send Sms" after a run that did not finish (unplugged, stopped, killed):
// real runs against the device service and an emulated handset, whose outbox
// must hold every number exactly once.
class TestResumeSend : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;
    const QString m_text = QStringLiteral("Dear parent,\r\nschool opens at 9");

    RecipientListModel* rows() { return m_dlg->recipients(); }

    void openWindow()
    {
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
        g_nHandsetWarningShown = 1;
    }

    void connectHandset()
    {
        m_service->writeConfig("[h]\nPIN=0x5A5A\nAttached=true\nModuleInstalled=true\n");
        QVERIFY(m_service->start());
        g_bDeviceSelected = true;
        g_strDeviceName.set(QStringLiteral("Emulated handset"));
        g_strDevicePin.set(QStringLiteral("5A5A"));
    }

    void control(const QString& verb) { QCOMPARE(m_service->control({verb, QStringLiteral("0x5A5A")}).exitCode, 0); }

    QStringList outboxNumbers()
    {
        QStringList out;
        QFile f(m_service->root() + QStringLiteral("/runtime/outbox-5A5A.jsonl"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    out.append(QJsonDocument::fromJson(line).object().value(QStringLiteral("number")).toString());
        return out;
    }

    void addRows(const QStringList& numbers, const QString& message)
    {
        QList<RecipientListModel::Row> list;
        for (const QString& n : numbers)
            list.append({n, message});
        rows()->appendRecipients(list);
    }

    static QStringList numbers(int first, int count)
    {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out.append(QString::number(first + i));
        return out;
    }

    QList<RowStatus> statuses()
    {
        QList<RowStatus> out;
        for (int r = 0; r < rows()->count(); ++r)
            out.append(rows()->status(r));
        return out;
    }

    // Runs `action` once the outbox holds `count` messages.
    void whenOutboxHolds(int count, std::function<void()> action)
    {
        auto* poll = new QTimer(m_dlg.get());
        connect(poll, &QTimer::timeout, m_dlg.get(), [this, poll, count, action] {
            if (outboxNumbers().size() >= count) {
                poll->stop();
                poll->deleteLater();
                action();
            }
        });
        poll->start(20);
    }

    void sendAndWait() { pressSendAndWait(m_dlg.get(), m_controller, 40000); }

    // Runs the journal child over the numbers and kills it where `hold` says.
    void killChild(const QString& hold, const QStringList& rows)
    {
        QProcess child;
        child.start(QStringLiteral(VEVA_JOURNAL_CHILD), QStringList{hold, m_text} + rows);
        QVERIFY(child.waitForStarted());
        QByteArray out;
        while (!out.contains("holding")) {
            QVERIFY2(child.waitForReadyRead(10000), child.readAllStandardError().constData());
            out += child.readAllStandardOutput();
        }
        child.kill();
        QVERIFY(child.waitForFinished(10000));
    }

    void restartProgram()
    {
        if (m_controller)
            QVERIFY(m_controller->waitForWorkers(20000));
        m_dlg.reset();
        m_controller = nullptr;
        m_messages->clear();
        resetSharedState();
        g_nAdviceGiven = 1;
        openWindow();
    }

    void verifyStatusColumnBesideTheNumber()
    {
        CMyListCtrl* list = m_dlg->recipientList();
        QVERIFY(list->isColumnShown(RecipientListModel::Status));
        QHeaderView* header = list->horizontalHeader();
        QCOMPARE(header->visualIndex(RecipientListModel::Status), header->visualIndex(RecipientListModel::Number) + 1);
        QVERIFY(header->sectionSize(RecipientListModel::Status) >= 100);
    }

    static QString question(int sent, int messages, int uncertain = 0)
    {
        return DeviceController::resumeQuestion(sent, uncertain, messages);
    }

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceFixture>();
        resetSharedState();
        g_nAdviceGiven = 1;
        setProcessListProvider([] { return QStringList{QStringLiteral("DesktopMgr.exe")}; });
        m_messages = std::make_unique<MessageRecorder>();
    }

    void cleanup()
    {
        if (m_controller)
            m_controller->waitForWorkers(20000);
        m_dlg.reset();
        m_controller = nullptr;
        m_messages.reset();
        m_service.reset();
        setProcessListProvider({});
    }

    void unpluggedAfterTwoOfFiveThenResumed()
    {
        openWindow();
        connectHandset();
        addRows(numbers(501, 5), m_text);
        QVERIFY(!m_dlg->recipientList()->isColumnShown(RecipientListModel::Status));
        whenOutboxHolds(2, [this] { control(QStringLiteral("detach")); });
        int advice = 0;
        // Plugged back while the advice is up, then the advice is cancelled: no
        // probe can catch the handset still away and advise a second time.
        whenModal<CFirst>([&](CFirst* d) {
            ++advice;
            control(QStringLiteral("attach"));
            d->reject();
        });
        sendAndWait();
        QCOMPARE(advice, 1);
        QCOMPARE(outboxNumbers(), numbers(501, 2));
        using S = RowStatus;
        QCOMPARE(statuses(), (QList<S>{S::Sent, S::Sent, S::Failed, S::NotSentStopped, S::NotSentStopped}));
        verifyStatusColumnBesideTheNumber();

        // Seen again and selected again in the connection wizard: only the three others go out.
        QTRY_VERIFY_WITH_TIMEOUT(!g_strDevicePin.isEmpty(), 15000);
        g_bDeviceSelected = true;
        g_bStartPacketSent = false;
        m_messages->clear();
        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(
            m_messages->shown.first().text,
            QStringLiteral("2 of 5 messages in the list were already sent. Send only the 3 messages not sent yet?"));
        QCOMPARE(m_messages->shown.first().caption, QStringLiteral("Confirm"));
        QCOMPARE(m_messages->shown.first().buttons, Ui::Buttons::YesNoCancel);
        QCOMPARE(m_messages->last(), QStringLiteral("Message sent successfully."));
        QCOMPARE(outboxNumbers(), numbers(501, 5));
        QCOMPARE(statuses(), QList<S>(5, S::Sent));
    }

    void stoppedAfterRowThreeThenResumed()
    {
        openWindow();
        connectHandset();
        addRows(numbers(601, 5), m_text);
        whenOutboxHolds(3, [this] {
            m_messages->answer(Ui::IdYes);
            emit m_controller->progressDialog()->stopRequested();
        });
        sendAndWait();
        QCOMPARE(outboxNumbers(), numbers(601, 3));
        using S = RowStatus;
        QCOMPARE(statuses(), (QList<S>{S::Sent, S::Sent, S::Sent, S::NotSentStopped, S::NotSentStopped}));
        verifyStatusColumnBesideTheNumber();
        QVERIFY(!m_messages->texts().contains(QStringLiteral("Message sent successfully.")));

        // Cancel sends nothing and changes nothing.
        m_messages->clear();
        m_messages->answer(Ui::IdCancel);
        byId<QPushButton>(m_dlg.get(), 1000)->click();
        QCOMPARE(m_messages->texts(), QStringList{question(3, 5)});
        QVERIFY(!m_controller->isSending());

        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(outboxNumbers(), numbers(601, 5));

        // A run that completed asks nothing: the first check speaks.
        m_messages->clear();
        byId<CSpecialEdit>(m_dlg.get(), 1001)->setText(QStringLiteral("999"));
        byId<QPushButton>(m_dlg.get(), 1000)->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Please insert entered number to the list.")});

        // Editing a row makes it one to send again.
        byId<CSpecialEdit>(m_dlg.get(), 1001)->clear();
        rows()->setMessage(4, QStringLiteral("Corrected: school opens at 10"));
        m_messages->clear();
        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(m_messages->shown.first().text, question(4, 5));
        QCOMPARE(outboxNumbers(), numbers(601, 5) << QStringLiteral("605"));
    }

    void noSendsEveryRowAgain()
    {
        openWindow();
        connectHandset();
        addRows(numbers(651, 3), m_text);
        whenOutboxHolds(2, [this] {
            m_messages->answer(Ui::IdYes);
            emit m_controller->progressDialog()->stopRequested();
        });
        sendAndWait();
        QCOMPARE(outboxNumbers(), numbers(651, 2));
        m_messages->clear();
        m_messages->answer(Ui::IdNo);
        sendAndWait();
        QCOMPARE(m_messages->shown.first().text, question(2, 3));
        QCOMPARE(outboxNumbers(), numbers(651, 2) + numbers(651, 3));
    }

    // Killed right after the last message: at the next start the list reads as
    // sent, "Send Sms" asks first, and the default answer sends nothing. A second
    // run killed before its first message still knows what the first sent.
    void killedAfterTheLastMessageNothingGoesTwice()
    {
        killChild(QStringLiteral("last"), numbers(801, 4));
        for (int start = 0; start < 2; ++start) {
            if (start == 1) {
                killChild(QStringLiteral("sign"), numbers(801, 4));
                restartProgram();
            } else {
                openWindow();
            }
            QTRY_COMPARE(m_messages->texts(), QStringList{DeviceController::interruptedRunNotice(4, 0)});
            if (start == 0)
                connectHandset();
            addRows(numbers(801, 4), m_text);
            QCOMPARE(statuses(), QList<RowStatus>(4, RowStatus::Sent));
            m_messages->clear();
            byId<QPushButton>(m_dlg.get(), 1000)->click();
            QCOMPARE(m_messages->texts(),
                     QStringList{QStringLiteral("All 4 messages in the list were already sent. Send them all again?")});
            QCOMPARE(m_messages->shown.first().buttons, Ui::Buttons::YesNoDefaultNo);
            QVERIFY(!m_controller->isSending());
            QVERIFY(outboxNumbers().isEmpty());
        }
    }

    // A run killed during its very first message: no row was sent, one is uncertain.
    void killedDuringItsFirstMessage()
    {
        killChild(QStringLiteral("1"), numbers(951, 3));
        openWindow();
        QTRY_COMPARE(m_messages->texts(), QStringList{DeviceController::interruptedRunNotice(0, 1)});
        connectHandset();
        addRows(numbers(951, 3), m_text);
        using S = RowStatus;
        QCOMPARE(statuses(), (QList<S>{S::Uncertain, S::None, S::None}));
        m_messages->clear();
        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(m_messages->shown.first().text,
                 QStringLiteral("1 of 3 messages in the list were already sent (1 of them may have been). Send only "
                                "the 2 messages not sent yet?"));
        QCOMPARE(outboxNumbers(), numbers(952, 2));
    }

    // The reply to the second message comes garbled or too late: the handset may
    // have sent it, so it is "Uncertain" and a resume leaves it alone. Unplugged,
    // it is "Failed". Either way the advice closes by itself once the handset answers.
    void deviceFaultMidRun_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<RowStatus>("status");
        QTest::newRow("garbled reply") << QStringLiteral("garbage-next") << RowStatus::Uncertain;
        QTest::newRow("late reply") << QStringLiteral("stall-next") << RowStatus::Uncertain;
        QTest::newRow("unplugged") << QStringLiteral("detach") << RowStatus::Failed;
    }

    void deviceFaultMidRun()
    {
        QFETCH(QString, fault);
        QFETCH(RowStatus, status);
        DeviceServiceClient::setCallTimeout(1000);
        struct Restore
        {
            ~Restore() { DeviceServiceClient::setCallTimeout(DeviceServiceClient::kDefaultCallTimeoutMs); }
        } restore;
        openWindow();
        connectHandset();
        g_strDesktopManager.set(QString::fromLatin1(kDesktopManagerSeen)); // as the start-up check finds it running
        addRows(numbers(911, 4), m_text);
        whenOutboxHolds(1, [this, fault] {
            if (fault == QLatin1String("stall-next"))
                QCOMPARE(m_service->control({fault, QStringLiteral("3000")}).exitCode, 0);
            else if (fault == QLatin1String("detach"))
                control(fault);
            else
                QCOMPARE(m_service->control({fault}).exitCode, 0);
        });
        QPointer<CFirst> advice;
        whenModal<CFirst>([&](CFirst* d) {
            advice = d;
            if (fault == QLatin1String("detach"))
                control(QStringLiteral("attach"));
        });
        sendAndWait();
        QVERIFY(advice.isNull() || !advice->isVisible());
        QVERIFY(m_dlg->isEnabled());
        QCOMPARE(g_strDevicePin.get(), QStringLiteral("5A5A"));
        using S = RowStatus;
        QCOMPARE(statuses(), (QList<S>{S::Sent, status, S::NotSentStopped, S::NotSentStopped}));
        const QStringList before = outboxNumbers();
        QCOMPARE(before.mid(0, 1), numbers(911, 1));

        g_bDeviceSelected = true;
        g_bStartPacketSent = false;
        m_messages->clear();
        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(m_messages->last(), QStringLiteral("Message sent successfully."));
        // Every number once: the uncertain one was delivered by the service before its reply went wrong.
        QCOMPARE(outboxNumbers(), numbers(911, 4));
    }

    // The program killed while a packet was on its way; at the next start the
    // numbers are loaded again without messages and the composer's text is applied.
    void killedMidPacketThenLoadedAgain()
    {
        killChild(QStringLiteral("2"), numbers(701, 4));
        openWindow();
        QTRY_COMPARE(m_messages->texts(), QStringList{DeviceController::interruptedRunNotice(1, 1)});
        connectHandset();
        addRows(numbers(701, 4), QString());
        auto* composer = byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005);
        composer->setText(m_text);
        m_dlg->m_strAppliedMessage = QStringLiteral("an older text");
        whenModal<CSend_Msg_Info>([](CSend_Msg_Info* d) { d->done(CSend_Msg_Info::Yes); });
        m_messages->clear();
        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(m_messages->shown.first().text,
                 QStringLiteral("2 of 4 messages in the list were already sent (1 of them may have been). Send only "
                                "the 2 messages not sent yet?"));
        QCOMPARE(outboxNumbers(), numbers(703, 2));
        using S = RowStatus;
        QCOMPARE(statuses(), (QList<S>{S::Sent, S::Uncertain, S::Sent, S::Sent}));
        verifyStatusColumnBesideTheNumber();

        // The journal now holds the completed run: the next start says nothing.
        QVERIFY(!SendJournal::readInterrupted());
    }
};

QTEST_MAIN(TestResumeSend)
#include "test_resumesend.moc"
