// The main window's widgets: the banner, the two columns, the buttons below, and its fit to the screen.
#include "CCorvaneDlg.h"
#include "CCorvaneDlgParts.h"

#include "MessageCounter.h"
#include "app/controls/SupportLinks.h"
#include "app/core/RecipientListModel.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace CorvaneDlgParts;

namespace {

const QString kNoDevice = QStringLiteral("No Mobile Phone Device is selected.");

template <typename W> W* named(W* widget, int id, const QString& accessible)
{
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(accessible);
    return widget;
}

// The banner, drawn for the size it has: on a short screen it gives up height
// first, down to a strip, without stretching its letters.
class Banner : public QWidget
{
public:
    explicit Banner(QWidget* parent) : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setMaximumHeight(CCorvaneDlg::kBannerHeight);
    }
    QSize sizeHint() const override { return {863, CCorvaneDlg::kBannerHeight}; }
    QSize minimumSizeHint() const override { return {1, CCorvaneDlg::kBannerLeast}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const qreal dpr = devicePixelRatioF();
        if (m_picture.deviceIndependentSize() != QSizeF(size())) {
            m_picture = Theme::banner((QSizeF(size()) * dpr).toSize());
            m_picture.setDevicePixelRatio(dpr);
        }
        QPainter(this).drawPixmap(0, 0, m_picture);
    }

private:
    QPixmap m_picture;
};

QPushButton* bitmapButton(QWidget* parent, int id, Theme::Glyph glyph, const QString& caption)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::number(id));
    Theme::makeBitmapButton(b, glyph, caption);
    return b;
}

} // namespace

void CCorvaneDlg::buildUi()
{
    auto* bannerLabel = new Banner(this);
    bannerLabel->setObjectName(QStringLiteral("banner"));
    bannerLabel->setAccessibleName(QStringLiteral("Ulmex Veva SMS"));
    m_banner = bannerLabel;

    auto* columns = new QHBoxLayout;
    columns->setSpacing(10);
    columns->addWidget(buildLeftColumn(), 3);
    columns->addWidget(buildOptions(), 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->setSpacing(6);
    layout->addWidget(bannerLabel, 1);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 0, 10, 0);
    body->setSpacing(6);
    body->addLayout(columns, 100);
    body->addWidget(buildBottom());
    layout->addLayout(body, 1);

    // The least size has the banner as a strip; above it the banner takes its
    // height back first (see resizeEvent).
    setMinimumSize(minimumSizeHint());
    resize(880, 680);
    fitToScreen();
    fitBanner();
}

void CCorvaneDlg::fitBanner()
{
    m_banner->setMinimumHeight(std::clamp(height() - kBodyHeight, kBannerLeast, kBannerHeight));
}

void CCorvaneDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    fitBanner();
}

