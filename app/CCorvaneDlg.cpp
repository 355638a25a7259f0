#include "CCorvaneDlg.h"

#include "app/AboutDialogs.h"
#include "app/controls/SupportLinks.h"
#include "ListEditDialogs.h"
#include "MessageCounter.h"
#include "app/controls/Ui.h"
#include "app/core/AppState.h"
#include "app/core/RecipientListModel.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"
#include "device/dialogs/CVistaMessage.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "app/controls/WaitDialogs.h"
#include "store/DataFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdlib>

namespace {

const QStringList kPauseEvery{
    QStringLiteral("1"),   QStringLiteral("2"),   QStringLiteral("3"),   QStringLiteral("4"),   QStringLiteral("5"),
    QStringLiteral("10"),  QStringLiteral("15"),  QStringLiteral("20"),  QStringLiteral("25"),  QStringLiteral("50"),
    QStringLiteral("75"),  QStringLiteral("100"), QStringLiteral("150"), QStringLiteral("200"), QStringLiteral("250"),
    QStringLiteral("300"), QStringLiteral("400"), QStringLiteral("500"), QStringLiteral("1000")};

const QStringList kPauseFor{QStringLiteral("5  Seconds"),  QStringLiteral("10 Seconds"),  QStringLiteral("15 Seconds"),
                            QStringLiteral("20 Seconds"),  QStringLiteral("25 Seconds"),  QStringLiteral("30 Seconds"),
                            QStringLiteral("35 Seconds"),  QStringLiteral("40 Seconds"),  QStringLiteral("45 Seconds"),
                            QStringLiteral("50 Seconds"),  QStringLiteral("55 Seconds"),  QStringLiteral(" 1  Minute"),
                            QStringLiteral(" 2  Minutes"), QStringLiteral(" 3  Minutes"), QStringLiteral(" 4  Minutes"),
                            QStringLiteral(" 5  Minutes"), QStringLiteral(" 6  Minutes"), QStringLiteral(" 7  Minutes"),
                            QStringLiteral(" 8  Minutes"), QStringLiteral(" 9  Minutes"), QStringLiteral("10 Minutes"),
                            QStringLiteral("20 Minutes"),  QStringLiteral("30 Minutes"),  QStringLiteral("40 Minutes"),
                            QStringLiteral("50 Minutes"),  QStringLiteral(" 1  Hour")};

const QString kStatusText = QStringLiteral("Mobile Device is not ready... For More Information, Click here");
const QString kNoDevice = QStringLiteral("No Mobile Phone Device is selected.");
const QString kEmptyList = QStringLiteral("Phone numbers-Messages list is empty.");
const QString kValidNumber = QStringLiteral("Please enter a valid phone number.");

// Said once at start-up; the record operations themselves fail quietly.
QString dataFilesNotice(const DataFiles::EnsureReport& report)
{
    if (report.noProgramFolder)
        return QStringLiteral("The program folder cannot be found, so there is no data folder.\n\nSent items, "
                              "templates and exclusion lists cannot be saved. You can still send messages, but nothing "
                              "will be logged.");
    if (report.failures.contains(DataFiles::dataFolder()))
        return QStringLiteral(
                   "The data folder \"%1\" cannot be written.\n\nSent items, templates and exclusion lists "
                   "cannot be saved in that folder. You can still send messages, but nothing will be logged.")
            .arg(DataFiles::dataFolder());
    return QStringLiteral("These data files cannot be saved:\n\n%1\n\nEach must be a file you may read and write. "
                          "Until then what would go into them is lost; you can still send messages.")
        .arg(report.failures.join(QLatin1Char('\n')));
}

CCorvaneDlg::ExitHandler& exitHandler()
{
    static CCorvaneDlg::ExitHandler handler = [](int code) { std::_Exit(code); };
    return handler;
}

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

void ExclusionCache::assign(const QStringList& numbers)
{
    m_numbers = numbers;
    m_index.clear();
    m_index.reserve(numbers.size());
    for (const QString& n : numbers)
        m_index.add(n);
}

CCorvaneDlg::CCorvaneDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    Theme::applyDialogLook(this);
    m_model = new RecipientListModel(this);
    connect(m_model, &RecipientListModel::rowsInserted, this, &CCorvaneDlg::onRowsInserted);
    connect(m_model, &RecipientListModel::countChanged, this, &CCorvaneDlg::UpdateTotalNumbers);
    connect(m_model, &RecipientListModel::recoveredRowsMarked, this, &CCorvaneDlg::showStatusColumn);
    buildUi();
    connect(m_model, &RecipientListModel::countChanged, this, [this](int count) {
        if (count == 0)
            m_ctlRecipients->hideColumnAt(RecipientListModel::Status);
    });

