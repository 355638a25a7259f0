// The wizard's window: its three pages, which of them shows, and its closing.
// What the pages' buttons do is in CExclusion_WizardSteps.cpp, the file work in
// CExclusion_WizardFiles.cpp.

#include "CExclusion_Wizard.h"

#include "CExclusion_WizardShared.h"
#include "DialogWorker.h"
#include "ListModels.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"
#include "app/controls/WaitDialogs.h"
#include "store/ExclusionLists.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using ExclusionWizard::isBlank;

namespace {

const QString kListExplanation = QStringLiteral(
    "Exclusion List Wizard allows you to maintain the Lists of contacts or Groups, which you may need to exclude "
    "time to time when sending messages.\n\nFor Example, if you have lists of contacts of Marketing, Administration, "
    "R & D and Customer Care Team members and you want to send messages to all the teams \u2018Except\u2019 "
    "Administration team, you can apply exclusion rules to Administration team members contacts list.");
const QString kNameExplanation =
    QStringLiteral("\n\nGive a friendly name to your Exclusion list so that you can identify it easily.");

QDialog* pleaseWait(QWidget* owner)
{
    auto* wait = new CPlease_Wail_Modeless(owner);
    wait->showCentred();
    return wait;
}

} // namespace

CExclusion_Wizard::CExclusion_Wizard(QWidget* parent)
    : QDialog(parent), m_available(new TextListModel(QStringLiteral("Available Lists"), this)),
      m_inUse(new TextListModel(QStringLiteral("Exclude when sending SMS"), this)),
      m_numbers(new TextListModel(QStringLiteral("Exclusion Number"), this)), m_worker(new DialogWorker(this)),
      m_wait(this, pleaseWait), m_firstLoad(this)
{
    setObjectName(QStringLiteral("200"));
    setWindowTitle(QStringLiteral("Exclusion List Wizard"));
    Theme::applyDialogLook(this);

    m_info = new QGroupBox(QStringLiteral("Information"), this);
    m_info->setObjectName(QStringLiteral("1191"));
    m_info->setFont(Theme::headingFont());
    m_infoText = DialogParts::label(m_info, 1132, kListExplanation);
    m_infoText->setFont(Theme::dialogFont());
    m_infoText->setWordWrap(true);
    m_infoText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* inInfo = new QVBoxLayout(m_info);
    inInfo->addWidget(m_infoText);

    m_listPage = buildListPage();
    m_namePage = buildNamePage();
    m_numbersPage = buildNumbersPage();

    m_back = DialogParts::button(this, 1176, QStringLiteral("< Back"));
    m_next = DialogParts::button(this, 1101, QStringLiteral("Next >"));
    m_finish = DialogParts::button(this, 1178, QStringLiteral("Finish"));
    m_wizardCancel = DialogParts::button(this, 1116, QStringLiteral("Cancel"));
    connect(m_back, &QPushButton::clicked, this, &CExclusion_Wizard::OnBack);
    connect(m_next, &QPushButton::clicked, this, &CExclusion_Wizard::OnNext);
    connect(m_finish, &QPushButton::clicked, this, &CExclusion_Wizard::OnFinish);
    connect(m_wizardCancel, &QPushButton::clicked, this, &CExclusion_Wizard::OnCancel);
    auto* footer = new QHBoxLayout;
    footer->addWidget(DialogParts::supportLink(this));
    footer->addStretch();
    for (QPushButton* b : {m_back, m_next, m_finish, m_wizardCancel})
        footer->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 8);
    layout->addWidget(m_info);
    layout->addWidget(m_listPage, 1);
    layout->addWidget(m_namePage, 1);
    layout->addWidget(m_numbersPage, 1);
    layout->addLayout(footer);
    resize(560, 470);

    connect(m_numbers, &TextListModel::countChanged, this, &CExclusion_Wizard::updateNumberCount);
    connect(m_numbers, &TextListModel::rowsInserted, this, [this] { m_numbersChanged = true; });
    connect(m_numbers, &TextListModel::rowsRemoved, this, [this] { m_numbersChanged = true; });
    connect(m_numbers, &TextListModel::dataChanged, this, [this] { m_numbersChanged = true; });
    showPage(Page::List);
}

CExclusion_Wizard::~CExclusion_Wizard()
{
    m_worker->join();
}