QWidget* CCorvaneDlg::buildLeftColumn()
{
    auto* column = new QWidget(this);
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(6);

    // Enter Recipient Number
    auto* numberGroup = named(new QGroupBox(QStringLiteral("Enter Recipient Number"), column), 1017,
                              QStringLiteral("Enter Recipient Number"));
    numberGroup->setFont(Theme::headingFont());
    auto* numberRow = new QHBoxLayout(numberGroup);
    auto* numberLabel = new QLabel(QStringLiteral("&Number :"), numberGroup);
    numberLabel->setObjectName(QStringLiteral("Number :"));
    numberLabel->setFont(Theme::dialogFont());
    m_ctlNumber = named(new CSpecialEdit(numberGroup), 1001, QStringLiteral("Number :"));
    m_ctlNumber->setFont(Theme::bodyFont());
    m_ctlNumber->setMaxLength(20);
    numberLabel->setBuddy(m_ctlNumber);
    m_add = named(new QPushButton(QStringLiteral("&Add"), numberGroup), 1002, QStringLiteral("Add"));
    m_add->setFont(Theme::dialogFont());
    m_update = named(new QPushButton(QStringLiteral("Update"), numberGroup), 1010, QStringLiteral("Update"));
    m_update->setEnabled(false);
    m_update->hide();
    numberRow->addWidget(numberLabel);
    numberRow->addWidget(m_ctlNumber, 1);
    numberRow->addWidget(m_add);
    connect(m_add, &QPushButton::clicked, this, &CCorvaneDlg::OnAdd);
    connect(m_ctlNumber, &CSpecialEdit::returnPressedInEdit, this, [this] {
        if (!m_ctlNumber->text().trimmed().isEmpty())
            OnAdd();
    });

    // Import and Composing Options
    auto* importGroup = named(new QGroupBox(QStringLiteral("Import and Composing Options"), column), 1018,
                              QStringLiteral("Import and Composing Options"));
    importGroup->setFont(Theme::headingFont());
    auto* importRow = new QHBoxLayout(importGroup);
    auto* loadContacts =
        bitmapButton(importGroup, 1006, Theme::Glyph::Contacts, QStringLiteral("Load &Contacts From File"));
    auto* dynamic = bitmapButton(importGroup, 1101, Theme::Glyph::Spreadsheet,
                                 QStringLiteral("Send unique or personalized SMS to every Contact using Excel"));
    dynamic->setText(QStringLiteral("Send unique or &personalized SMS\nto every Contact using Excel"));
    for (QPushButton* b : {loadContacts, dynamic}) {
        b->setFont(Theme::dialogFont());
        b->setMinimumHeight(40);
        importRow->addWidget(b, 1);
    }
    connect(loadContacts, &QPushButton::clicked, this,
            [this] { runHook(onLoadContacts, QStringLiteral("Load Contacts From File")); });
    connect(dynamic, &QPushButton::clicked, this, [this] {
        UpdateTotalNumbers();
        m_ctlNumber->clear();
        m_ctlNumber->setFocus();
        runHook(onDynamicMessages, QStringLiteral("Send unique or personalized SMS to every Contact using Excel"));
    });

    m_total = new CColorStatic(QStringLiteral("Total Numbers : 0"), column);
    m_total->setObjectName(QStringLiteral("1011"));
    Theme::speakText(m_total, QStringLiteral("Total Numbers"));
    m_total->setFont(Theme::headingFont());
    m_total->setBkColor(Theme::background());

    m_ctlRecipients = named(new CMyListCtrl(column), 1004, QStringLiteral("Recipient list"));
    m_ctlRecipients->setModel(m_model);
    m_ctlRecipients->horizontalHeader()->setFont(Theme::headingFont());
    m_ctlRecipients->setFont(Theme::dialogFont());
    // 100 pixels held a 14-digit number in the font it was chosen for; this font may be wider.
    const int numberWidth = QFontMetrics(Theme::dialogFont()).horizontalAdvance(QStringLiteral("00447700900123")) + 16;
    m_ctlRecipients->setColumnWidthChecked(0, std::max(100, numberWidth));
    // The message fills the rest of the row: no horizontal scroll bar for short lists.
    m_ctlRecipients->setColumnWidthChecked(1, 400);
    m_ctlRecipients->setFillColumn(1);
    for (int c = 2; c < 6; ++c) {
        m_ctlRecipients->horizontalHeader()->resizeSection(c, 0);
        m_ctlRecipients->hideColumnAt(c);
    }
    m_ctlRecipients->setMinimumHeight(80);
    connect(m_ctlRecipients, &CMyListCtrl::deletePressed, this, &CCorvaneDlg::OnClearSelected);
    connect(m_ctlRecipients, &CMyListCtrl::enterPressed, this, &CCorvaneDlg::OnUpdateRow);
    connect(m_ctlRecipients, &CMyListCtrl::rowActivated, this, &CCorvaneDlg::OnUpdateRow);

    auto* listButtons = new QHBoxLayout;
    auto* updateSelected = named(new QPushButton(QStringLiteral("&Update Selected Messages"), column), 1135,
                                 QStringLiteral("Update Selected Messages"));
    auto* exportButton = named(new QPushButton(QStringLiteral("&Export"), column), 1133, QStringLiteral("Export"));
    auto* clearSelected =
        named(new QPushButton(QStringLiteral("Clear Se&lected"), column), 1008, QStringLiteral("Clear Selected"));
    auto* clearAll = named(new QPushButton(QStringLiteral("Clear All"), column), 1009, QStringLiteral("Clear All"));
    for (QPushButton* b : {updateSelected, exportButton, clearSelected, clearAll})
        listButtons->addWidget(b);
    listButtons->addStretch();
    connect(updateSelected, &QPushButton::clicked, this, &CCorvaneDlg::OnUpdateSelectedMessages);
    connect(exportButton, &QPushButton::clicked, this, [this] { runHook(onExport, QStringLiteral("Export")); });
    connect(clearSelected, &QPushButton::clicked, this, &CCorvaneDlg::OnClearSelected);
    connect(clearAll, &QPushButton::clicked, this, &CCorvaneDlg::OnClearAll);

    auto* composerHead = new QHBoxLayout;
    auto* composerLabel =
        named(new QLabel(QStringLiteral("&Message Composer :"), column), 1138, QStringLiteral("Message Composer :"));
    composerLabel->setFont(Theme::headingFont());
    m_charCounter = new CColorStatic(QStringLiteral("0 Characters "), column);
    m_charCounter->setObjectName(QStringLiteral("1012"));
    Theme::speakText(m_charCounter, QStringLiteral("Character counter"));
    m_charCounter->setBkColor(Theme::background());
    composerHead->addWidget(composerLabel);
    composerHead->addStretch();
    composerHead->addWidget(m_charCounter);

    m_ctlComposer = named(new CMy_Sel_All_Edit(column), 1005, QStringLiteral("Message Composer :"));
    m_ctlComposer->setMaxLength(1600);
    m_ctlComposer->setFont(Theme::bodyFont());
    // Four lines where there is room, two on a short screen.
    m_ctlComposer->setMinimumHeight(52);
    m_ctlComposer->setMaximumHeight(92);
    composerLabel->setBuddy(m_ctlComposer);
    m_counter = new MessageCounter(m_ctlComposer, m_charCounter, this);
    connect(m_ctlComposer, &CMy_Sel_All_Edit::focusLost, this, [this] { m_strMessage = m_ctlComposer->text(); });

    auto* apply = named(new QPushButton(QStringLiteral("Appl&y this message to list items"), column), 1137,
                        QStringLiteral("Apply this message to list items"));
    connect(apply, &QPushButton::clicked, this, &CCorvaneDlg::OnApplyMessage);
    auto* applyRow = new QHBoxLayout;
    applyRow->addStretch();
    applyRow->addWidget(apply);

    v->addWidget(numberGroup);
    v->addWidget(importGroup);
    v->addWidget(m_total);
    v->addWidget(m_ctlRecipients, 3);
    v->addLayout(listButtons);
    v->addLayout(composerHead);
    v->addWidget(m_ctlComposer, 1);
    v->addLayout(applyRow);
    return column;
}

