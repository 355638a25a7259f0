#include "CViewTemplates.h"

#include "DialogWorker.h"
#include "ListModels.h"
#include "app/controls/Ui.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/Theme.h"
#include "app/controls/WaitDialogs.h"
#include "store/DataFiles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kEmpty = QStringLiteral("Templates list is empty.");
const QString kExists = QStringLiteral("Entered template already exists.");
const QString kNotSaved =
    QStringLiteral("The templates could not be saved, so \"Templates.ulmex\" keeps its earlier contents.\n\n%1");
const QString kNotRead = QStringLiteral("The file could not be read when this window opened.");

QDialog* pleaseWait(QWidget* owner)
{
    auto* wait = new CPlease_Wail_Modeless(owner);
    wait->showCentred();
    return wait;
}

struct LoadedTemplates
{
    bool opened = false;
    QStringList templates;
};

} // namespace

// --- CUpdateTemp ----------------------------------------------------------------

CUpdateTemp::CUpdateTemp(QWidget* parent, const TemplateListModel* templates, const QString& initialText,
                         const QString& oldText)
    : QDialog(parent), m_templates(templates)
{
    setObjectName(QStringLiteral("184"));
    Theme::applyDialogLook(this);
    const bool updating = !oldText.isEmpty();
    setWindowTitle(updating ? QStringLiteral("Update Template") : QStringLiteral("Add Template"));

    auto* caption = DialogParts::label(this, 1132, QStringLiteral("Message :"));
    caption->setFont(Theme::headingFont());
    m_length = DialogParts::label(this, 1012, QStringLiteral("0 Characters"));
    m_edit = new CMy_Sel_All_Edit(this);
    m_edit->setObjectName(QStringLiteral("1005"));
    m_edit->setAccessibleName(QStringLiteral("Message :"));
    m_edit->setMaxLength(DataFiles::kMaxTemplateLength);
    m_edit->setFont(Theme::bodyFont());
    m_edit->setTabChangesFocus(true);
    caption->setBuddy(m_edit);
    m_old = new QLineEdit(oldText, this);
    m_old->setObjectName(QStringLiteral("1145"));
    m_old->hide();

    auto* ok = DialogParts::button(this, 1, updating ? QStringLiteral("Update") : QStringLiteral("Add"));
    auto* cancel = DialogParts::button(this, 2, QStringLiteral("Cancel"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CUpdateTemp::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* head = new QHBoxLayout;
    head->addWidget(caption);
    head->addStretch();
    head->addWidget(m_length);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 10);
    layout->addLayout(head);
    layout->addWidget(m_edit, 1);
    layout->addLayout(buttons);
    resize(380, 230);

    m_edit->setText(initialText);
    updateLength();
    connect(m_edit, &CMy_Sel_All_Edit::textChanged, this, &CUpdateTemp::updateLength);
    m_edit->setFocus();
}

void CUpdateTemp::updateLength()
{
    DialogParts::setLiveText(m_length, QStringLiteral("%1 Characters").arg(m_edit->text().size()));
}

void CUpdateTemp::accept()
{
    const QString text = m_edit->text();
    if (text.trimmed().isEmpty()) {
        Ui::notice(this, QStringLiteral("Please type template message."));
        m_edit->setFocus();
        return;
    }
    const QString old = m_old->text();
    const bool adding = old.isEmpty();
    if (m_templates && m_templates->contains(text) && (adding || text != old)) {
        Ui::notice(this, kExists);
        return;
    }
    m_text = text;
    QDialog::accept();
}

// --- CViewTemplates -------------------------------------------------------------

CViewTemplates::CViewTemplates(QWidget* parent, CMy_Sel_All_Edit* composer)
    : QDialog(parent), m_composer(composer), m_worker(new DialogWorker(this)), m_wait(this, pleaseWait),
      m_firstLoad(this)
{
    setObjectName(QStringLiteral("181"));
    setWindowTitle(QStringLiteral("Templates"));
    Theme::applyDialogLook(this);

    auto* group = new QGroupBox(QStringLiteral("Templates List"), this);
    group->setObjectName(QStringLiteral("1144"));
    group->setFont(Theme::headingFont());
    m_model = new TemplateListModel(this);
    m_list = DialogParts::listView(group, 1004, QStringLiteral("Templates List"));
    m_list->setModel(m_model);
    m_list->setFont(Theme::dialogFont());
    m_list->horizontalHeader()->resizeSection(0, 458);
    m_total = DialogParts::label(group, 1108, QStringLiteral("Total Items : 0"));
    m_total->setFont(Theme::headingFont());
    auto* inGroup = new QVBoxLayout(group);
    inGroup->addWidget(m_list, 1);
    inGroup->addWidget(m_total);

    auto* addNew = DialogParts::button(this, 1112, QStringLiteral("Add New"));
    auto* update = DialogParts::button(this, 1133, QStringLiteral("Update"));
    auto* clearSelected = DialogParts::button(this, 1008, QStringLiteral("Clear Selected"));
    auto* clearAll = DialogParts::button(this, 1114, QStringLiteral("Clear All"));
    auto* use = DialogParts::button(this, 1, QStringLiteral("Use Template"));
    auto* cancel = DialogParts::button(this, 2, QStringLiteral("Cancel"));
    use->setDefault(true);
    connect(addNew, &QPushButton::clicked, this, &CViewTemplates::OnAddNew);
    connect(update, &QPushButton::clicked, this, &CViewTemplates::OnUpdate);
    connect(clearSelected, &QPushButton::clicked, this, &CViewTemplates::OnClearSelected);
    connect(clearAll, &QPushButton::clicked, this, &CViewTemplates::OnClearAll);
    connect(use, &QPushButton::clicked, this, &CViewTemplates::OnUseTemplate);
    connect(cancel, &QPushButton::clicked, this, &CViewTemplates::reject);
    connect(m_list, &CMyListCtrl::enterPressed, this, &CViewTemplates::OnUpdate);
    connect(m_list, &CMyListCtrl::deletePressed, this, &CViewTemplates::OnClearSelected);
    connect(m_list, &CMyListCtrl::rowActivated, this, [this](int row) {
        if (row < m_model->count() && !m_model->text(row).trimmed().isEmpty())
            OnUpdate();
    });

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {addNew, update, clearSelected, clearAll})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(use);
    buttons->addWidget(cancel);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(DialogParts::supportLink(this));
    bottom->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 8);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    layout->addLayout(bottom);
    resize(540, 380);
    m_list->setFocus();
}

