#include "CFirst.h"

#include "app/controls/SupportLinks.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/Theme.h"
#include "app/core/AppState.h"
#include "platform/Shell.h"
#include "app/controls/KeepAbove.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* text(QWidget* parent, const QString& content, int id = 0)
{
    auto* label = new QLabel(content, parent);
    label->setObjectName(id ? QString::number(id) : content.trimmed());
    label->setAccessibleName(content.trimmed());
    label->setWordWrap(true);
    return label;
}

CColorStatic* link(QWidget* parent, int id, const QString& caption, const QString& accessibleName)
{
    auto* l = CColorStatic::makeLink(caption, QString::number(id), parent);
    l->setAccessibleName(accessibleName);
    l->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    return l;
}

// A sentence followed by its link on the same line.
QHBoxLayout* withLink(QLabel* sentence, CColorStatic* link)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(sentence);
    row->addWidget(link, 0, Qt::AlignBottom);
    row->addStretch();
    return row;
}

QWidget* mainWindow()
{
    return qobject_cast<QWidget*>(g_pMainDlg);
}

} // namespace

QString CFirst::downloadPage()
{
    return QStringLiteral("https://www.blackberry.com/desktop-manager/download");
}

QString CFirst::searchPage()
{
    return QStringLiteral("https://www.google.com/search?q=") +
           QString::fromLatin1(
               QUrl::toPercentEncoding(QStringLiteral("BlackBerry Desktop Manager BlackBerry Mobile Phones")));
}

CFirst::CFirst(QWidget* owner) : QDialog(nullptr)
{
    setObjectName(QStringLiteral("178"));
    setWindowTitle(QStringLiteral("Ulmex Veva SMS - BlackBerry Mobile Phones"));
    Theme::applyDialogLook(this);

    m_headline =
        text(this,
             QStringLiteral("Either Mobile Phone Device is not connected properly or BlackBerry™ Desktop Manager "
                            "is not installed in your Computer."),
             1098);
    m_headline->setStyleSheet(QStringLiteral("color: %1").arg(Theme::alertColor().name()));
    auto* advice = text(this, QStringLiteral("Please install BlackBerry™ Desktop Manager in your Computer before using "
                                             "the Ulmex Veva SMS - BlackBerry Mobile Phones. "));

    m_group = new QGroupBox(QStringLiteral("How to install BlackBerry Desktop Manager "), this);
    m_group->setObjectName(QStringLiteral("1105"));
    m_group->setAccessibleName(m_group->title().trimmed());
    auto* where =
        text(m_group, QStringLiteral("BlackBerry™ Desktop Manager may be found in the installation CD that "
                                     "comes with your BlackBerry Mobile Phone.\n\nAlternatively, you can also "
                                     "directly download it from BlackBerry website."));
    auto* download = text(m_group, QStringLiteral("To Download BlackBerry Desktop Manager,"));
    download->setWordWrap(false);
    auto* downloadLink =
        link(m_group, 1099, QStringLiteral("Click here"), QStringLiteral("Download BlackBerry Desktop Manager"));
    auto* connectPhone = text(m_group, QStringLiteral("Once BlackBerry™ Desktop Manager  has been installed, Please "
                                                      "Connect your BlackBerry Mobile Phone to your Computer using the "
                                                      "USB cable of your Phone."));
    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addWidget(where);
    groupLayout->addLayout(withLink(download, downloadLink));
    groupLayout->addSpacing(4);
    groupLayout->addWidget(connectPhone);

    m_important = text(this, QStringLiteral("Important :"), 1100);
    m_important->setWordWrap(false);
    auto* advised = text(this, QStringLiteral("Please be advised that you need a BlackBerry Mobile Phone to use Ulmex "
                                              "Veva SMS - BlackBerry Mobile Phones. To find more information on "
                                              "BlackBerry Mobile Phones,"));
    auto* searchLink =
        link(this, 1101, QStringLiteral("Click here"), QStringLiteral("More information on BlackBerry Mobile Phones"));
    auto* help = text(this, QStringLiteral("For any technical help in using Ulmex Veva SMS Software, click here to "
                                           "contact us at :"));
    auto* mailLink = link(this, 1102, Support::mailAddress(), QStringLiteral("Support mail"));
    auto* manualLink =
        link(this, 1103, QStringLiteral("View Software Help Manual"), QStringLiteral("View Software Help Manual"));
    auto* siteLink = link(this, 1104, Support::website(), QStringLiteral("Web site"));

    auto* searching = text(this, QStringLiteral("Searching for device, Please wait ..."));
    searching->setWordWrap(false);
    m_search = new QProgressBar(this);
    m_search->setObjectName(QStringLiteral("1041"));
    m_search->setAccessibleName(QStringLiteral("Searching for device"));
    m_search->setRange(0, 100);
    m_search->setValue(0);
    m_search->setTextVisible(false);

    auto* retry = new QPushButton(QStringLiteral("Retry"), this);
    retry->setObjectName(QStringLiteral("1"));
    retry->setAccessibleName(QStringLiteral("Retry"));
    retry->setDefault(true);
    retry->setFocus(); // Enter retries rather than opening a link
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));

    connect(downloadLink, &CColorStatic::clicked, this, [this] { Support::openPage(this, downloadPage()); });
    connect(searchLink, &CColorStatic::clicked, this, [this] { Support::openPage(this, searchPage()); });
    connect(mailLink, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });
    connect(manualLink, &CColorStatic::clicked, this, [this] {
        HelpSupportDialog help(this);
        help.exec();
    });
    connect(siteLink, &CColorStatic::clicked, this, [this] { Support::openPage(this, Support::website()); });
    connect(retry, &QPushButton::clicked, this, &CFirst::retry);
    connect(cancel, &QPushButton::clicked, this, &CFirst::reject);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CFirst::tick);

    auto* importantGrid = new QGridLayout;
    importantGrid->setHorizontalSpacing(8);
    importantGrid->addWidget(m_important, 0, 0, Qt::AlignTop);
    importantGrid->addWidget(advised, 0, 1);
    importantGrid->addWidget(searchLink, 1, 1, Qt::AlignLeft);
    importantGrid->setColumnStretch(1, 1);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(searching);
    searchRow->addWidget(m_search, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(siteLink);
    bottom->addStretch();
    bottom->addWidget(retry);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->addWidget(m_headline);
    layout->addWidget(advice);
    layout->addSpacing(4);
    layout->addWidget(m_group);
    layout->addSpacing(4);
    layout->addLayout(importantGrid);
    layout->addSpacing(4);
    layout->addWidget(help);
    layout->addWidget(mailLink);
    layout->addWidget(manualLink);
    layout->addSpacing(6);
    layout->addLayout(searchRow);
    layout->addSpacing(6);
    layout->addLayout(bottom);
    m_headline->setFont(Theme::headingFont());
    m_important->setFont(Theme::headingFont());
    m_group->setFont(Theme::headingFont());
    // The frame's title takes the heading; its contents keep their own look.
    for (QLabel* child : m_group->findChildren<QLabel*>())
        child->setFont(qobject_cast<CColorStatic*>(child) ? Theme::linkFont() : font());
    setFixedSize(580, layout->totalHeightForWidth(580));

    keepAboveOwner(this, owner);
}

