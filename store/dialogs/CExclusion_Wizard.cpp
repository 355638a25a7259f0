#include "CExclusion_Wizard.h"

#include "DialogWorker.h"
#include "ExclusionWorkbookImport.h"
#include "ListModels.h"
#include "app/controls/GuiThread.h"
#include "app/controls/Ui.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"
#include "import/workbook/Workbook.h"
#include "app/controls/WaitDialogs.h"
#include "store/DataFiles.h"
#include "store/ExclusionLists.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <optional>

using DialogParts::WaitScope;
using ExclusionLists::NameProblem;

namespace {

const QString kListExplanation = QStringLiteral(
    "Exclusion List Wizard allows you to maintain the Lists of contacts or Groups, which you may need to exclude "
    "time to time when sending messages.\n\nFor Example, if you have lists of contacts of Marketing, Administration, "
    "R & D and Customer Care Team members and you want to send messages to all the teams \u2018Except\u2019 "
    "Administration team, you can apply exclusion rules to Administration team members contacts list.");
const QString kNameExplanation =
    QStringLiteral("\n\nGive a friendly name to your Exclusion list so that you can identify it easily.");
const QString kFileError = QStringLiteral("Error in file accessing.");
const QString kAvailableEmpty = QStringLiteral("Available list is empty.");
const QString kInUseEmpty = QStringLiteral("Exclude when sending SMS list is empty.");
const QString kSelectAvailable = QStringLiteral("Please select a record from the available list to continue.");
const QString kNumbersEmpty = QStringLiteral("Exclusion number list is empty.");
const QString kValidNumber = QStringLiteral("Please enter a valid phone number.");
const QString kNumberExists = QStringLiteral("Entered number already exists.");
const QString kFileFilter = QStringLiteral("Text & Excel Files(*.txt;*.xls;*.xlsx)|*.txt;*.xls;*.xlsx;*.csv;*.ods||");

enum LoadOutcome
{
    Loaded,
    NotAnsi,
    EmptyFile,
    Ended
};

struct ImportResult
{
    int outcome = Loaded;
    QStringList added;
};

QDialog* pleaseWait(QWidget* owner)
{
    auto* wait = new CPlease_Wail_Modeless(owner);
    wait->showCentred();
    return wait;
}

bool isBlank(const QString& s)
{
    return s.trimmed().isEmpty();
}

QString extensionOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

} // namespace

// --- CUpdate_Ex_Num -------------------------------------------------------------

CUpdate_Ex_Num::CUpdate_Ex_Num(QWidget* parent, const QString& oldNumber, int row, const TextListModel* numbers)
    : QDialog(parent), m_numbers(numbers)
{
    setObjectName(QStringLiteral("207"));
    setWindowTitle(QStringLiteral("Update Exclusion Number"));
    Theme::applyDialogLook(this);

    auto* caption = DialogParts::label(this, 1132, QStringLiteral("Exclusion Number :"));
    caption->setFont(Theme::headingFont());
    m_edit = new CSpecialEdit(this);
    m_edit->setObjectName(QStringLiteral("1194"));
    m_edit->setAccessibleName(QStringLiteral("Exclusion Number :"));
    m_edit->setFormat(std::make_unique<DecimalFormat>());
    m_edit->setMaxLength(ExclusionLists::kMaxNumberLength);
    m_edit->setText(oldNumber);
    caption->setBuddy(m_edit);
    m_old = new QLineEdit(oldNumber, this);
    m_old->setObjectName(QStringLiteral("oldNumber"));
    m_old->hide();
    m_row = new QLineEdit(QString::number(row), this);
    m_row->setObjectName(QStringLiteral("row"));
    m_row->hide();

    auto* update = DialogParts::button(this, 1, QStringLiteral("Update"));
    auto* cancel = DialogParts::button(this, 2, QStringLiteral("Cancel"));
    update->setDefault(true);
    connect(update, &QPushButton::clicked, this, &CUpdate_Ex_Num::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_edit, &CSpecialEdit::returnPressedInEdit, this, &CUpdate_Ex_Num::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(update);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 10);
    layout->addWidget(caption);
    layout->addWidget(m_edit);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(300, 150);
    m_edit->setFocus();
}

int CUpdate_Ex_Num::row() const
{
    return m_row->text().toInt();
}

