#include "CExcel_Info_Dlg.h"

#include "WidgetExcelUi.h"
#include "app/controls/Ui.h"
#include "app/controls/Theme.h"
#include "import/ExcelReader.h"
#include "import/WorkbookTables.h"
#include "app/controls/WaitDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QThread>

namespace {

// Reads the first row of one sheet: the captions of its used columns.
void readFirstRow(QWidget* owner, const QString& path, int sheet, CExcel_Info_Dlg::SheetRead& out)
{
    WidgetExcelUi ui(owner);
    ExcelReader reader(ui);
    try {
        if (!reader.StartExcel() || !reader.OpenWorkbook(path) || !reader.SelectWorksheet(sheet))
            return;
        switch (reader.LoadUsedGrid()) {
        case ExcelReader::Grid::NoRange:
            break;
        case ExcelReader::Grid::Empty:
            out.empty = true;
            break;
        case ExcelReader::Grid::Cells: {
            out.listed = true;
            int untitled = 0;
            for (int i = 1; i <= reader.cols(); ++i) {
                const QString text = reader.ReadCellText(1, i).value_or(QString());
                out.captions.append(!text.isEmpty() ? text : QStringLiteral("Untitled Column %1").arg(++untitled));
            }
            break;
        }
        }
    } catch (const ExcelAutomationError&) {
        ui.excelError(kReadingDiscarded);
    }
    reader.EndExcel();
}

} // namespace

