#include "ListEditDialogs.h"

#include "MessageCounter.h"
#include "app/controls/Ui.h"
#include "app/core/NumberRules.h"
#include "app/core/RecipientListModel.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/Theme.h"
#include "app/controls/WaitDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kSelectRecord =
    QStringLiteral("Please select at least one record from the phone numbers-messages list to continue.");

QPushButton* addButton(QHBoxLayout* row, QDialog* dialog, int id, const QString& caption)
{
    auto* b = new QPushButton(caption, dialog);
    b->setObjectName(QString::number(id));
    b->setAccessibleName(caption);
    row->addWidget(b);
    return b;
}

QLabel* headingLabel(QWidget* parent, int id, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(id ? QString::number(id) : text);
    l->setFont(Theme::headingFont());
    l->setAccessibleName(text);
    return l;
}

// Runs work behind the small wait window with the dialog and the main window disabled.
template <typename F>
void withWaitWindow(QDialog* dialog, F&& work)
{
    QWidget* main = dialog->parentWidget();
    dialog->setEnabled(false);
    if (main)
        main->setEnabled(false);
    auto* wait = new CAddSentItem(dialog);
    wait->setAttribute(Qt::WA_DeleteOnClose);
    wait->showCentred();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    work();
    wait->close();
    if (main)
        main->setEnabled(true);
    dialog->setEnabled(true);
}

bool isBlank(const QString& s)
{
    return s.trimmed().isEmpty();
}

} // namespace

// --- CFill_Msg_In_List --------------------------------------------------------