CFirst::~CFirst()
{
    // Torn down while still searching (its owner went away): let a later advice open.
    if (m_timer->isActive()) {
        g_bAdviceDialogOpen = false;
        enableMainWindow();
    }
}

int CFirst::searchProgress() const
{
    return m_search->value();
}

int CFirst::exec()
{
    // Only one advice at a time: a second one gives way at once.
    if (g_bAdviceDialogOpen && !m_begun) {
        enableMainWindow();
        setResult(0);
        return 0;
    }
    return QDialog::exec();
}

void CFirst::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_begun)
        return;
    if (g_bAdviceDialogOpen) {
        enableMainWindow();
        QTimer::singleShot(0, this, [this] { done(0); });
        return;
    }
    begin();
}

void CFirst::begin()
{
    m_begun = true;
    if (QWidget* main = mainWindow()) {
        main->setEnabled(false);
        if (main->isMinimized())
            main->showNormal();
    }
    g_bStopRequested = true;
    g_bAdviceDialogOpen = true;
    m_timer->start(m_intervalMs);
}

void CFirst::tick()
{
    g_bPinProbeOnly = true;
    if (!g_strDevicePin.isEmpty() && !g_bHandsetLost && !g_strDesktopManager.isEmpty()) {
        g_bAdviceDialogOpen = false;
        g_bHandsetLost = false;
        m_timer->stop();
        enableMainWindow();
        done(0);
    }
    const int next = m_search->value() + SearchStep;
    m_search->setValue(next > m_search->maximum() ? m_search->minimum() : next);
}

void CFirst::retry()
{
    g_bPinProbeOnly = true;
    g_strDevicePin.clear();
    g_bHandsetLost = false;
    m_search->setValue(0);
}

void CFirst::accept()
{
    retry();
}

void CFirst::reject()
{
    m_timer->stop();
    if (m_begun) {
        g_bAdviceDialogOpen = false;
        enableMainWindow();
    }
    done(Cancelled);
}

void CFirst::enableMainWindow()
{
    if (QWidget* main = mainWindow())
        main->setEnabled(true);
}