CViewTemplates::~CViewTemplates()
{
    m_worker->join();
}

void CViewTemplates::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_firstLoad.shown([this] { load(); });
}

void CViewTemplates::load()
{
    m_model->clear();
    m_firstLoad.readOnWorker(
        m_worker, m_wait,
        [path = DataFiles::templatesPath()] {
            DataFiles::EnsureDataFiles();
            LoadedTemplates loaded;
            loaded.templates = DialogParts::readPatiently(
                path, &loaded.opened, [&](bool* opened) { return DataFiles::LoadTemplates(path, opened); });
            return loaded;
        },
        [this](LoadedTemplates loaded) {
            m_model->setTexts(loaded.templates);
            m_fileRead = loaded.opened;
            updateCount();
        },
        [this] {
            m_list->setFocus();
            DialogParts::reselectMark(m_list, 0);
        });
}

void CViewTemplates::updateCount()
{
    DialogParts::setLiveText(m_total, QStringLiteral("Total Items : %1").arg(m_model->count()));
}

void CViewTemplates::saveFailed(const QString& why)
{
    m_pendingRewrite = true;
    Ui::notice(this, kNotSaved.arg(why));
}

void CViewTemplates::rewrite(std::function<void(bool saved)> then)
{
    if (!m_fileRead) {
        saveFailed(kNotRead);
        then(false);
        return;
    }
    m_wait.begin();
    m_worker->start(
        [texts = m_model->texts(), path = DataFiles::templatesPath()] {
            DataFiles::EnsureDataFiles();
            return DataFiles::RewriteTemplates(texts, path);
        },
        [this, then = std::move(then)](const QString& error) {
            m_wait.end();
            if (!error.isEmpty()) {
                saveFailed(error);
                then(false);
                return;
            }
            m_pendingRewrite = false;
            then(true);
        });
}

void CViewTemplates::OnAddNew()
{
    if (isBusy())
        return;
    CUpdateTemp dialog(this, m_model, QString(), QString());
    if (dialog.exec() != QDialog::Accepted) {
        updateCount();
        return;
    }
    const QString text = dialog.text();
    if (m_model->contains(text)) {
        Ui::notice(this, kExists);
        return;
    }
    const int row = m_model->insertSorted(text);
    DataFiles::EnsureDataFiles();
    // A failed append is not lost: the row stays and the file is rewritten on closing.
    if (!DataFiles::AppendTemplate(text))
        m_pendingRewrite = true;
    updateCount();
    DialogParts::reselectMark(m_list, row);
}