QWidget* CExclusion_Wizard::buildListPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("listPage"));
    m_availableList = DialogParts::listView(page, 1172, QStringLiteral("Available Lists"));
    m_availableList->setModel(m_available);
    m_inUseList = DialogParts::listView(page, 1173, QStringLiteral("Exclude when sending SMS"));
    m_inUseList->setModel(m_inUse);
    for (CMyListCtrl* view : {m_availableList, m_inUseList}) {
        view->horizontalHeader()->resizeSection(0, 200);
        view->horizontalHeader()->setFont(Theme::headingFont());
        view->setMinimumWidth(200);
        connect(view, &CMyListCtrl::enterPressed, this, [this, view] {
            const int row = view->firstSelectedRow();
            if (row >= 0 && !isBlank(view->model()->index(row, 0).data().toString()))
                OnUpdate(view);
        });
        connect(view, &CMyListCtrl::rowActivated, this, [this, view](int row) {
            if (!isBlank(view->model()->index(row, 0).data().toString()))
                OnUpdate(view);
        });
    }
    connect(m_availableList, &CMyListCtrl::deletePressed, this, &CExclusion_Wizard::OnDelete);
    connect(m_inUseList, &CMyListCtrl::deletePressed, this, &CExclusion_Wizard::OnRemove);

    auto* add = DialogParts::button(page, 1183, QStringLiteral("Add >>"));
    auto* addAll = DialogParts::button(page, 1188, QStringLiteral("Add All >>"));
    auto* remove = DialogParts::button(page, 1186, QStringLiteral("<< Remove"));
    auto* removeAll = DialogParts::button(page, 1189, QStringLiteral("<< Remove All"));
    connect(add, &QPushButton::clicked, this, &CExclusion_Wizard::OnAdd);
    connect(addAll, &QPushButton::clicked, this, &CExclusion_Wizard::OnAddAll);
    connect(remove, &QPushButton::clicked, this, &CExclusion_Wizard::OnRemove);
    connect(removeAll, &QPushButton::clicked, this, &CExclusion_Wizard::OnRemoveAll);
    auto* arrows = new QVBoxLayout;
    arrows->addStretch();
    for (QPushButton* b : {add, addAll, remove, removeAll})
        arrows->addWidget(b);
    arrows->addStretch();

    auto* addNew = DialogParts::button(page, 1133, QStringLiteral("Add New"));
    auto* update = DialogParts::button(page, 1135, QStringLiteral("Update"));
    auto* del = DialogParts::button(page, 1175, QStringLiteral("Delete"));
    auto* save = DialogParts::button(page, 1184, QStringLiteral("Save Applied"));
    auto* cancel = DialogParts::button(page, 1114, QStringLiteral("Cancel"));
    connect(addNew, &QPushButton::clicked, this, &CExclusion_Wizard::OnAddNew);
    connect(update, &QPushButton::clicked, this, [this] { OnUpdate(m_availableList); });
    connect(del, &QPushButton::clicked, this, &CExclusion_Wizard::OnDelete);
    connect(save, &QPushButton::clicked, this, &CExclusion_Wizard::OnSaveApplied);
    connect(cancel, &QPushButton::clicked, this, &CExclusion_Wizard::OnCancel);

    auto* views = new QHBoxLayout;
    views->addWidget(m_availableList, 1);
    views->addLayout(arrows);
    views->addWidget(m_inUseList, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {addNew, update, del, save})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(views, 1);
    layout->addLayout(buttons);
    return page;
}