void CUpdate_Ex_Num::accept()
{
    const QString typed = m_edit->text();
    if (typed == m_old->text()) {
        m_number = typed;
        QDialog::accept();
        return;
    }
    const std::optional<QString> number = ExclusionLists::NormalizeUpdatedNumber(typed);
    if (!number) {
        Ui::notice(this, kValidNumber);
        m_edit->setFocus();
        return;
    }
    if (m_numbers && m_numbers->containsIgnoringCase(*number)) {
        Ui::notice(this, kNumberExists);
        return;
    }
    m_number = *number;
    QDialog::accept();
}

// --- CExclusion_Wizard ----------------------------------------------------------

CExclusion_Wizard::CExclusion_Wizard(QWidget* parent)
    : QDialog(parent), m_available(new TextListModel(QStringLiteral("Available Lists"), this)),
      m_inUse(new TextListModel(QStringLiteral("Exclude when sending SMS"), this)),
      m_numbers(new TextListModel(QStringLiteral("Exclusion Number"), this)), m_worker(new DialogWorker(this)),
      m_wait(this, pleaseWait)
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

void CExclusion_Wizard::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_openStarted) {
        m_openStarted = true;
        QTimer::singleShot(0, this, &CExclusion_Wizard::openLists);
    }
}

void CExclusion_Wizard::openLists()
{
    DataFiles::EnsureDataFiles();
    auto readNames = [this](const QString& path) {
        QStringList names;
        const std::optional<QStringList> lines = DataFiles::ReadExclusionFile(path);
        if (!lines) {
            Ui::notice(this, kFileError);
            return names;
        }
        // A name that could not have been entered here would name a file outside the list folder.
        for (const QString& name : *lines) {
            if (ExclusionLists::IsUsableListName(name))
                names.append(name);
        }
        return names;
    };
    m_available->setTexts(readNames(DataFiles::exclusionIndexPath()));
    m_inUse->setTexts(readNames(DataFiles::inUseListPath()));
    m_opened = true;
    m_availableList->setFocus();
    DialogParts::reselectMark(m_availableList, 0);
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

void CExclusion_Wizard::resetSteps()
{
    m_addStep = 0;
    m_editStep = 0;
}

void CExclusion_Wizard::clearEdits()
{
    m_name->clear();
    m_number->clear();
    m_path->clear();
}

void CExclusion_Wizard::updateNumberCount()
{
    DialogParts::setLiveText(m_total, QStringLiteral("Total Numbers : %1").arg(m_numbers->count()));
}

void CExclusion_Wizard::listsChanged()
{
    if (onListsChanged)
        onListsChanged();
}

// --- List page ------------------------------------------------------------------

void CExclusion_Wizard::OnAdd()
{
    if (m_available->count() == 0) {
        Ui::notice(this, kAvailableEmpty);
        return;
    }
    const QList<int> rows = m_availableList->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_available->text(rows.first()))) {
        Ui::notice(this, kSelectAvailable);
        return;
    }
    QStringList toAdd;
    for (int row : rows) {
        const QString name = m_available->text(row);
        if (!m_inUse->containsIgnoringCase(name) && !toAdd.contains(name, Qt::CaseInsensitive))
            toAdd.append(name);
    }
    if (toAdd.isEmpty()) {
        Ui::notice(this, QStringLiteral("Selected list is already in use."));
        m_availableList->setFocus();
        return;
    }
    m_inUse->insertTexts(m_inUse->count(), toAdd);
}

void CExclusion_Wizard::OnAddAll()
{
    if (m_available->count() == 0) {
        Ui::notice(this, kAvailableEmpty);
        return;
    }
    QStringList toAdd;
    for (const QString& name : m_available->texts()) {
        if (!m_inUse->containsIgnoringCase(name) && !toAdd.contains(name, Qt::CaseInsensitive))
            toAdd.append(name);
    }
    if (toAdd.isEmpty()) {
        Ui::notice(this, QStringLiteral("All available lists are already in use."));
        return;
    }
    m_inUse->insertTexts(m_inUse->count(), toAdd);
}