    m_timer1 = new QTimer(this);
    m_timer1->setInterval(10);
    connect(m_timer1, &QTimer::timeout, this, &CCorvaneDlg::onTimer2);
    m_timer2 = new QTimer(this);
    m_timer2->setInterval(1000);
    connect(m_timer2, &QTimer::timeout, this, &CCorvaneDlg::onTimer2);
    m_timer99 = new QTimer(this);
    m_timer99->setInterval(5000);
    connect(m_timer99, &QTimer::timeout, this, [this] {
        if (runPinProbe)
            runPinProbe();
    });
}

CCorvaneDlg::~CCorvaneDlg()
{
    if (g_pMainDlg == this)
        g_pMainDlg = nullptr;
    // The commands end while the window is still whole: one may wait for its
    // worker, whose last rows still reach the list.
    endCommands();
    // The children go after this object's part is gone: their last signals
    // (a focus leaving the composer) must not reach it.
    for (QWidget* child : findChildren<QWidget*>())
        child->blockSignals(true);
}

void CCorvaneDlg::setExitHandler(ExitHandler handler)
{
    exitHandler() = handler ? std::move(handler) : [](int code) { std::_Exit(code); };
}

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

void CCorvaneDlg::initialise()
{
    g_pMainDlg = this;
    m_ctlNumber->setFormat(std::make_unique<DecimalFormat>());

    const auto first = DataFiles::EnsureDataFiles();
    if (!first.ok())
        Ui::notice(this, dataFilesNotice(first));
    const Registry registry;
    if (registry.isNonEmptyCString(QString::fromLatin1(Registry::kPolicies), QStringLiteral("EnableLUA"))) {
        CVistaMessage advice(this);
        advice.exec();
    }
    DataFiles::EnsureDataFiles();

    m_statusLine->setText(kStatusText);
    m_timer2->start();
    g_bPinProbeOnly = false;
    g_nSendRequest = 0;
    g_bStartPacketSent = false;
    if (runDeviceProbe)
        runDeviceProbe();

    m_ctlNumber->setFocus();
    m_update->setEnabled(false);
    UpdateTotalNumbers();
    m_charCounter->setText(QStringLiteral("0 Characters "));
}

void CCorvaneDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_firstPaintDone)
        return;
    m_firstPaintDone = true;
    // Placed before its frame was known, the window may have its title bar above the
    // screen, where nobody can grab it: once the window manager has framed it, it moves down.
    QTimer::singleShot(300, this, [this] {
        if (const QScreen* screen = this->screen()) {
            const QPoint at = FramePlacedOnScreen(frameGeometry(), screen->availableGeometry());
            if (at != frameGeometry().topLeft())
                move(at);
        }
    });
    // After the first paint: look for the device service, then probe the handset every 5 s.
    QTimer::singleShot(0, this, [this] {
        if (onFirstPaint)
            onFirstPaint();
        m_timer99->start();
    });
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

QString CCorvaneDlg::numberText() const
{
    return m_ctlNumber->text();
}

QString CCorvaneDlg::composerText() const
{
    return m_ctlComposer->text();
}

QString CCorvaneDlg::pauseEveryText() const
{
    return m_pauseEvery->currentText();
}

QString CCorvaneDlg::pauseForText() const
{
    return m_pauseFor->currentText();
}

void CCorvaneDlg::focusNumber()
{
    m_ctlNumber->setFocus();
}

void CCorvaneDlg::focusPauseCombo(int id)
{
    (id == 1028 ? m_pauseEvery : m_pauseFor)->setFocus();
}

void CCorvaneDlg::setAddEnabled(bool enabled)
{
    m_add->setEnabled(enabled);
}

