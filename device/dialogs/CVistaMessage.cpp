#include "CVistaMessage.h"

#include "app/controls/SupportLinks.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CVistaMessage::CVistaMessage(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("186"));
    setWindowTitle(QStringLiteral("Ulmex Veva SMS - BlackBerry Mobile Phones"));
    Theme::applyDialogLook(this);

    auto* picture = new QLabel(this);
    picture->setPixmap(Theme::glyphIcon(Theme::Glyph::Information).pixmap(48, 48));
    picture->setAccessibleName(QStringLiteral("Information"));
    auto* text = new QLabel(
        QStringLiteral("If you are using Windows Vista or Windows 7 or Windows 2008 and it may prevent detection of "
                       "your Blackberry mobile device to application, you need to disable User Account Control (UAC) "
                       "from your Control Panel to detect Blackberry mobile device successfully."),
        this);
    text->setObjectName(QStringLiteral("1126"));
    text->setWordWrap(true);
    text->setAccessibleName(QStringLiteral("User Account Control advice"));
    auto* steps = new QLabel(QStringLiteral("To turn it off: open the Control Panel, choose User Accounts, then "
                                            "\"Turn User Account Control on or off\", clear the check box and restart "
                                            "your computer."),
                             this);
    steps->setObjectName(QStringLiteral("steps"));
    steps->setWordWrap(true);
    auto* contact = CColorStatic::makeLink(QStringLiteral("Click here to contact us"), QStringLiteral("1116"), this);
    connect(contact, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    ok->setFocus(); // Enter closes the advice rather than opening the link
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* body = new QVBoxLayout;
    body->addWidget(text);
    body->addWidget(steps);
    body->addWidget(contact);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(body, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addLayout(buttons);
    resize(480, 230);
}