void CExclusion_Wizard::OnRemove()
{
    if (m_inUse->count() == 0) {
        Ui::notice(this, kInUseEmpty);
        return;
    }
    const QList<int> rows = m_inUseList->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_inUse->text(rows.first()))) {
        Ui::notice(this, QStringLiteral("Please select a record from Exclude when sending SMS list to continue."));
        return;
    }
    const int mark = DialogParts::selectionMark(m_inUseList);
    m_inUse->removeTextRows(rows);
    DialogParts::reselectMark(m_inUseList, mark);
}

void CExclusion_Wizard::OnRemoveAll()
{
    if (m_inUse->count() == 0) {
        Ui::notice(this, kInUseEmpty);
        return;
    }
    m_inUse->clear();
}

void CExclusion_Wizard::OnSaveApplied()
{
    if (!Ui::confirm(this, QStringLiteral("Are you sure you want to continue?")))
        return;
    DataFiles::EnsureDataFiles();
    if (!DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), m_inUse->texts()).isEmpty()) {
        Ui::notice(this, kFileError);
        return;
    }
    listsChanged();
}

void CExclusion_Wizard::OnDelete()
{
    if (m_available->count() == 0) {
        Ui::notice(this, kAvailableEmpty);
        return;
    }
    const QList<int> rows = m_availableList->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_available->text(rows.first()))) {
        Ui::notice(this, kSelectAvailable);
        return;
    }
    if (!Ui::confirm(this, QStringLiteral("Are you sure you want to delete the selected available list?")))
        return;
    const int mark = DialogParts::selectionMark(m_availableList);
    QStringList deleted;
    for (int row : rows)
        deleted.append(m_available->text(row));
    QList<int> inUseRows;
    for (int r = 0; r < m_inUse->count(); ++r) {
        if (deleted.contains(m_inUse->text(r), Qt::CaseInsensitive))
            inUseRows.append(r);
    }
    QStringList remainingInUse = m_inUse->texts();
    for (qsizetype i = inUseRows.size() - 1; i >= 0; --i)
        remainingInUse.removeAt(inUseRows.at(i));
    QStringList remainingLists = m_available->texts();
    for (qsizetype i = rows.size() - 1; i >= 0; --i)
        remainingLists.removeAt(rows.at(i));

    // The lists first, the number files after: a crash in between leaves an
    // orphan number file, never a listed list without its numbers.
    DataFiles::EnsureDataFiles();
    if (!DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), remainingInUse).isEmpty()) {
        Ui::notice(this, kFileError);
        return;
    }
    m_inUse->removeTextRows(inUseRows);
    if (!DataFiles::RewriteExclusionFile(DataFiles::exclusionIndexPath(), remainingLists).isEmpty()) {
        Ui::notice(this, kFileError);
        listsChanged();
        return;
    }
    m_available->removeTextRows(rows);
    for (const QString& name : std::as_const(deleted))
        QFile::remove(DataFiles::exclusionListPath(name));
    listsChanged();
    DialogParts::reselectMark(m_availableList, mark);
}

void CExclusion_Wizard::OnAddNew()
{
    resetSteps();
    clearEdits();
    m_name->setReadOnly(false);
    showPage(Page::Name);
    m_name->setFocus();
    m_addStep = 1;
}

void CExclusion_Wizard::OnUpdate(CMyListCtrl* view)
{
    resetSteps();
    clearEdits();
    auto* model = static_cast<TextListModel*>(view->model());
    if (model->count() == 0) {
        Ui::notice(this, view == m_inUseList ? kInUseEmpty : kAvailableEmpty);
        return;
    }
    const QList<int> rows = view->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(model->text(rows.first()))) {
        Ui::notice(this, kSelectAvailable);
        return;
    }
    if (rows.size() > 1) {
        Ui::notice(this, QStringLiteral("Please select only one record to update."));
        return;
    }
    readNumbersOf(model->text(rows.first()));
}

// Reads an existing list's numbers into the numbers view and shows its page.
void CExclusion_Wizard::readNumbersOf(const QString& name)
{
    if (isBusy())
        return;
    m_wait.begin();
    m_worker->start([path = DataFiles::exclusionListPath(name)] { return DataFiles::ReadExclusionFile(path); },
                    [this, name](std::optional<QStringList> lines) {
                        m_wait.end();
                        if (!lines) {
                            Ui::notice(this, kFileError);
                            return;
                        }
                        m_name->setText(name);
                        m_name->setReadOnly(true);
                        m_numbers->setTexts(*lines);
                        m_editStep = 3;
                        showNumbersPage(name);
                    });
}