QWidget* CExclusion_Wizard::buildNamePage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("namePage"));
    auto* caption = DialogParts::label(page, 1177, QStringLiteral("Exclusion List Name : "));
    caption->setFont(Theme::headingFont());
    m_name = new QLineEdit(page);
    m_name->setObjectName(QStringLiteral("1174"));
    m_name->setAccessibleName(QStringLiteral("Exclusion List Name :"));
    m_name->setMaxLength(ExclusionLists::kMaxNameLength);
    caption->setBuddy(m_name);
    auto* example = DialogParts::label(page, 1203, QStringLiteral("For Example :"));
    auto* sample = DialogParts::label(
        page, 1202, QStringLiteral("\u2018Sales Team members\u2019 or \u2018Students of Class \u2013 11\u2019"));

    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 16, 0, 0);
    grid->addWidget(caption, 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(example, 1, 0);
    grid->addWidget(sample, 1, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* CExclusion_Wizard::buildNumbersPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("numbersPage"));
    m_current = DialogParts::label(page, 1155, QStringLiteral("Currently using exclusion list : "));
    m_current->setFont(Theme::headingFont());

    auto* group = new QGroupBox(page);
    group->setObjectName(QStringLiteral("1193"));
    auto* fileCaption = DialogParts::label(group, 1185, QStringLiteral("Load Exclusion Number from File :"));
    m_path = new QLineEdit(group);
    m_path->setObjectName(QStringLiteral("1154"));
    m_path->setAccessibleName(QStringLiteral("Load Exclusion Number from File :"));
    m_path->setReadOnly(true);
    fileCaption->setBuddy(m_path);
    auto* browse = DialogParts::button(group, 1115, QStringLiteral("..."));
    browse->setAccessibleName(QStringLiteral("Browse"));
    browse->setFixedWidth(32);
    auto* load = DialogParts::button(group, 1192, QStringLiteral("Load"));
    auto* orLabel = DialogParts::label(group, 1020, QStringLiteral("OR"));
    orLabel->setFont(Theme::headingFont());
    auto* numberCaption = DialogParts::label(group, 1182, QStringLiteral("Enter Exclusion Number :"));
    m_number = new CSpecialEdit(group);
    m_number->setObjectName(QStringLiteral("1181"));
    m_number->setAccessibleName(QStringLiteral("Enter Exclusion Number :"));
    m_number->setFormat(std::make_unique<DecimalFormat>());
    m_number->setMaxLength(ExclusionLists::kMaxNumberLength);
    numberCaption->setBuddy(m_number);
    auto* addNumber = DialogParts::button(group, 1180, QStringLiteral("Add Number"));
    connect(browse, &QPushButton::clicked, this, &CExclusion_Wizard::OnBrowse);
    connect(load, &QPushButton::clicked, this, &CExclusion_Wizard::OnLoad);
    connect(addNumber, &QPushButton::clicked, this, &CExclusion_Wizard::OnAddNumber);
    connect(m_number, &CSpecialEdit::returnPressedInEdit, this, &CExclusion_Wizard::OnAddNumber);

    auto* grid = new QGridLayout(group);
    grid->addWidget(fileCaption, 0, 0);
    grid->addWidget(m_path, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(load, 0, 3);
    grid->addWidget(orLabel, 1, 0, 1, 4, Qt::AlignHCenter);
    grid->addWidget(numberCaption, 2, 0);
    grid->addWidget(m_number, 2, 1);
    grid->addWidget(addNumber, 2, 2, 1, 2);
    grid->setColumnStretch(1, 1);

    m_numberList = DialogParts::listView(page, 1179, QStringLiteral("Exclusion Number"));
    m_numberList->setModel(m_numbers);
    m_numberList->horizontalHeader()->resizeSection(0, 200);
    m_numberList->horizontalHeader()->setFont(Theme::headingFont());
    connect(m_numberList, &CMyListCtrl::enterPressed, this, &CExclusion_Wizard::OnUpdateNumber);
    connect(m_numberList, &CMyListCtrl::rowActivated, this, &CExclusion_Wizard::OnUpdateNumber);
    connect(m_numberList, &CMyListCtrl::deletePressed, this, &CExclusion_Wizard::OnRemoveNumber);
    auto* updateNumber = DialogParts::button(page, 1195, QStringLiteral("Update Number"));
    auto* removeNumber = DialogParts::button(page, 1187, QStringLiteral("Remove Number"));
    connect(updateNumber, &QPushButton::clicked, this, &CExclusion_Wizard::OnUpdateNumber);
    connect(removeNumber, &QPushButton::clicked, this, &CExclusion_Wizard::OnRemoveNumber);
    m_total = DialogParts::label(page, 1102, QStringLiteral("Total Numbers : 0"));
    m_total->setFont(Theme::headingFont());

    auto* side = new QVBoxLayout;
    side->addWidget(updateNumber);
    side->addWidget(removeNumber);
    side->addStretch();
    side->addWidget(m_total);
    auto* lower = new QHBoxLayout;
    lower->addWidget(m_numberList, 1);
    lower->addLayout(side);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_current);
    layout->addWidget(group);
    layout->addLayout(lower, 1);
    return page;
}

void CExclusion_Wizard::showPage(Page page)
{
    m_page = page;
    m_listPage->setVisible(page == Page::List);
    m_namePage->setVisible(page == Page::Name);
    m_numbersPage->setVisible(page == Page::Numbers);
    m_info->setVisible(page != Page::Numbers);
    const QString explanation = page == Page::Name ? kNameExplanation : kListExplanation;
    DialogParts::setLiveText(m_infoText, explanation);
    m_back->setVisible(page != Page::List);
    m_next->setVisible(page == Page::Name);
    m_next->setEnabled(true);
    m_finish->setVisible(page == Page::Numbers);
    m_wizardCancel->setVisible(page != Page::List);
}

// --- Closing --------------------------------------------------------------------

void CExclusion_Wizard::OnCancel()
{
    if (isBusy())
        return;
    QDialog::reject();
}

void CExclusion_Wizard::reject()
{
    // Escape does nothing: only the Cancel buttons and the close box end the wizard.
}

void CExclusion_Wizard::accept()
{
    // Neither does Enter.
}

void CExclusion_Wizard::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::reject();
}

void CExclusion_Wizard::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
