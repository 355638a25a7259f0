#include "CSent_Items.h"

#include "DialogWorker.h"
#include "ListModels.h"
#include "app/controls/Ui.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/Theme.h"
#include "export/dialogs/ExportCommands.h"
#include "app/controls/WaitDialogs.h"
#include "store/DataFiles.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString kEmpty = QStringLiteral("Sent items list is empty.");
const QString kNotSaved =
    QStringLiteral("The sent items could not be saved, so \"SentItem.ulmex\" keeps its earlier contents.\n\n%1");

QDialog* addSentItemWait(QWidget* owner)
{
    auto* wait = new CAddSentItem(owner);
    wait->showCentred();
    return wait;
}

struct LoadedItems
{
    bool opened = false;
    QList<DataFiles::SentItem> items;
};

bool isBlank(const QString& s)
{
    return s.trimmed().isEmpty();
}

} // namespace

CSent_Items::CSent_Items(QWidget* parent)
    : QDialog(parent), m_worker(new DialogWorker(this)), m_wait(this, addSentItemWait), m_firstLoad(this)
{
    setObjectName(QStringLiteral("131"));
    setWindowTitle(QStringLiteral("Sent Item(s)"));
    Theme::applyDialogLook(this);

    auto* listGroup = new QGroupBox(QStringLiteral("Sent Items List"), this);
    listGroup->setObjectName(QStringLiteral("1119"));
    listGroup->setFont(Theme::headingFont());
    auto* hint = DialogParts::label(listGroup, 1024, QStringLiteral("Select an item to see the message details :"));
    hint->setFont(Theme::dialogFont());
    m_total = DialogParts::label(listGroup, 1102, QStringLiteral("Total Items : 0"));
    m_total->setFont(Theme::headingFont());
    m_model = new SentItemsModel(this);
    m_list = DialogParts::listView(listGroup, 1015, QStringLiteral("Sent Items List"));
    m_list->setModel(m_model);
    m_list->setFont(Theme::dialogFont());
    m_list->horizontalHeader()->resizeSection(SentItemsModel::Number, 100);
    m_list->horizontalHeader()->resizeSection(SentItemsModel::Message, 400);
    m_list->horizontalHeader()->resizeSection(SentItemsModel::Date, 100);
    m_list->setFillColumn(SentItemsModel::Message);
    auto* head = new QHBoxLayout;
    head->addWidget(hint);
    head->addStretch();
    head->addWidget(m_total);
    auto* inList = new QVBoxLayout(listGroup);
    inList->addLayout(head);
    inList->addWidget(m_list, 1);

    auto* detailsGroup = new QGroupBox(QStringLiteral("Message Details"), this);
    detailsGroup->setObjectName(QStringLiteral("1025"));
    detailsGroup->setFont(Theme::headingFont());
    m_details = new QTextEdit(detailsGroup);
    m_details->setObjectName(QStringLiteral("1068"));
    m_details->setAccessibleName(QStringLiteral("Message Details"));
    m_details->setReadOnly(true);
    m_details->setFont(Theme::dialogFont());
    m_details->setAcceptRichText(false);
    m_details->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_details->setFixedHeight(96);
    auto* inDetails = new QVBoxLayout(detailsGroup);
    inDetails->addWidget(m_details);

    auto* exportButton = DialogParts::button(this, 1092, QStringLiteral("Export"));
    auto* clearSelected = DialogParts::button(this, 1028, QStringLiteral("Clear Selected"));
    auto* clearAll = DialogParts::button(this, 1026, QStringLiteral("Clear All"));
    auto* cancel = DialogParts::button(this, 2, QStringLiteral("Cancel"));
    connect(exportButton, &QPushButton::clicked, this, &CSent_Items::OnExport);
    connect(clearSelected, &QPushButton::clicked, this, &CSent_Items::OnClearSelected);
    connect(clearAll, &QPushButton::clicked, this, &CSent_Items::OnClearAll);
    connect(cancel, &QPushButton::clicked, this, &CSent_Items::reject);
    connect(m_list, &CMyListCtrl::deletePressed, this, &CSent_Items::OnClearSelected);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CSent_Items::refreshDetails);
    connect(m_list, &CMyListCtrl::clicked, this, &CSent_Items::refreshDetails);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(DialogParts::supportLink(this));
    buttons->addStretch();
    for (QPushButton* b : {exportButton, clearSelected, clearAll, cancel})
        buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 8);
    layout->addWidget(listGroup, 1);
    layout->addWidget(detailsGroup);
    layout->addLayout(buttons);
    resize(640, 500);
}

CSent_Items::~CSent_Items()
{
    m_worker->join();
}

QString CSent_Items::DetailsText(const QString& number, const QString& message, const QString& date)
{
    return QStringLiteral("Number\t:  ") + number + QStringLiteral("\r\n\r\nMessage\t:  ") + message +
           QStringLiteral("\r\n\r\nDate\t:  ") + date;
}

QString CSent_Items::detailsText() const
{
    QString text = m_details->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void CSent_Items::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_firstLoad.shown([this] { load(); });
}