void CViewTemplates::OnUpdate()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    const QList<int> rows = m_list->selectedRowsAscending();
    if (rows.isEmpty()) {
        Ui::notice(this, QStringLiteral("Please select a template message from the templates list to continue."));
        return;
    }
    if (rows.size() > 1) {
        Ui::notice(this, QStringLiteral("Please select only one record to update."));
        return;
    }
    const QString old = m_model->text(rows.first());
    CUpdateTemp dialog(this, m_model, old, old);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int row = m_model->replaceText(rows.first(), dialog.text());
    rewrite([this, row](bool) { DialogParts::reselectMark(m_list, row); });
}

void CViewTemplates::OnClearSelected()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    const QList<int> rows = m_list->selectedRowsAscending();
    if (rows.isEmpty() || m_model->text(rows.first()).trimmed().isEmpty()) {
        Ui::notice(this, QStringLiteral("Please select at least one record from the templates list to continue."));
        return;
    }
    const int mark = DialogParts::selectionMark(m_list);
    m_model->removeTextRows(rows);
    rewrite([this, mark](bool) {
        updateCount();
        m_list->setFocus();
        DialogParts::reselectMark(m_list, mark);
    });
}

void CViewTemplates::OnClearAll()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    if (Ui::messageBox(this,
                       QStringLiteral("This option will clear the entire list contents. Are you sure you want to "
                                      "continue clearing the entire list?"),
                       QStringLiteral("Message"), Ui::Buttons::YesNo, Ui::Icon::Warning) != Ui::IdYes)
        return;
    m_model->clear();
    updateCount();
    rewrite([](bool) {});
}

void CViewTemplates::OnUseTemplate()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    const QList<int> rows = m_list->selectedRowsAscending();
    if (rows.size() > 1) {
        Ui::notice(this, QStringLiteral("Please select only one record to use template."));
        return;
    }
    if (rows.isEmpty()) {
        Ui::notice(this, QStringLiteral("Please select a template message to continue."));
        return;
    }
    // Positions count characters of the composer's text as it reads, line breaks as CR LF.
    const QString composed = m_composer->text();
    const QTextCursor cursor = m_composer->textCursor();
    auto crlfPosition = [&](int plainPosition) {
        return plainPosition + int(m_composer->toPlainText().left(plainPosition).count(QLatin1Char('\n')));
    };
    const int start = crlfPosition(cursor.selectionStart());
    const int end = crlfPosition(cursor.selectionEnd());
    QString text = composed.left(start) + m_model->text(rows.first()) + composed.mid(end);
    if (text.size() > kMaxComposerLength) {
        if (Ui::messageBox(this,
                           QStringLiteral("Maximum characters limit is 1600.\n\nPress \u2018Yes\u2019 to continue to "
                                          "composer window and it will show first 1600 characters of your message "
                                          "otherwise press \u2018No\u2019."),
                           QStringLiteral("Message"), Ui::Buttons::YesNo, Ui::Icon::Warning) != Ui::IdYes)
            return;
        text.truncate(kMaxComposerLength);
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1); // never half a line break
    }
    closeWithSave(QDialog::Accepted);
    QPointer<CMy_Sel_All_Edit> composer = m_composer;
    // The composer's counter may warn about a long message: only once this window is gone.
    QTimer::singleShot(0, composer, [composer, text] {
        composer->setText(text);
        composer->setFocus();
        composer->moveCursor(QTextCursor::End);
        composer->ensureCursorVisible();
    });
}

void CViewTemplates::closeWithSave(int result)
{
    if (m_closing)
        return;
    if (!m_pendingRewrite || !m_fileRead) {
        if (m_pendingRewrite)
            Ui::notice(this, kNotSaved.arg(kNotRead));
        done(result);
        return;
    }
    m_closing = true;
    m_wait.begin();
    m_worker->start(
        [texts = m_model->texts(), path = DataFiles::templatesPath()] {
            DataFiles::EnsureDataFiles();
            return DataFiles::RewriteTemplates(texts, path);
        },
        [this, result](const QString& error) {
            m_wait.end();
            m_closing = false;
            if (error.isEmpty()) {
                m_pendingRewrite = false;
            } else if (Ui::messageBox(
                           this,
                           kNotSaved.arg(error) + QStringLiteral("\n\nPress Retry to try again, or Cancel to close "
                                                                 "without saving."),
                           QStringLiteral("Message"), Ui::Buttons::RetryCancel, Ui::Icon::Warning) == Ui::IdRetry) {
                closeWithSave(result);
                return;
            }
            done(result);
        });
}

void CViewTemplates::reject()
{
    if (isBusy() || m_closing)
        return;
    closeWithSave(QDialog::Rejected);
}

void CViewTemplates::closeEvent(QCloseEvent* event)
{
    event->ignore();
    reject();
}