CExcel_Info_Dlg::CExcel_Info_Dlg(QWidget* parent, const QString& workbookPath) : QDialog(parent), m_path(workbookPath)
{
    setObjectName(QStringLiteral("130"));
    setWindowTitle(QStringLiteral("Select Excel Sheet To Open"));
    Theme::applyDialogLook(this);

    auto* sheetsLabel = new QLabel(QStringLiteral("Sheets"), this);
    sheetsLabel->setObjectName(QStringLiteral("1103"));
    auto* columnsLabel = new QLabel(QStringLiteral("Columns"), this);
    columnsLabel->setObjectName(QStringLiteral("1104"));
    for (QLabel* l : {sheetsLabel, columnsLabel}) {
        l->setFont(Theme::headingFont());
        l->setAccessibleName(l->text());
    }

    m_sheets = new QListWidget(this);
    m_sheets->setObjectName(QStringLiteral("1072"));
    m_sheets->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (const QString& name : g_arrSheetNames)
        m_sheets->addItem(name);
    m_sheets->setAccessibleName(QStringLiteral("Sheets: %1").arg(m_sheets->count()));

    m_selectAll = new QCheckBox(QStringLiteral("Select All"), this);
    m_selectAll->setObjectName(QStringLiteral("1062"));
    m_selectAll->setAccessibleName(QStringLiteral("Select All"));
    m_selectAll->hide();

    m_columns = new QListWidget(this);
    m_columns->setObjectName(QStringLiteral("1005"));
    m_columns->setAccessibleName(QStringLiteral("Columns: none listed"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    for (QPushButton* b : {ok, cancel})
        b->setAccessibleName(b->text());

    // Selection, not the current item: focus alone makes the first item current.
    connect(m_sheets, &QListWidget::itemSelectionChanged, this, &CExcel_Info_Dlg::onSheetChanged);
    connect(m_selectAll, &QCheckBox::clicked, this, &CExcel_Info_Dlg::onSelectAll);
    connect(m_columns, &QListWidget::itemChanged, this, &CExcel_Info_Dlg::onColumnChanged);
    connect(ok, &QPushButton::clicked, this, &CExcel_Info_Dlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CExcel_Info_Dlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(sheetsLabel, 0, 0);
    auto* columnHead = new QHBoxLayout;
    columnHead->addWidget(columnsLabel);
    columnHead->addStretch();
    columnHead->addWidget(m_selectAll);
    grid->addLayout(columnHead, 0, 1);
    grid->addWidget(m_sheets, 1, 0);
    grid->addWidget(m_columns, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    resize(460, 360);
    if (parent) {
        QRect r = frameGeometry();
        r.moveCenter(parent->window()->frameGeometry().center());
        move(r.topLeft());
    }
}

CExcel_Info_Dlg::~CExcel_Info_Dlg()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    delete m_pReadingWnd;
}

void CExcel_Info_Dlg::onSheetChanged()
{
    const QList<QListWidgetItem*> selected = m_sheets->selectedItems();
    const int sel = selected.isEmpty() ? -1 : m_sheets->row(selected.first());
    if (sel < 0 || m_thread)
        return;
    g_nSelectedSheet = sel + 1;
    if (sel == m_nLastSheetIndex)
        return;
    m_nLastSheetIndex = sel;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!m_pReadingWnd)
        m_pReadingWnd = new CAddSentItem(this);
    m_pReadingWnd->setText(QStringLiteral("Reading contents of Excel sheet, Please wait..."));
    m_pReadingWnd->showCentred();
    setEnabled(false);
    m_columns->clear();
    refreshSelectAllName();

    const QString path = m_path;
    const int sheet = g_nSelectedSheet;
    QPointer<CExcel_Info_Dlg> self(this);
    m_thread = QThread::create([self, path, sheet, owner = QPointer<QWidget>(this)] {
        SheetRead result;
        readFirstRow(owner, path, sheet, result);
        QMetaObject::invokeMethod(
            qApp,
            [self, result] {
                if (self)
                    self->onSheetRead(result);
            },
            Qt::QueuedConnection);
    });
    m_thread->start();
}

void CExcel_Info_Dlg::onSheetRead(const SheetRead& result)
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    m_syncing = true;
    if (result.listed) {
        m_selectAll->setChecked(false);
        m_selectAll->show();
        for (const QString& caption : result.captions) {
            auto* item = new QListWidgetItem(caption, m_columns);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    } else if (result.empty) {
        m_selectAll->setChecked(false);
        m_selectAll->hide();
    }
    m_syncing = false;
    refreshSelectAllName();
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    if (m_pReadingWnd)
        m_pReadingWnd->hide();
    if (result.empty)
        Ui::notice(this, QStringLiteral("Excel sheet is empty."));
    // A sheet that failed to read may be chosen again only after another one.
}

void CExcel_Info_Dlg::onSelectAll(bool checked)
{
    m_syncing = true;
    for (int i = 0; i < m_columns->count(); ++i)
        m_columns->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    m_syncing = false;
    refreshSelectAllName();
}

void CExcel_Info_Dlg::onColumnChanged(QListWidgetItem*)
{
    if (m_syncing)
        return;
    bool all = m_columns->count() > 0;
    for (int i = 0; i < m_columns->count() && all; ++i)
        all = m_columns->item(i)->checkState() == Qt::Checked;
    m_selectAll->setChecked(all);
    refreshSelectAllName();
}

void CExcel_Info_Dlg::refreshSelectAllName()
{
    int checked = 0;
    for (int i = 0; i < m_columns->count(); ++i)
        checked += m_columns->item(i)->checkState() == Qt::Checked;
    m_columns->setAccessibleName(m_columns->count() == 0
                                     ? QStringLiteral("Columns: none listed")
                                     : QStringLiteral("Columns: %1 listed, %2 selected").arg(m_columns->count()).arg(checked));
}

void CExcel_Info_Dlg::accept()
{
    if (m_thread)
        return;
    const int n = m_columns->count();
    g_arrColumnSelected.resize(n);
    int checked = 0;
    for (int i = 0; i < n; ++i) {
        g_arrColumnSelected[i] = m_columns->item(i)->checkState() == Qt::Checked ? 1 : 0;
        checked += g_arrColumnSelected[i];
    }
    if (checked > 0) {
        QDialog::accept();
        return;
    }
    Ui::notice(this, n == 0 ? QStringLiteral("There is no column.\n\nOR\n\nNo column is selected.")
                            : QStringLiteral("No column is selected."));
}