void CSent_Items::load()
{
    m_firstLoad.readOnWorker(
        m_worker, m_wait,
        [path = DataFiles::sentItemsPath()] {
            DataFiles::EnsureDataFiles();
            LoadedItems loaded;
            loaded.items = DialogParts::readPatiently(
                path, &loaded.opened, [&](bool* opened) { return DataFiles::LoadSentItems(path, opened); });
            return loaded;
        },
        [this](LoadedItems loaded) {
            m_model->setItems(std::move(loaded.items));
            m_fileRead = loaded.opened;
            updateCount();
        });
}

void CSent_Items::updateCount()
{
    DialogParts::setLiveText(m_total, QStringLiteral("Total Items : ") + QString::number(m_model->count()));
}

void CSent_Items::refreshDetails()
{
    const QList<int> rows = m_list->selectedRowsAscending();
    QString text;
    if (rows.size() == 1) {
        const DataFiles::SentItem& item = m_model->item(rows.first());
        if (!isBlank(item.number) || !isBlank(item.message)) {
            text = DetailsText(item.number, item.message, item.date);
            text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        }
    }
    if (m_details->toPlainText() != text)
        showDetails(text);
}

void CSent_Items::showDetails(const QString& text)
{
    m_details->setPlainText(text);
    // Each "Label\t:  value" paragraph hangs: its wrapped lines, and the further
    // lines of a message, start under the value rather than under the label.
    const QFontMetricsF metrics(m_details->font());
    const qreal tab = m_details->tabStopDistance();
    qreal indent = 0;
    QTextCursor cursor(m_details->document());
    cursor.beginEditBlock();
    for (QTextBlock block = m_details->document()->begin(); block.isValid(); block = block.next()) {
        const QString line = block.text();
        const qsizetype colon = line.indexOf(QLatin1String("\t:  "));
        const bool labelled = colon > 0 && !line.left(colon).contains(QLatin1Char(' '));
        QTextBlockFormat format = block.blockFormat();
        if (labelled) {
            const qreal labelWidth = metrics.horizontalAdvance(line.left(colon));
            indent = (std::floor(labelWidth / tab) + 1) * tab + metrics.horizontalAdvance(QStringLiteral(":  "));
            format.setLeftMargin(indent);
            format.setTextIndent(-indent);
        } else if (line.isEmpty()) {
            continue;
        } else {
            format.setLeftMargin(indent);
            format.setTextIndent(0);
        }
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
}

void CSent_Items::OnClearSelected()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    const QList<int> rows = m_list->selectedRowsAscending();
    if (rows.isEmpty() || isBlank(m_model->item(rows.first()).number)) {
        Ui::notice(this, QStringLiteral("Please select at least one record from the sent items list to continue."));
        refreshDetails();
        return;
    }
    const int mark = DialogParts::selectionMark(m_list);
    {
        DialogParts::WaitScope busy(m_wait);
        m_model->removeItemRows(rows);
        m_changed = true;
    }
    updateCount();
    m_details->clear();
    m_list->setFocus();
    DialogParts::reselectMark(m_list, mark);
    refreshDetails();
}

void CSent_Items::OnClearAll()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    if (!Ui::confirm(this,
                     QStringLiteral("This option will clear the entire list contents. Are you sure you want to "
                                    "continue clearing the entire list?"),
                     Ui::Icon::Warning))
        return;
    m_model->clear();
    m_changed = true;
    m_details->clear();
    updateCount();
    m_wait.begin();
    m_worker->start(
        [path = DataFiles::sentItemsPath()] {
            DataFiles::EnsureDataFiles();
            return DataFiles::RewriteSentItems({}, path);
        },
        [this](const QString& error) {
            m_wait.end();
            if (error.isEmpty())
                m_changed = false;
            else
                Ui::notice(this, kNotSaved.arg(error));
        });
}

void CSent_Items::OnExport()
{
    if (isBusy())
        return;
    if (m_model->count() == 0) {
        Ui::notice(this, kEmpty);
        return;
    }
    ExportSentItems(this, m_model->items());
}

void CSent_Items::saveAndClose()
{
    // Nothing deleted: the file stays exactly as it is, whatever it holds.
    if (!m_changed) {
        done(QDialog::Rejected);
        return;
    }
    if (!m_fileRead) {
        Ui::notice(this, kNotSaved.arg(QStringLiteral("The file could not be read when this window opened.")));
        done(QDialog::Rejected);
        return;
    }
    m_closing = true;
    m_wait.begin();
    m_worker->start(
        [items = m_model->items(), path = DataFiles::sentItemsPath()] {
            DataFiles::EnsureDataFiles();
            return DataFiles::RewriteSentItems(items, path);
        },
        [this](const QString& error) {
            m_wait.end();
            m_closing = false;
            if (error.isEmpty()) {
                m_changed = false;
            } else if (Ui::messageBox(
                           this,
                           kNotSaved.arg(error) + QStringLiteral("\n\nPress Retry to try again, or Cancel to close "
                                                                 "without saving."),
                           QStringLiteral("Message"), Ui::Buttons::RetryCancel, Ui::Icon::Warning) == Ui::IdRetry) {
                saveAndClose();
                return;
            }
            done(QDialog::Rejected);
        });
}

void CSent_Items::reject()
{
    if (isBusy() || m_closing)
        return;
    saveAndClose();
}

void CSent_Items::accept()
{
    // Enter does nothing here.
}

void CSent_Items::closeEvent(QCloseEvent* event)
{
    event->ignore();
    reject();
}

void CSent_Items::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