// --- Name page ------------------------------------------------------------------

void CExclusion_Wizard::OnNext()
{
    const QString name = m_name->text().trimmed();
    if (m_addStep != 1) {
        if (!name.isEmpty())
            readNumbersOf(name);
        return;
    }
    switch (ExclusionLists::CheckNewListName(name, m_available->texts())) {
    case NameProblem::Empty:
        Ui::notice(this, QStringLiteral("Please enter exclusion list name."));
        m_name->setFocus();
        return;
    case NameProblem::Invalid:
        Ui::notice(this, QStringLiteral("Please enter a valid name."));
        return;
    case NameProblem::Reserved:
        Ui::notice(this, QStringLiteral("Please enter the another name."));
        return;
    case NameProblem::Exists:
        Ui::notice(this, QStringLiteral("Entered exclusion list name already exists."));
        return;
    case NameProblem::None:
        break;
    }
    m_numbers->clear();
    m_addStep = 2;
    showNumbersPage(name);
}

void CExclusion_Wizard::showNumbersPage(const QString& name)
{
    DialogParts::setLiveText(m_current, QStringLiteral("Currently using exclusion list : ") + name);
    updateNumberCount();
    showPage(Page::Numbers);
    m_numbersChanged = false;
    m_path->setFocus();
}

void CExclusion_Wizard::OnBack()
{
    if (m_page == Page::Name) {
        resetSteps();
        showPage(Page::List);
        m_availableList->setFocus();
        return;
    }
    if (m_page != Page::Numbers)
        return;
    if (m_numbersChanged &&
        !Ui::confirm(this, QStringLiteral("You have made changes in exclusion number list that have not been saved "
                                          "yet.\n\nDo you want to go back to previous screen without saving the "
                                          "exclusion number list?")))
        return;
    m_numbersChanged = false;
    if (m_addStep == 2) {
        m_addStep = 1;
        showPage(Page::Name);
        m_name->setFocus();
    } else {
        resetSteps();
        m_name->setReadOnly(false);
        showPage(Page::List);
        m_availableList->setFocus();
    }
}

// --- Numbers page ---------------------------------------------------------------

void CExclusion_Wizard::OnBrowse()
{
    const QString path = Ui::getOpenFileName(this, QString(), QString(), DialogParts::fileDialogFilter(kFileFilter));
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        Ui::messageBox(this, QStringLiteral("File does not exist on selected location."), QStringLiteral("Warning"),
                       Ui::Buttons::Ok, Ui::Icon::Warning);
        return;
    }
    const QString ext = extensionOf(path);
    if (ext != QLatin1String("txt") && !Workbook::isSpreadsheetExtension(ext)) {
        Ui::notice(this, QStringLiteral("Please select a valid file."));
        return;
    }
    m_path->setText(QFileInfo(path).absoluteFilePath());
}

void CExclusion_Wizard::OnLoad()
{
    if (isBusy())
        return;
    const QString path = m_path->text();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        Ui::notice(this, QStringLiteral("Please select a valid file path."));
        m_path->setFocus();
        return;
    }
    const int countBefore = m_numbers->count();
    m_wait.begin();
    ExclusionImportContext context;
    context.owner = this;
    context.setWaitVisible = [this](bool visible) {
        onGuiThread([this, visible] {
            if (QDialog* wait = m_wait.window())
                wait->setVisible(visible);
        });
    };
    m_worker->start(
        [path, context, existing = m_numbers->texts()] {
            ImportResult result;
            ExclusionLists::CandidateFilter filter(existing);
            auto sink = [&filter](const QString& candidate) { filter.offer(candidate); };
            const QString ext = extensionOf(path);
            if (Workbook::isSpreadsheetExtension(ext)) {
                if (!LoadExclusionCandidatesFromWorkbook(context, path, sink))
                    result.outcome = Ended;
            } else {
                switch (ExclusionLists::ReadTextCandidatesFromFile(path, sink)) {
                case ExclusionLists::TextFileStatus::NotAnsi:
                    result.outcome = NotAnsi;
                    break;
                case ExclusionLists::TextFileStatus::Empty:
                    result.outcome = EmptyFile;
                    break;
                case ExclusionLists::TextFileStatus::Ok:
                case ExclusionLists::TextFileStatus::Unreadable:
                    break;
                }
            }
            result.added = filter.accepted();
            return result;
        },
        [this, countBefore](ImportResult result) { loadFinished(result.outcome, result.added, countBefore); },
        QThread::HighestPriority);
}