QWidget* CCorvaneDlg::buildOptions()
{
    auto* group = named(new QGroupBox(QStringLiteral("Options"), this), 1026, QStringLiteral("Options"));
    group->setFont(Theme::headingFont());
    auto* v = new QVBoxLayout(group);
    v->setSpacing(8);

    auto* deviceLabel = named(new QLabel(QStringLiteral("Selected Mobile Device :"), group), 1080,
                              QStringLiteral("Selected Mobile Device :"));
    deviceLabel->setFont(Theme::dialogFont());
    m_deviceLine = new CColorStatic(kNoDevice, group);
    m_deviceLine->setObjectName(QStringLiteral("1081"));
    Theme::speakText(m_deviceLine, QStringLiteral("Selected Mobile Device"));
    m_deviceLine->setFont(Theme::headingFont());
    m_deviceLine->setTextColor(Theme::linkColor());
    m_deviceLine->setBkColor(Theme::background());
    m_deviceLine->setWordWrap(true);
    auto* wizard = bitmapButton(group, 1035, Theme::Glyph::Phone, QStringLiteral("Mobile Phone Connection &Wizard"));
    wizard->setFont(Theme::dialogFont());
    wizard->setMinimumHeight(38);
    connect(wizard, &QPushButton::clicked, this,
            [this] { runHook(onConnectionWizard, QStringLiteral("Mobile Phone Connection Wizard")); });

    auto check = [&](int id, const QString& caption) {
        auto* c = named(new QCheckBox(caption, group), id, Theme::withoutMnemonic(caption));
        c->setFont(Theme::dialogFont());
        return c;
    };
    m_delayed = check(1027, QStringLiteral("&Delayed Delivery Options"));
    // Offered while a GSM modem sends: only a modem hands the network's status reports to us.
    m_deliveryReports = new QCheckBox(QStringLiteral("Request delivery reports"), group);
    m_deliveryReports->setObjectName(QStringLiteral("RequestDeliveryReports"));
    m_deliveryReports->setAccessibleName(m_deliveryReports->text());
    m_deliveryReports->setFont(Theme::dialogFont());
    m_deliveryReports->hide();
    auto* pauseRow = new QHBoxLayout;
    auto* pauseEveryLabel = new QLabel(QStringLiteral("Pause every"), group);
    pauseEveryLabel->setObjectName(QStringLiteral("Pause every"));
    m_pauseEvery = named(new QComboBox(group), 1028, QStringLiteral("Pause every"));
    m_pauseEvery->addItems(kPauseEvery);
    auto* smsLabel = new QLabel(QStringLiteral("SMS"), group);
    smsLabel->setObjectName(QStringLiteral("SMS"));
    auto* forLabel = new QLabel(QStringLiteral("&For"), group);
    forLabel->setObjectName(QStringLiteral("For"));
    m_pauseFor = named(new QComboBox(group), 1029, QStringLiteral("For"));
    m_pauseFor->addItems(kPauseFor);
    for (QWidget* w : std::initializer_list<QWidget*>{pauseEveryLabel, m_pauseEvery, smsLabel, forLabel, m_pauseFor}) {
        w->setFont(Theme::dialogFont());
        pauseRow->addWidget(w);
    }
    pauseRow->addStretch();
    pauseEveryLabel->setBuddy(m_pauseEvery);
    forLabel->setBuddy(m_pauseFor);
    onDelayedDeliveryToggled(false);
    connect(m_delayed, &QCheckBox::toggled, this, &CCorvaneDlg::onDelayedDeliveryToggled);

    m_useExclusion = check(1169, QStringLiteral("Use Exclus&ion Rules"));
    connect(m_useExclusion, &QCheckBox::toggled, this, &CCorvaneDlg::onUseExclusionToggled);
    auto* exclusionWizard = named(new QPushButton(QStringLiteral("Exclusion List Wi&zard"), group), 1185,
                                  QStringLiteral("Exclusion List Wizard"));
    exclusionWizard->setFont(Theme::dialogFont());
    exclusionWizard->setIcon(Theme::glyphIcon(Theme::Glyph::Exclusion));
    connect(exclusionWizard, &QPushButton::clicked, this,
            [this] { runHook(onExclusionWizard, QStringLiteral("Exclusion List Wizard")); });
    auto* exclusionRow = new QHBoxLayout;
    exclusionRow->addWidget(m_useExclusion);
    exclusionRow->addStretch();
    exclusionRow->addWidget(exclusionWizard);

    m_skipDuplicates = check(1014, QStringLiteral("S&kip Duplicate Numbers"));
    m_saveSent = check(1013, QStringLiteral("Save Sen&t Items"));
    m_saveTemplates = check(1106, QStringLiteral("Save sent messa&ge to Templates"));
    auto* viewTemplates =
        named(new QPushButton(QStringLiteral("&View Templates"), group), 1107, QStringLiteral("View Templates"));
    viewTemplates->setFont(Theme::dialogFont());
    viewTemplates->setIcon(Theme::glyphIcon(Theme::Glyph::Templates));
    connect(viewTemplates, &QPushButton::clicked, this,
            [this] { runHook(onViewTemplates, QStringLiteral("View Templates")); });
    auto* templatesRow = new QHBoxLayout;
    templatesRow->addWidget(m_saveTemplates);
    templatesRow->addStretch();
    templatesRow->addWidget(viewTemplates);

    // Present in the window but never shown.
    m_unicode = check(1136, QStringLiteral("Unicode SMS"));
    m_clearAfterSend = check(1115, QStringLiteral("Clear all fields after sending SMS"));
    m_parallel = check(1023, QStringLiteral("Parallel Process for SMS Sending"));
    for (QCheckBox* c : {m_unicode, m_clearAfterSend, m_parallel}) {
        c->setEnabled(false);
        c->hide();
    }

    v->addWidget(deviceLabel);
    v->addWidget(m_deviceLine);
    v->addWidget(wizard);
    v->addWidget(m_deliveryReports);
    // Shown (and usable) while two or more GSM modems are selected: they then share the list.
    v->addWidget(m_parallel);
    v->addSpacing(6);
    v->addWidget(m_delayed);
    v->addLayout(pauseRow);
    v->addSpacing(6);
    v->addLayout(exclusionRow);
    v->addWidget(m_skipDuplicates);
    v->addWidget(m_saveSent);
    v->addLayout(templatesRow);
    v->addStretch();
    return group;
}

