#include "GuiTestSupport.h"
#include "SendTestSupport.h"
#include "TextSamples.h"
#include "sending/FakeHosts.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"
#include "app/core/RecipientListModel.h"
#include "deviceservice/ServiceFixture.h"
#include "platform/Shell.h"
#include "store/DataFiles.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>

// What the handset channel delivers of each kind of text, and that the log
// and the templates say the same: runs against the device service and its
// emulated handset, with the pacing shortened.
class TestSendText : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_service;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    DeviceController* m_controller = nullptr;
    FakeClock m_clock;

    // Number and text of each SMS the handset sent, in order.
    QList<std::pair<QString, QString>> outbox()
    {
        QList<std::pair<QString, QString>> out;
        QFile f(m_service->root() + QStringLiteral("/runtime/outbox-5A5A.jsonl"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty()) {
                    const QJsonObject sms = QJsonDocument::fromJson(line).object();
                    out.append(
                        {sms.value(QStringLiteral("number")).toString(), sms.value(QStringLiteral("text")).toString()});
                }
        return out;
    }

    void addRows(const QStringList& texts)
    {
        QList<RecipientListModel::Row> list;
        for (int i = 0; i < texts.size(); ++i)
            list.append({QString::number(701 + i), texts.at(i)});
        m_dlg->recipients()->appendRecipients(list);
        byId<QCheckBox>(m_dlg.get(), 1013)->setChecked(true);
        byId<QCheckBox>(m_dlg.get(), 1106)->setChecked(true);
    }

    void sendAndWait() { pressSendAndWait(m_dlg.get(), m_controller, 40000); }

    static QStringList sentItemTexts()
    {
        QStringList out;
        for (const DataFiles::SentItem& item : DataFiles::LoadSentItems())
            out.append(item.message);
        return out;
    }

private slots:
    void init()
    {
        m_service = std::make_unique<ServiceFixture>();
        resetSharedState();
        g_nAdviceGiven = 1;
        setProcessListProvider([] { return QStringList{QStringLiteral("DesktopMgr.exe")}; });
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_controller = new DeviceController(m_dlg.get());
        m_controller->setSendClock(&m_clock);
        m_dlg->initialise();
        QVERIFY(showSettled(m_dlg.get(), m_controller));
        g_nHandsetWarningShown = 1;
        m_service->writeConfig("[h]\nPIN=0x5A5A\nAttached=true\nModuleInstalled=true\n");
        QVERIFY(m_service->start());
        g_bDeviceSelected = true;
        g_strDeviceName.set(QStringLiteral("Emulated handset"));
        g_strDevicePin.set(QStringLiteral("5A5A"));
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

    // One row of each kind: asked once, then the outbox, the sent items and the templates agree.
    void handsetTextIsLoggedAsSent()
    {
        QStringList typed, delivered;
        for (const TextSample& sample : textSamples()) {
            typed.append(sample.text);
            delivered.append(sample.handset);
        }
        addRows(typed);
        m_messages->answer(Ui::IdYes);
        sendAndWait();
        QCOMPARE(m_messages->texts(),
                 (QStringList{QStringLiteral("4 messages hold characters the handset cannot send; they will go out "
                                             "with '?' in their place. Send anyway?"),
                              QStringLiteral("Message sent successfully.")}));
        QCOMPARE(m_messages->shown.first().buttons, Ui::Buttons::YesNo);

        const auto sms = outbox();
        QCOMPARE(sms.size(), delivered.size());
        for (int i = 0; i < sms.size(); ++i) {
            QCOMPARE(sms.at(i).first, QString::number(701 + i));
            QCOMPARE(sms.at(i).second, delivered.at(i));
        }
        QCOMPARE(sentItemTexts(), delivered);
        QCOMPARE(DataFiles::LoadTemplates(), delivered);
    }

    void answeringNoSendsNothing()
    {
        addRows({textSamples().at(0).text, textSamples().at(2).text});
        byId<QPushButton>(m_dlg.get(), 1000)->click(); // the recorder answers No
        QCOMPARE(m_messages->texts(),
                 QStringList{QStringLiteral("1 messages hold characters the handset cannot send; "
                                            "they will go out with '?' in their place. Send anyway?")});
        QVERIFY(!m_controller->isSending());
        QVERIFY(outbox().isEmpty());
        QVERIFY(DataFiles::LoadSentItems().isEmpty());
    }
};

QTEST_MAIN(TestSendText)
#include "test_sendtext.moc"
