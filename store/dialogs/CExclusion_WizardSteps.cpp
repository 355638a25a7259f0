// What the wizard's pages do short of the files: the lists in use, the steps
// from page to page, and the numbers of the list being edited.

#include "CExclusion_Wizard.h"

#include "CExclusion_WizardShared.h"
#include "ListModels.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"
#include "app/controls/Ui.h"
#include "store/ExclusionLists.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

using DialogParts::WaitScope;
using ExclusionLists::NameProblem;
using namespace ExclusionWizard;

namespace {

const QString kInUseEmpty = QStringLiteral("Exclude when sending SMS list is empty.");
const QString kValidNumber = QStringLiteral("Please enter a valid phone number.");
const QString kNumberExists = QStringLiteral("Entered number already exists.");

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

// --- List page ------------------------------------------------------------------

QList<int> CExclusion_Wizard::selectedAvailableRows()
{
    if (m_available->count() == 0) {
        Ui::notice(this, kAvailableEmpty);
        return {};
    }
    const QList<int> rows = m_availableList->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_available->text(rows.first()))) {
        Ui::notice(this, kSelectAvailable);
        return {};
    }
    return rows;
}

void CExclusion_Wizard::OnAdd()
{
    const QList<int> rows = selectedAvailableRows();
    if (rows.isEmpty())
        return;
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
