#include "CGatewayDialog.h"

#include "app/controls/Ui.h"
#include "app/controls/Theme.h"
#include "app/core/AppState.h"
#include "device/gateway/GatewayChannel.h"
#include "device/modem/ModemSelection.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>
#include <QCoreApplication>

namespace {

constexpr int kCheckTimeoutMs = 10000;

QLineEdit* field(QWidget* parent, const QString& name, const QString& objectName)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setAccessibleName(name);
    return edit;
}

} // namespace

CGatewayDialog::CGatewayDialog(QWidget* parent, const std::optional<GatewaySettings>& start) : QDialog(parent)
{
    setObjectName(QStringLiteral("gatewayDialog"));
    setWindowTitle(QStringLiteral("Send through an SMS gateway"));
    Theme::applyDialogLook(this);

    auto* intro = new QLabel(QStringLiteral("Messages go to an SMS gateway's HTTP send interface (Kannel's sendsms), "
                                            "which passes them on to the mobile network."),
                             this);
    intro->setWordWrap(true);
    intro->setAccessibleName(intro->text());

    m_url = field(this, QStringLiteral("Address of the send interface"), QStringLiteral("url"));
    m_url->setPlaceholderText(QStringLiteral("http://127.0.0.1:13013/cgi-bin/sendsms"));
    m_user = field(this, QStringLiteral("User name"), QStringLiteral("user"));
    m_password = field(this, QStringLiteral("Password"), QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_sender = field(this, QStringLiteral("Sender (optional)"), QStringLiteral("sender"));
    m_smsc = field(this, QStringLiteral("SMSC id (optional)"), QStringLiteral("smsc"));
    m_inFlight = new QSpinBox(this);
    m_inFlight->setObjectName(QStringLiteral("inFlight"));
    m_inFlight->setAccessibleName(QStringLiteral("Messages in flight"));
    m_inFlight->setRange(1, GatewaySettings::kMaxInFlight);
    m_inFlight->setValue(GatewaySettings::kDefaultInFlight);
    m_rate = new QDoubleSpinBox(this);
    m_rate->setObjectName(QStringLiteral("rate"));
    m_rate->setAccessibleName(QStringLiteral("Messages per second at most"));
    m_rate->setRange(0, 10000);
    m_rate->setDecimals(1);
    m_rate->setSpecialValueText(QStringLiteral("No limit"));
    m_remember = new QCheckBox(QStringLiteral("Re&member the password"), this);
    m_remember->setObjectName(QStringLiteral("remember"));
    m_remember->setAccessibleName(QStringLiteral("Remember the password"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Address of the send interface:"), m_url);
    form->addRow(QStringLiteral("&User name:"), m_user);
    form->addRow(QStringLiteral("&Password:"), m_password);
    form->addRow(QString(), m_remember);
    form->addRow(QStringLiteral("&Sender (optional):"), m_sender);
    form->addRow(QStringLiteral("SMS&C id (optional):"), m_smsc);
    form->addRow(QStringLiteral("Messages in &flight:"), m_inFlight);
    form->addRow(QStringLiteral("Messages per second at m&ost:"), m_rate);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Room for a gateway's answer, so the dialog does not jump when one comes.
    m_status->setMinimumHeight(m_status->fontMetrics().lineSpacing() * 4);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setAccessibleName(QStringLiteral("OK"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("2"));
    m_cancel->setAccessibleName(QStringLiteral("Cancel"));
    connect(m_ok, &QPushButton::clicked, this, &CGatewayDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CGatewayDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(520, 400);

    if (start)
        setSettings(*start);
}

CGatewayDialog::~CGatewayDialog()
{
    // A check still under way ends on its own and finds no dialog to tell.
    m_closing = true;
}

GatewaySettings CGatewayDialog::settings() const
{
    GatewaySettings s;
    s.url = m_url->text().trimmed();
    s.user = m_user->text();
    s.password = m_password->text();
    s.sender = m_sender->text().trimmed();
    s.smscId = m_smsc->text().trimmed();
    s.inFlight = m_inFlight->value();
    s.ratePerSecond = m_rate->value();
    s.rememberPassword = m_remember->isChecked();
    return s;
}

void CGatewayDialog::setSettings(const GatewaySettings& s)
{
    m_url->setText(s.url);
    m_user->setText(s.user);
    m_password->setText(s.password);
    m_sender->setText(s.sender);
    m_smsc->setText(s.smscId);
    m_inFlight->setValue(s.inFlight);
    m_rate->setValue(s.ratePerSecond);
    m_remember->setChecked(s.rememberPassword);
}

QString CGatewayDialog::statusText() const
{
    return m_status->text();
}

void CGatewayDialog::setChecking(bool checking)
{
    m_checking = checking;
    for (QWidget* w : std::initializer_list<QWidget*>{m_url, m_user, m_password, m_sender, m_smsc, m_inFlight, m_rate,
                                                      m_remember, m_ok})
        w->setEnabled(!checking);
}

void CGatewayDialog::accept()
{
    if (m_checking)
        return;
    const GatewaySettings s = settings();
    if (const QString problem = s.problem(); !problem.isEmpty()) {
        m_status->setText(problem);
        Ui::notice(this, problem);
        return;
    }
    setChecking(true);
    m_status->setText(QStringLiteral("Checking the gateway at %1…").arg(s.hostPort()));
    QPointer<CGatewayDialog> self(this);
    QThread* check = QThread::create([self, s] {
        auto channel = ComPtr<GatewayChannel>::attach(new GatewayChannel(s, kCheckTimeoutMs));
        const GatewayChannel::Probe probe = channel->probe();
        const bool works = probe.result == GatewayChannel::Probe::Result::Works;
        QMetaObject::invokeMethod(
            qApp,
            [self, works, text = probe.text] {
                if (self && !self->m_closing)
                    self->onChecked(works, text);
            },
            Qt::QueuedConnection);
    });
    connect(check, &QThread::finished, check, &QObject::deleteLater);
    check->start();
}

void CGatewayDialog::onChecked(bool works, const QString& text)
{
    setChecking(false);
    if (!works) {
        m_status->setText(text);
        emit checked(false, text);
        Ui::notice(this, text);
        return;
    }
    const GatewaySettings s = settings();
    const QString error = s.save();
    m_status->setText(error.isEmpty() ? QStringLiteral("The gateway at %1 answers.").arg(s.hostPort())
                                      : QStringLiteral("The gateway answers, but its settings could not be kept "
                                                       "for the next start: %1")
                                            .arg(error));
    emit checked(true, {});
    QDialog::accept();
}

void CGatewayDialog::reject()
{
    // A check under way finishes on its own; its answer is not waited for.
    QDialog::reject();
}

bool runGatewayDialog(QWidget* parent)
{
    std::optional<GatewaySettings> start = GatewaySelection::current();
    if (!start)
        start = GatewaySettings::load();
    CGatewayDialog dialog(parent, start);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const GatewaySettings settings = dialog.settings();
    ModemSelection::clear();
    GatewaySelection::select(settings);
    g_bDeviceSelected = true;
    g_strDeviceName.set(settings.deviceLine());
    return true;
}
