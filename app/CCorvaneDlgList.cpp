// The recipient list's commands: add, clear, reset, apply and update messages, and the number checks.
#include "CCorvaneDlg.h"

#include "ListEditDialogs.h"
#include "app/controls/Ui.h"
#include "app/core/RecipientListModel.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/WaitDialogs.h"
#include "store/DataFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>

namespace {

const QString kEmptyList = QStringLiteral("Phone numbers-Messages list is empty.");
const QString kValidNumber = QStringLiteral("Please enter a valid phone number.");

} // namespace

void ExclusionCache::assign(const QStringList& numbers)
{
    m_numbers = numbers;
    m_index.clear();
    m_index.reserve(numbers.size());
    for (const QString& n : numbers)
        m_index.add(n);
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