void CCorvaneDlg::setUpdateEnabled(bool enabled)
{
    m_update->setEnabled(enabled);
}

bool CCorvaneDlg::isStatusLineVisible() const
{
    return !m_statusLine->isHidden();
}

void CCorvaneDlg::startFastWatch()
{
    if (!m_timer1->isActive())
        m_timer1->start();
}

void CCorvaneDlg::setWatchTimerRunning(bool running)
{
    if (running && !m_timer2->isActive())
        m_timer2->start();
    else if (!running)
        m_timer2->stop();
}

bool CCorvaneDlg::skipDuplicates() const
{
    return m_skipDuplicates->isChecked();
}
bool CCorvaneDlg::useExclusionRules() const
{
    return m_useExclusion->isChecked();
}
bool CCorvaneDlg::saveSentItems() const
{
    return m_saveSent->isChecked();
}
bool CCorvaneDlg::saveTemplates() const
{
    return m_saveTemplates->isChecked();
}
bool CCorvaneDlg::delayedDelivery() const
{
    return m_delayed->isChecked();
}

bool CCorvaneDlg::IsDuplicateNumber(const QString& number) const
{
    return IsListedNumber(m_model->numbers(), number);
}

bool CCorvaneDlg::IsExcludedNumber(const QString& number) const
{
    return m_exclusionCache.contains(number);
}

QString CCorvaneDlg::NormalizeImportedNumber(const QString& raw) const
{
    return ::NormalizeImportedNumber(raw, ImportSwitches{skipDuplicates(), useExclusionRules()}, m_model->numbers(),
                                     m_exclusionCache.index());
}

void CCorvaneDlg::UpdateTotalNumbers()
{
    m_total->setText(QStringLiteral("Total Numbers : %1").arg(m_model->count()));
}

void CCorvaneDlg::LoadExclusionNumbers()
{
    if (!useExclusionRules())
        return;
    m_exclusionCache.clear();
    auto* wait = new CPlease_Wail_Modeless(this);
    wait->setAttribute(Qt::WA_DeleteOnClose);
    wait->showCentred();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const auto loaded = DataFiles::LoadExclusionNumbers();
    QApplication::restoreOverrideCursor();
    wait->close();
    if (!loaded.inUseReadable) {
        Ui::notice(this, QStringLiteral("Error in file accessing."));
        return;
    }
    m_exclusionCache.assign(loaded.numbers);
}

void CCorvaneDlg::showStatusColumn()
{
    constexpr int kStatusWidth = 130;
    const int column = RecipientListModel::Status;
    if (m_ctlRecipients->isColumnShown(column))
        return;
    m_ctlRecipients->showColumnAt(column);
    // Beside the number: after the 1000-pixel message column it would be out of sight.
    QHeaderView* header = m_ctlRecipients->horizontalHeader();
    header->moveSection(header->visualIndex(column), header->visualIndex(RecipientListModel::Number) + 1);
    m_ctlRecipients->setColumnWidthChecked(column, kStatusWidth);
}

void CCorvaneDlg::setStatusLineVisible(bool visible)
{
    m_statusLine->setVisible(visible);
}

void CCorvaneDlg::setDeviceLine(const QString& text)
{
    m_deviceLine->setText(text);
}

QString CCorvaneDlg::deviceLine() const
{
    return m_deviceLine->text();
}

void CCorvaneDlg::onRowsInserted()
{
    const QString composer = m_ctlComposer->text();
    if (m_strAppliedMessage.isEmpty() && !composer.isEmpty())
        m_strAppliedMessage = composer;
}

void CCorvaneDlg::OnAdd()
{
    m_strNumber = m_ctlNumber->text();
    m_strMessage = m_ctlComposer->text();
    auto reject = [this](const QString& text) {
        Ui::notice(this, text);
        m_ctlNumber->setFocus();
    };
    const QString trimmed = m_strNumber.trimmed();
    if (trimmed.isEmpty())
        return reject(kValidNumber);
    const std::optional<QString> number = NormalizeTypedNumber(trimmed);
    if (!number)
        return reject(kValidNumber);
    if (skipDuplicates() && IsDuplicateNumber(*number))
        return reject(QStringLiteral("Entered number already exists."));
    if (useExclusionRules() && IsExcludedNumber(*number))
        return reject(QStringLiteral("Entered number is in exclusion list."));

    m_model->insertRecipient(0, *number, m_strMessage);
    UpdateTotalNumbers();
    m_ctlNumber->clear();
    m_ctlNumber->setFocus();
}

