#include "GuiTestSupport.h"
#include "gateway/StubGateway.h"

#include "app/core/AppState.h"
#include "device/gateway/GatewaySettings.h"
#include "device/modem/ModemSelection.h"
#include "device/wizard/CConnectionwizard.h"
#include "device/wizard/CGatewayDialog.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QFormLayout>

namespace {

const QString kPassword = QStringLiteral("hunter2-long");

GatewaySettings settingsFor(const QString& url)
{
    GatewaySettings s;
    s.url = url;
    s.user = QStringLiteral("veva");
    s.password = kPassword;
    s.sender = QStringLiteral("Veva");
    return s;
}

// Every text a person (or a screen reader) can see in the dialog.
QStringList visibleTexts(QWidget* dialog)
{
    QStringList out;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        out << w->accessibleName();
        if (auto* l = qobject_cast<QLabel*>(w))
            out << l->text();
        if (auto* e = qobject_cast<QLineEdit*>(w); e && e->echoMode() == QLineEdit::Normal)
            out << e->text();
    }
    return out;
}

StubGateway::Answer kannelLike(int status, const QByteArray& body, int delayMs = 0)
{
    return [=](const QUrlQuery&) { return StubGateway::Reply{status, body, delayMs}; };
}

} // namespace

class TestGatewayDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        GatewaySelection::clear();
        ModemSelection::clear();
        g_bDeviceSelected = false;
    }
    void wizardOffersTheGateway();
    void fieldsAreNamedAsShown();
    void workingGatewayIsChosenAndKept();
    void refusedLoginKeepsTheDialogOpen_data();
    void refusedLoginKeepsTheDialogOpen();
    void badAddressIsNotTried();

private:
    std::unique_ptr<TestFolders> m_folders;
};

void TestGatewayDialog::wizardOffersTheGateway()
{
    CConnectionwizard steps;
    steps.show();
    auto* gateway = steps.findChild<QPushButton*>(QStringLiteral("gateway"));
    QVERIFY(gateway);
    QCOMPARE(gateway->accessibleName(), QStringLiteral("Send through an SMS gateway"));
    gateway->click();
    QCOMPARE(steps.result(), CConnectionwizard::GatewayChosen);
}

void TestGatewayDialog::fieldsAreNamedAsShown()
{
    CGatewayDialog dialog(nullptr, settingsFor(QStringLiteral("http://127.0.0.1:1/cgi-bin/sendsms")));
    auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("password"));
    QVERIFY(password);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.findChild<QSpinBox*>(QStringLiteral("inFlight"))->value(), GatewaySettings::kDefaultInFlight);
    QCOMPARE(dialog.findChild<QDoubleSpinBox*>(QStringLiteral("rate"))->text(), QStringLiteral("No limit"));
    // Each field's accessible name is the label beside it.
    for (const char* name : {"url", "user", "password", "sender", "smsc", "inFlight", "rate"}) {
        QWidget* w = dialog.findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(w, name);
        auto* form = dialog.findChild<QFormLayout*>();
        auto* label = qobject_cast<QLabel*>(form->labelForField(w));
        QVERIFY2(label, name);
        QCOMPARE(QString(label->text()).remove(QLatin1Char('&')), w->accessibleName() + QLatin1Char(':'));
        // ... and its access key leads to the field.
        QVERIFY2(!QKeySequence::mnemonic(label->text()).isEmpty() && label->buddy() == w, name);
    }
    QCOMPARE(dialog.findChild<QCheckBox*>(QStringLiteral("remember"))->accessibleName(),
             QStringLiteral("Remember the password"));
    QVERIFY(!visibleTexts(&dialog).join(QLatin1Char('\n')).contains(kPassword));
}

void TestGatewayDialog::workingGatewayIsChosenAndKept()
{
    StubGateway stub(kannelLike(400, "Missing receiver number, rejected", 300));
    MessageRecorder messages;
    SelectedModem modem{7, QStringLiteral("Acme"), QStringLiteral("M1")};
    ModemSelection::select(modem);
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CGatewayDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        GatewaySettings s = settingsFor(stub.url());
        s.rememberPassword = true;
        dialog->setSettings(s);
        dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
        // The check runs on a thread: the dialog stays live and locked meanwhile.
        QVERIFY(dialog->isChecking());
        QVERIFY(!dialog->findChild<QPushButton*>(QStringLiteral("1"))->isEnabled());
        QVERIFY(dialog->statusText().startsWith(QLatin1String("Checking the gateway at 127.0.0.1:")));
    });
    chosen = runGatewayDialog(nullptr);
    QVERIFY(chosen);
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(stub.requests().size(), 1);
    QVERIFY(!stub.requests().first().hasQueryItem(QStringLiteral("to")));

    QVERIFY(g_bDeviceSelected);
    QVERIFY(!ModemSelection::current());
    QCOMPARE(g_strDeviceName.get(), QStringLiteral("SMS gateway at 127.0.0.1:%1").arg(stub.port()));
    const std::optional<GatewaySettings> current = GatewaySelection::current();
    QVERIFY(current);
    QCOMPARE(current->password, kPassword);
    const std::optional<GatewaySettings> kept = GatewaySettings::load();
    QVERIFY(kept);
    QCOMPARE(kept->url, stub.url());
    QCOMPARE(kept->password, kPassword); // "Remember the password" was ticked
}

void TestGatewayDialog::refusedLoginKeepsTheDialogOpen_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("shown");
    QTest::newRow("wrong login") << true << QStringLiteral("does not accept this user name and password");
    QTest::newRow("nothing answers") << false << QStringLiteral("No SMS gateway answers at 127.0.0.1:");
}

void TestGatewayDialog::refusedLoginKeepsTheDialogOpen()
{
    QFETCH(bool, listening);
    QFETCH(QString, shown);
    auto stub = std::make_unique<StubGateway>(kannelLike(403, "Authorization failed for sendsms"));
    const QString url = stub->url();
    if (!listening)
        stub.reset();
    MessageRecorder messages;
    CGatewayDialog dialog(nullptr, settingsFor(url));
    dialog.show();
    QSignalSpy checked(&dialog, &CGatewayDialog::checked);
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
    QVERIFY(checked.wait(15000));
    QCOMPARE(checked.first().at(0).toBool(), false);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QVERIFY(!dialog.isChecking());
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("1"))->isEnabled());
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.last().contains(shown), qPrintable(messages.last()));
    QVERIFY(!messages.last().contains(kPassword));
    QVERIFY(!visibleTexts(&dialog).join(QLatin1Char('\n')).contains(kPassword));
    // Nothing chosen, nothing kept.
    QVERIFY(!GatewaySelection::current());
    QVERIFY(!QFile::exists(GatewaySettings::defaultPath()));
}

void TestGatewayDialog::badAddressIsNotTried()
{
    MessageRecorder messages;
    GatewaySettings s = settingsFor(QStringLiteral("ftp://127.0.0.1/x"));
    CGatewayDialog dialog(nullptr, s);
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
    QVERIFY(!dialog.isChecking());
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY(messages.last().contains(QLatin1String("not an http:// or https:// address")));
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(TestGatewayDialog)
#include "test_gatewaydialog.moc"
