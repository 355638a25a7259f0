#include "SupportLinks.h"

#include "app/controls/CColorStatic.h"
#include "app/controls/Theme.h"
#include "app/controls/Ui.h"
#include "platform/Shell.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Support {

QString mailAddress()
{
    return QStringLiteral("support@ulmex-veva.example");
}

QString website()
{
    return QStringLiteral("https://www.ulmex-veva.example/");
}

void openPage(QWidget* owner, const QString& url)
{
    if (!Shell::instance().openUrl(url))
        Ui::notice(owner, QStringLiteral("No web browser could be started to open the page.\n\nPlease open this "
                                         "address yourself:\n%1")
                              .arg(url));
}

void openSupportMail(QWidget* owner)
{
    if (!Shell::instance().openMail(mailAddress(), QStringLiteral("Ulmex Veva SMS support")))
        Ui::notice(owner,
                   QStringLiteral("No mail program could be started.\n\nPlease write to:\n%1").arg(mailAddress()));
}

} // namespace Support

QPushButton* informationOkButton(QDialog* dialog)
{
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    // Enter in the new dialog closes it rather than opening a link.
    ok->setFocus();
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

HelpSupportDialog::HelpSupportDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpSupport"));
    setWindowTitle(QStringLiteral("Help and Support"));
    Theme::applyDialogLook(this);

    auto* heading = new QLabel(QStringLiteral("How to send messages"), this);
    heading->setFont(Theme::headingFont());
    const QStringList stepTexts = {
        QStringLiteral("Connect your mobile phone and run the Mobile Phone Connection Wizard."),
        QStringLiteral("Type numbers and press Add, or load contacts from a text file or spreadsheet."),
        QStringLiteral("Write your message in the Message Composer and apply it to the list items."),
        QStringLiteral("Choose the options you need: exclusion rules, duplicate skipping, delayed delivery."),
        QStringLiteral("Press Send Sms and follow the progress window.")};
    // A table keeps a wrapped step indented under its own text.
    QString table = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    QString plain;
    for (int i = 0; i < stepTexts.size(); ++i) {
        table += QStringLiteral("<tr><td>%1.&nbsp;&nbsp;</td><td>%2</td></tr>")
                     .arg(i + 1)
                     .arg(stepTexts.at(i).toHtmlEscaped());
        plain += QStringLiteral("%1.  %2\n").arg(i + 1).arg(stepTexts.at(i));
    }
    auto* steps = new QLabel(table + QStringLiteral("</table>"), this);
    steps->setObjectName(QStringLiteral("steps"));
    steps->setTextFormat(Qt::RichText);
    steps->setAccessibleName(plain.trimmed());
    steps->setWordWrap(true);
    auto* contact =
        new QLabel(QStringLiteral("Need more help? Write to us and we will answer within one working day."), this);
    contact->setWordWrap(true);
    auto* mail = CColorStatic::makeLink(Support::mailAddress(), QStringLiteral("mail"), this);
    connect(mail, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });
    auto* site = CColorStatic::makeLink(Support::website(), QStringLiteral("website"), this);
    connect(site, &CColorStatic::clicked, this, [this] { Support::openPage(this, Support::website()); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(informationOkButton(this));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addWidget(heading);
    layout->addWidget(steps);
    layout->addSpacing(8);
    layout->addWidget(contact);
    layout->addWidget(mail);
    layout->addWidget(site);
    layout->addLayout(buttons);
    resize(520, 300);
}