void CExclusion_Wizard::loadFinished(int outcome, const QStringList& added, int countBefore)
{
    if (outcome == Loaded && !added.isEmpty())
        m_numbers->insertTexts(0, added);
    m_wait.end();
    switch (outcome) {
    case NotAnsi:
        Ui::notice(this, QStringLiteral("Please select the ANSI encoded text file."));
        return;
    case EmptyFile:
        Ui::notice(this, QStringLiteral("File is empty."));
        return;
    case Ended:
        return;
    default:
        break;
    }
    if (m_numbers->count() == 0 || m_numbers->count() == countBefore)
        Ui::notice(this, QStringLiteral("Either file is corrupted or selected file contains invalid characters.\n\nOR"
                                        "\n\nNumbers are skipped because of duplicate number already exits in the "
                                        "exclusion list."));
}

void CExclusion_Wizard::OnAddNumber()
{
    const QString typed = m_number->text().trimmed();
    const std::optional<QString> number = NormalizeTypedNumber(typed);
    if (!number) {
        Ui::notice(this, kValidNumber);
    } else if (m_numbers->containsIgnoringCase(*number)) {
        Ui::notice(this, kNumberExists);
    } else {
        m_numbers->insertTexts(0, {*number});
        m_number->clear();
    }
    m_number->setFocus();
}

void CExclusion_Wizard::OnUpdateNumber()
{
    if (m_numbers->count() == 0) {
        Ui::notice(this, kNumbersEmpty);
        return;
    }
    const QList<int> rows = m_numberList->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_numbers->text(rows.first()))) {
        Ui::notice(this, QStringLiteral("Please select one record from the exclusion number list to continue."));
        return;
    }
    const int row = rows.first();
    CUpdate_Ex_Num dialog(this, m_numbers->text(row), row, m_numbers);
    if (dialog.exec() == QDialog::Accepted && dialog.number() != m_numbers->text(row))
        m_numbers->setText(row, dialog.number());
}

void CExclusion_Wizard::OnRemoveNumber()
{
    if (m_numbers->count() == 0) {
        Ui::notice(this, kNumbersEmpty);
        return;
    }
    const QList<int> rows = m_numberList->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_numbers->text(rows.first()))) {
        Ui::notice(this,
                   QStringLiteral("Please select at least one record from the exclusion number list to continue."));
        return;
    }
    const int mark = DialogParts::selectionMark(m_numberList);
    WaitScope busy(m_wait);
    m_numbers->removeTextRows(rows);
    DialogParts::reselectMark(m_numberList, mark);
}

void CExclusion_Wizard::OnFinish()
{
    if (isBusy())
        return;
    if (m_numbers->count() == 0) {
        Ui::notice(this, kNumbersEmpty);
        return;
    }
    const QString name = m_name->text().trimmed();
    DataFiles::EnsureDataFiles();
    if (!Ui::confirm(this, QStringLiteral("Are you sure you want to continue?")))
        return;
    const bool isNew = m_addStep == 2;
    m_wait.begin();
    m_worker->start(
        [name, isNew, numbers = m_numbers->texts()] {
            // The number file first: a new list is never listed without its numbers, and a
            // number file left over from an earlier crash is replaced, not appended to.
            if (!DataFiles::RewriteExclusionFile(DataFiles::exclusionListPath(name), numbers).isEmpty())
                return false;
            return !isNew || DataFiles::AppendExclusionLines(DataFiles::exclusionIndexPath(), {name});
        },
        [this, name, isNew](bool saved) {
            if (!saved) {
                m_wait.end();
                Ui::notice(this, kFileError);
                return;
            }
            if (isNew)
                m_available->appendText(name);
            m_numbers->clear();
            resetSteps();
            m_name->setReadOnly(false);
            showPage(Page::List);
            m_numbersChanged = false;
            m_number->clear();
            m_path->clear();
            m_availableList->setFocus();
            listsChanged();
            m_wait.end();
        });
}

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