void CCorvaneDlg::OnClearSelected()
{
    if (m_model->count() == 0) {
        Ui::notice(this, kEmptyList);
        m_ctlNumber->setFocus();
        return;
    }
    const QList<int> rows = m_ctlRecipients->selectedRowsAscending();
    if (rows.isEmpty() || m_model->number(rows.first()).trimmed().isEmpty()) {
        Ui::notice(this,
                   QStringLiteral("Please select at least one record from the recipient number list to continue."));
        return;
    }
    const int mark = m_ctlRecipients->currentIndex().isValid() ? m_ctlRecipients->currentIndex().row() : rows.first();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto* wait = new CPlease_Wail_Modeless(this);
    wait->setAttribute(Qt::WA_DeleteOnClose);
    wait->showCentred();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    m_model->removeRecipients(rows);
    m_ctlNumber->clear();
    m_add->setEnabled(true);

    UpdateTotalNumbers();
    m_ctlRecipients->setFocus();
    m_ctlRecipients->clearSelection();
    if (mark < m_model->count())
        m_ctlRecipients->selectOnly(mark);
    setEnabled(true);
    wait->close();
    QApplication::restoreOverrideCursor();
    if (m_model->count() == 0) {
        m_ctlNumber->clear();
        m_ctlNumber->setFocus();
    }
}

void CCorvaneDlg::OnClearAll()
{
    if (m_model->count() == 0) {
        Ui::notice(this, kEmptyList);
    } else if (Ui::messageBox(
                   this,
                   QStringLiteral("This option will clear the entire list contents. Are you sure you want to "
                                  "continue clearing the entire list?"),
                   QStringLiteral("Message"), Ui::Buttons::YesNo, Ui::Icon::Warning) == Ui::IdYes) {
        m_model->clear();
        UpdateTotalNumbers();
        m_ctlNumber->clear();
        m_add->setEnabled(true);
        m_update->setEnabled(false);
    }
    m_ctlNumber->setFocus();
}

void CCorvaneDlg::OnReset()
{
    m_strAppliedMessage.clear();
    m_model->clear();
    UpdateTotalNumbers();
    m_ctlComposer->blockSignals(true);
    m_ctlComposer->clear();
    m_ctlComposer->blockSignals(false);
    m_charCounter->setText(QStringLiteral("0 Characters "));
    for (QCheckBox* c : {m_skipDuplicates, m_saveTemplates, m_useExclusion, m_saveSent, m_delayed, m_parallel})
        c->setChecked(false);
    onDelayedDeliveryToggled(false);
    m_ctlNumber->clear();
    m_add->setEnabled(true);
    m_update->setEnabled(false);
    m_ctlNumber->setFocus();
}

void CCorvaneDlg::onUseExclusionToggled(bool checked)
{
    if (checked)
        LoadExclusionNumbers();
}

void CCorvaneDlg::onDelayedDeliveryToggled(bool checked)
{
    m_pauseEvery->setEnabled(checked);
    m_pauseFor->setEnabled(checked);
    m_pauseEvery->setCurrentIndex(checked ? kPauseEvery.indexOf(QStringLiteral("15")) : -1);
    m_pauseFor->setCurrentIndex(checked ? kPauseFor.indexOf(QStringLiteral(" 2  Minutes")) : -1);
}

void CCorvaneDlg::OnApplyMessage()
{
    if (m_model->count() == 0) {
        Ui::notice(this, kEmptyList);
        m_ctlNumber->setFocus();
        return;
    }
    if (m_ctlComposer->text().trimmed().isEmpty()) {
        Ui::notice(this, QStringLiteral("Please enter some text message."));
        m_ctlComposer->setFocus();
        return;
    }
    CFill_Msg_In_List dialog(this, m_model, m_ctlRecipients, m_ctlComposer->text());
    if (dialog.exec() == QDialog::Accepted)
        m_strAppliedMessage = m_ctlComposer->text();
}

