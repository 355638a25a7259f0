#include "app/AboutDialogs.h"

#include "app/controls/SupportLinks.h"
#include "app/controls/Ui.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/Theme.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QStringLiteral("About Ulmex Veva SMS - BlackBerry Mobile Phones"));
    Theme::applyDialogLook(this);

    auto* icon = new QLabel(this);
    icon->setPixmap(Theme::appIcon().pixmap(64, 64));
    icon->setAccessibleName(QStringLiteral("Ulmex Veva SMS"));
    auto* title = new QLabel(QStringLiteral("Ulmex Veva SMS - BlackBerry Mobile Phones"), this);
    title->setFont(Theme::headingFont());
    auto* version = new QLabel(QStringLiteral("Version 8.2.1.0"), this);
    version->setObjectName(QStringLiteral("version"));
    auto* blurb = new QLabel(QStringLiteral("Send text messages to long lists of recipients through the mobile phone "
                                            "attached to your computer."),
                             this);
    blurb->setWordWrap(true);
    auto* site = CColorStatic::makeLink(Support::website(), QStringLiteral("website"), this);
    connect(site, &CColorStatic::clicked, this, [this] { Support::openPage(this, Support::website()); });
    // Where sent items, templates and exclusion lists are, for backing them up.
    const QString folder = QDir::toNativeSeparators(Paths::dataFolder());
    auto* data = new QLabel(QStringLiteral("Data folder: %1").arg(folder), this);
    data->setObjectName(QStringLiteral("dataFolder"));
    data->setWordWrap(true);
    data->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(version);
    text->addSpacing(6);
    text->addWidget(blurb);
    text->addWidget(site);
    text->addWidget(data);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(informationOkButton(this));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addLayout(buttons);
    resize(440, 190);
}