QWidget* CCorvaneDlg::buildBottom()
{
    auto* bottom = new QWidget(this);
    auto* v = new QVBoxLayout(bottom);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(4);

    auto* buttons = new QHBoxLayout;
    struct Spec
    {
        int id;
        Theme::Glyph glyph;
        const char* caption;
    };
    const Spec specs[] = {{1000, Theme::Glyph::Send, "&Send Sms"},
                          {1025, Theme::Glyph::Reset, "&Reset"},
                          {1024, Theme::Glyph::SentItems, "Sh&ow Sent Item"},
                          {1044, Theme::Glyph::About, "A&bout"},
                          {1045, Theme::Glyph::Help, "&Help"},
                          {1046, Theme::Glyph::Exit, "E&xit"}};
    for (const Spec& s : specs) {
        auto* b = bitmapButton(bottom, s.id, s.glyph, QString::fromLatin1(s.caption));
        b->setFont(Theme::headingFont());
        b->setMinimumSize(120, 40);
        buttons->addWidget(b);
        if (s.id == 1024)
            buttons->addStretch();
    }
    v->addLayout(buttons);
    connect(findChild<QPushButton*>(QStringLiteral("1000")), &QPushButton::clicked, this,
            [this] { runHook(onSendSms, QStringLiteral("Send Sms")); });
    connect(findChild<QPushButton*>(QStringLiteral("1025")), &QPushButton::clicked, this, &CCorvaneDlg::OnReset);
    connect(findChild<QPushButton*>(QStringLiteral("1024")), &QPushButton::clicked, this,
            [this] { runHook(onShowSentItems, QStringLiteral("Show Sent Item")); });
    connect(findChild<QPushButton*>(QStringLiteral("1044")), &QPushButton::clicked, this, &CCorvaneDlg::showAbout);
    connect(findChild<QPushButton*>(QStringLiteral("1045")), &QPushButton::clicked, this, &CCorvaneDlg::showHelp);
    connect(findChild<QPushButton*>(QStringLiteral("1046")), &QPushButton::clicked, this, &CCorvaneDlg::OnExit);

    auto* statusRow = new QHBoxLayout;
    m_statusLine = named(new CColorStatic(kStatusText, bottom), 1016, kStatusText);
    m_statusLine->setFont(Theme::headingFont());
    m_statusLine->setTextColor(Theme::alertColor());
    m_statusLine->setBkColor(Theme::background());
    m_statusLine->setClickable(true);
    connect(m_statusLine, &CColorStatic::clicked, this, [this] {
        if (onStatusLineClicked)
            onStatusLineClicked();
    });
    auto* help = named(new CColorStatic(QStringLiteral("Need help? Click here to contact us."), bottom), 1055,
                       QStringLiteral("Need help? Click here to contact us."));
    help->setFont(Theme::headingFont());
    help->setTextColor(Theme::linkColor());
    help->setBkColor(Theme::background());
    help->setClickable(true);
    connect(help, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });
    statusRow->addWidget(m_statusLine);
    statusRow->addStretch();
    statusRow->addWidget(help);
    v->addLayout(statusRow);

    auto* shareRow = new QHBoxLayout;
    auto* contact = bitmapButton(bottom, 1095, Theme::Glyph::Mail, QStringLiteral("Contact us"));
    contact->setFont(Theme::dialogFont());
    connect(contact, &QPushButton::clicked, this,
            [this] { Support::openPage(this, Support::website() + QStringLiteral("contact")); });
    auto* loved = new QLabel(QStringLiteral("Loved it? share us on"), bottom);
    loved->setObjectName(QStringLiteral("Loved it? share us on"));
    loved->setFont(Theme::dialogFont());
    shareRow->addWidget(contact);
    shareRow->addStretch();
    shareRow->addWidget(loved);
    struct Share
    {
        int id;
        Theme::Glyph glyph;
        const char* name; // for screen readers
        const char* tip;  // the short name of the tooltip
        const char* url;
    };
    const Share shares[] = {{1211, Theme::Glyph::Facebook, "Facebook", "f",
                             "https://www.facebook.com/sharer/sharer.php?u=https://www.ulmex-veva.example/"},
                            {1212, Theme::Glyph::Twitter, "Twitter", "t",
                             "https://twitter.com/intent/tweet?url=https://www.ulmex-veva.example/"},
                            {1213, Theme::Glyph::GooglePlus, "Google+", "g+", "https://www.ulmex-veva.example/share"},
                            {1215, Theme::Glyph::Like, "Like", "like", "https://www.ulmex-veva.example/like"}};
    for (const Share& s : shares) {
        auto* b = new QPushButton(bottom);
        b->setObjectName(QString::number(s.id));
        b->setIcon(Theme::glyphIcon(s.glyph));
        b->setIconSize(QSize(22, 22));
        b->setFlat(true);
        b->setCursor(Qt::PointingHandCursor);
        b->setAccessibleName(QStringLiteral("Share on %1").arg(QString::fromLatin1(s.name)));
        b->setToolTip(QStringLiteral("Share us (%1)").arg(QString::fromLatin1(s.tip)));
        const QString url = QString::fromLatin1(s.url);
        connect(b, &QPushButton::clicked, this, [this, url] { Support::openPage(this, url); });
        shareRow->addWidget(b);
    }
    v->addLayout(shareRow);

    setStyleSheet(QStringLiteral(
        "QPushButton[bitmapButton=\"true\"] { border: 1px solid #8aa6cf; border-radius: 5px; padding: 4px 10px;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #dce7f6); }"
        "QPushButton[bitmapButton=\"true\"]:hover { border-color: #2f7dd1; }"
        "QPushButton[bitmapButton=\"true\"]:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 #c5d6ef, stop:1 #e9f0fa); padding-top: 6px; padding-left: 12px; }"
        "QPushButton[bitmapButton=\"true\"]:focus { border: 2px solid #2f7dd1; }"));
    return bottom;
}

QPoint CCorvaneDlg::FramePlacedOnScreen(const QRect& frame, const QRect& available)
{
    QPoint at = frame.topLeft();
    // The bottom and right edges give way first, so the title bar and the left edge stay in reach.
    if (frame.bottom() > available.bottom())
        at.setY(available.bottom() - frame.height() + 1);
    if (frame.right() > available.right())
        at.setX(available.right() - frame.width() + 1);
    at.setY(std::max(at.y(), available.top()));
    at.setX(std::max(at.x(), available.left()));
    return at;
}

void CCorvaneDlg::fitToScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    // The frame is not known before the window manager has placed the window:
    // leave room for borders and a title bar.
    const QSize room = screen->availableGeometry().size() - kFrameAllowance;
    resize(size().boundedTo(room).expandedTo(minimumSize()));
}