void CCorvaneDlg::OnUpdateSelectedMessages()
{
    if (m_model->count() == 0) {
        Ui::notice(this, kEmptyList);
        m_ctlNumber->setFocus();
        return;
    }
    if (m_ctlRecipients->selectedRowsAscending().isEmpty()) {
        Ui::notice(this, QStringLiteral(
                             "Please select at least one record from the phone numbers-messages list to continue."));
        return;
    }
    CUpdate_Selected_Item_SMS dialog(this, m_model, m_ctlRecipients);
    dialog.exec();
}

void CCorvaneDlg::OnUpdateRow()
{
    const int row = m_ctlRecipients->firstSelectedRow();
    if (row < 0 || m_model->number(row).trimmed().isEmpty())
        return;
    const QString mode =
        m_model->headerData(RecipientListModel::Message, Qt::Horizontal).toString() == QLatin1String("Message")
            ? QStringLiteral("MSG")
            : QStringLiteral("PB");
    CUpdate_Num_Message dialog(this, row, m_model->number(row), m_model->message(row), mode);
    dialog.skipDuplicates = skipDuplicates();
    dialog.useExclusion = useExclusionRules();
    dialog.isListedElsewhere = [this](const QString& n, int r) { return m_model->isListedElsewhere(n, r); };
    dialog.isExcluded = [this](const QString& n) { return IsExcludedNumber(n); };
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString number = dialog.number();
    if (number.startsWith(QLatin1Char('+')))
        number.replace(0, 1, QStringLiteral("00"));
    if (row < m_model->count()) {
        m_model->setNumber(row, number);
        UpdateTotalNumbers();
        if (mode == QLatin1String("MSG"))
            m_model->setMessage(row, dialog.message());
    }
    m_ctlRecipients->setFocus();
}

void CCorvaneDlg::onTimer2()
{
    if (!g_strDevicePin.isEmpty() && !g_strDesktopManager.isEmpty())
        setStatusLineVisible(false);
    else
        g_bHandsetLost = false;
    if (!g_strDevicePin.isEmpty() || !runDeviceProbe)
        return;
    // Timer 1 ticks every 10 ms: look at the process list at most once a second.
    if (!m_processScan.isValid() || m_processScan.elapsed() >= 1000) {
        m_processScan.start();
        m_desktopManagerRunning = isDesktopManagerRunning(runningProcessNames());
    }
    if (m_desktopManagerRunning)
        runDeviceProbe();
}

void CCorvaneDlg::OnExit()
{
    if (isMinimized())
        showNormal();
    const int answer = Ui::messageBox(this,
                                      QStringLiteral("Do you really want to exit from 'Ulmex Veva SMS - BlackBerry "
                                                     "Mobile Phones'?"),
                                      QStringLiteral("Message"), Ui::Buttons::YesNo, Ui::Icon::Question);
    if (answer != Ui::IdYes)
        return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == QLatin1String("Ulmex Veva SMS - BlackBerry Mobile Phones Help Manual"))
            w->close();
    }
    exitHandler()(0);
}

void CCorvaneDlg::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

void CCorvaneDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Cancel:
        event->accept();
        return;
    case Qt::Key_F1:
        event->accept();
        showHelp();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CCorvaneDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    OnExit();
}

void CCorvaneDlg::reject()
{
    // Escape never closes the main window.
}

void CCorvaneDlg::accept()
{
    // Neither does Enter.
}

bool CCorvaneDlg::eventFilter(QObject* watched, QEvent* event)
{
    return QDialog::eventFilter(watched, event);
}

void CCorvaneDlg::showAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void CCorvaneDlg::showHelp()
{
    HelpSupportDialog dialog(this);
    dialog.exec();
}

void CCorvaneDlg::runHook(const std::function<void()>& hook, const QString& feature)
{
    if (hook)
        hook();
    else
        notAvailableYet(feature);
}

void CCorvaneDlg::notAvailableYet(const QString& feature)
{
    Ui::notice(this, QStringLiteral("\"%1\" is not available in this version yet.").arg(feature));
}