CFill_Msg_In_List::CFill_Msg_In_List(QWidget* parent, RecipientListModel* model, CMyListCtrl* list,
                                     const QString& composerText)
    : QDialog(parent), m_model(model), m_list(list), m_text(composerText)
{
    setObjectName(QStringLiteral("202"));
    setWindowTitle(QStringLiteral("Apply message to list items"));
    Theme::applyDialogLook(this);

    m_all = new QRadioButton(QStringLiteral("Apply message to all list items "), this);
    m_all->setObjectName(QStringLiteral("1164"));
    m_selected = new QRadioButton(QStringLiteral("Apply message only to selected list items"), this);
    m_selected->setObjectName(QStringLiteral("1170"));
    m_blank = new QRadioButton(QStringLiteral("Apply message only in blank list items"), this);
    m_blank->setObjectName(QStringLiteral("1165"));
    for (QRadioButton* r : {m_all, m_selected, m_blank})
        r->setAccessibleName(r->text().trimmed());
    m_all->setChecked(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = addButton(buttons, this, 1, QStringLiteral("OK"));
    auto* cancel = addButton(buttons, this, 2, QStringLiteral("Cancel"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CFill_Msg_In_List::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addWidget(m_all);
    layout->addWidget(m_selected);
    layout->addWidget(m_blank);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    resize(368, 205);
    m_all->setFocus();
}

int CFill_Msg_In_List::choice() const
{
    return m_selected->isChecked() ? 1 : m_blank->isChecked() ? 2 : 0;
}

void CFill_Msg_In_List::setChoice(int choice)
{
    (choice == 1 ? m_selected : choice == 2 ? m_blank : m_all)->setChecked(true);
}

void CFill_Msg_In_List::accept()
{
    const int c = choice();
    QList<int> rows;
    if (c == 0) {
        if (!Ui::confirm(this,
                         QStringLiteral("This action will copy the message of composer box to all numbers in the "
                                        "list.\n\nDo you want to continue?"),
                         Ui::Icon::Warning))
            return;
        for (int r = 0; r < m_model->count(); ++r)
            rows.append(r);
    } else if (c == 1) {
        rows = m_list->selectedRowsAscending();
        if (rows.isEmpty() || isBlank(m_model->number(rows.first()))) {
            Ui::notice(this, kSelectRecord);
            return;
        }
        if (!Ui::confirm(this,
                         QStringLiteral("This action will copy the message of composer box to the selected numbers in "
                                        "the list. The messages of rest of the numbers remain unchanged.\n\nDo you "
                                        "want to continue?"),
                         Ui::Icon::Warning))
            return;
    } else {
        for (int r = 0; r < m_model->count(); ++r) {
            if (isBlank(m_model->message(r)))
                rows.append(r);
        }
        if (rows.isEmpty()) {
            Ui::notice(this, QStringLiteral("There is no blank message in the phone numbers-messages list."));
            return;
        }
        if (!Ui::confirm(this,
                         QStringLiteral("This action will copy the message of composer box to the blank list items. "
                                        "The messages of rest of the numbers remain unchanged.\n\nDo you want to "
                                        "continue?"),
                         Ui::Icon::Warning))
            return;
    }
    withWaitWindow(this, [&] { m_model->setMessages(rows, m_text); });
    QDialog::accept();
}

// --- CUpdate_Num_Message ------------------------------------------------------

CUpdate_Num_Message::CUpdate_Num_Message(QWidget* parent, int row, const QString& number, const QString& message,
                                         const QString& mode)
    : QDialog(parent), m_row(row), m_numberBefore(number), m_mode(mode)
{
    setObjectName(QStringLiteral("204"));
    setWindowTitle(QStringLiteral("Update"));
    Theme::applyDialogLook(this);

    auto* numberLabel = headingLabel(this, 1168, QStringLiteral("Number :"));
    m_number = new CSpecialEdit(this);
    m_number->setObjectName(QStringLiteral("1162"));
    m_number->setAccessibleName(QStringLiteral("Number :"));
    m_number->setFormat(std::make_unique<DecimalFormat>());
    m_number->setMaxLength(20);
    m_number->setText(number);
    numberLabel->setBuddy(m_number);

    auto* messageLabel = headingLabel(this, 1132, QStringLiteral("Message :"));
    m_counterLabel = headingLabel(this, 1004, QStringLiteral("0 Characters"));
    Theme::speakText(m_counterLabel, QStringLiteral("Character counter"));
    m_message = new CMy_Sel_All_Edit(this);
    m_message->setObjectName(QStringLiteral("1163"));
    m_message->setAccessibleName(QStringLiteral("Message :"));
    m_message->setMaxLength(1600);
    m_message->setText(message);
    m_message->setEnabled(mode == QLatin1String("MSG"));
    messageLabel->setBuddy(m_message);
    m_counter = new MessageCounter(m_message, m_counterLabel, this);
    m_counter->showWithoutWarning();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* update = addButton(buttons, this, 1, QStringLiteral("Update"));
    auto* cancel = addButton(buttons, this, 2, QStringLiteral("Cancel"));
    update->setDefault(true);
    connect(update, &QPushButton::clicked, this, &CUpdate_Num_Message::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_number, &CSpecialEdit::returnPressedInEdit, this, &CUpdate_Num_Message::accept);

    auto* head = new QHBoxLayout;
    head->addWidget(messageLabel);
    head->addStretch();
    head->addWidget(m_counterLabel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->addWidget(numberLabel);
    layout->addWidget(m_number);
    layout->addSpacing(6);
    layout->addLayout(head);
    layout->addWidget(m_message, 1);
    layout->addLayout(buttons);
    resize(400, 300);
    m_number->setFocus();
}

QString CUpdate_Num_Message::number() const
{
    return m_number->text();
}

QString CUpdate_Num_Message::message() const
{
    return m_message->text();
}

void CUpdate_Num_Message::accept()
{
    QString number = m_number->text();
    if (number == m_numberBefore) {
        QDialog::accept();
        return;
    }
    auto reject = [this](const QString& text) {
        Ui::notice(this, text);
        m_number->setFocus();
    };
    const QString invalid = QStringLiteral("Please enter a valid phone number.");
    if (number.startsWith(QLatin1Char('+')))
        number.replace(0, 1, QStringLiteral("00"));
    if (number.indexOf(QLatin1Char('+'), 1) >= 0)
        return reject(invalid);
    if (number.trimmed().isEmpty())
        return reject(invalid);
    if (IsInvalidNumber(number))
        return reject(invalid);
    const bool excluded = useExclusion && isExcluded && isExcluded(number);
    if (skipDuplicates && isListedElsewhere) {
        if (isListedElsewhere(number, m_row))
            return reject(QStringLiteral("Entered number already exists."));
        if (isListedElsewhere(number, -1)) {
            // Found only at the edited row itself.
            QDialog::accept();
            return;
        }
    }
    if (excluded)
        return reject(QStringLiteral("Entered number is in exclusion list."));
    QDialog::accept();
}

// --- CUpdate_Selected_Item_SMS -----------------------------------------------

CUpdate_Selected_Item_SMS::CUpdate_Selected_Item_SMS(QWidget* parent, RecipientListModel* model, CMyListCtrl* list)
    : QDialog(parent), m_model(model), m_mainList(list)
{
    setObjectName(QStringLiteral("205"));
    setWindowTitle(QStringLiteral("Update Selected Messages"));
    Theme::applyDialogLook(this);

    auto* numbersGroup = new QGroupBox(QStringLiteral("Selected Numbers List"), this);
    numbersGroup->setObjectName(QStringLiteral("1188"));
    numbersGroup->setAccessibleName(numbersGroup->title());
    numbersGroup->setFont(Theme::headingFont());
    m_total = new QLabel(QStringLiteral("Total Selected Numbers : 0"), numbersGroup);
    m_total->setObjectName(QStringLiteral("1102"));
    Theme::speakText(m_total, QStringLiteral("Total Selected Numbers"));
    m_total->setFont(Theme::dialogFont());
    m_numbers = new QStandardItemModel(0, 1, this);
    m_numbers->setHorizontalHeaderLabels({QStringLiteral("Selected Numbers")});
    m_list = new CMyListCtrl(numbersGroup);
    m_list->setObjectName(QStringLiteral("1171"));
    m_list->setAccessibleName(QStringLiteral("Selected Numbers"));
    m_list->setFont(Theme::dialogFont());
    m_list->setModel(m_numbers);
    m_list->setColumnWidthChecked(0, 200);
    m_list->horizontalHeader()->setStretchLastSection(true);
    auto* g1 = new QVBoxLayout(numbersGroup);
    g1->addWidget(m_total);
    g1->addWidget(m_list);

    auto* messageGroup = new QGroupBox(QStringLiteral("Update Message"), this);
    messageGroup->setObjectName(QStringLiteral("1132"));
    messageGroup->setAccessibleName(messageGroup->title());
    messageGroup->setFont(Theme::headingFont());
    m_message = new CMy_Sel_All_Edit(messageGroup);
    m_message->setObjectName(QStringLiteral("1163"));
    m_message->setAccessibleName(QStringLiteral("Update Message"));
    m_message->setFont(Theme::bodyFont());
    m_message->setMaxLength(1600);
    m_counterLabel = headingLabel(messageGroup, 1004, QStringLiteral("0 Characters"));
    Theme::speakText(m_counterLabel, QStringLiteral("Character counter"));
    m_counter = new MessageCounter(m_message, m_counterLabel, this);
    auto* g2 = new QVBoxLayout(messageGroup);
    g2->addWidget(m_counterLabel, 0, Qt::AlignRight);
    g2->addWidget(m_message);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* apply = addButton(buttons, this, 1, QStringLiteral("Apply to Selected Numbers"));
    auto* cancel = addButton(buttons, this, 2, QStringLiteral("Cancel"));
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, &CUpdate_Selected_Item_SMS::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->addWidget(numbersGroup, 1);
    layout->addWidget(messageGroup, 1);
    layout->addLayout(buttons);
    resize(474, 440);
}

void CUpdate_Selected_Item_SMS::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        QTimer::singleShot(0, this, &CUpdate_Selected_Item_SMS::loadSelectedNumbers);
    }
}

void CUpdate_Selected_Item_SMS::loadSelectedNumbers()
{
    withWaitWindow(this, [&] {
        const QList<int> rows = m_mainList->selectedRowsAscending();
        m_numbers->setRowCount(int(rows.size()));
        for (int i = 0; i < rows.size(); ++i)
            m_numbers->setItem(i, 0, new QStandardItem(m_model->number(rows.at(i))));
    });
    if (m_numbers->rowCount() > 0) {
        m_list->selectOnly(0);
        m_list->setFocus();
    }
    m_total->setText(QStringLiteral("Total Selected Numbers : %1").arg(m_numbers->rowCount()));
    raise();
    activateWindow();
}

int CUpdate_Selected_Item_SMS::selectedCount() const
{
    return m_numbers->rowCount();
}

void CUpdate_Selected_Item_SMS::setMessage(const QString& message)
{
    m_message->setText(message);
}

void CUpdate_Selected_Item_SMS::accept()
{
    const QString message = m_message->text();
    if (message.trimmed().isEmpty()) {
        Ui::notice(this, QStringLiteral("Please enter some text message."));
        m_message->setFocus();
        return;
    }
    if (!Ui::confirm(this,
                     QStringLiteral("This action will copy the above message to the selected numbers in the list. The "
                                    "messages of rest of the numbers remain unchanged.\n\nDo you want to continue?"),
                     Ui::Icon::Warning))
        return;
    m_model->setMessages(m_mainList->selectedRowsAscending(), message);
    QDialog::accept();
}
