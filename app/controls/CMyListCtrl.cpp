#include "CMyListCtrl.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

#include <algorithm>

CMyListCtrl::CMyListCtrl(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab moves on to the next control; the arrow keys move between rows.
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Fixed row heights keep a list of a million rows as quick as a short one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(0);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &CMyListCtrl::onSectionResized);
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this, &CMyListCtrl::onSectionMoved);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowActivated(index.row());
    });
}

void CMyListCtrl::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    syncColumns();
    if (model) {
        connect(model, &QAbstractItemModel::columnsInserted, this, &CMyListCtrl::syncColumns);
        connect(model, &QAbstractItemModel::columnsRemoved, this, &CMyListCtrl::syncColumns);
        connect(model, &QAbstractItemModel::modelReset, this, &CMyListCtrl::syncColumns);
    }
}

void CMyListCtrl::syncColumns()
{
    const int n = model() ? model()->columnCount() : 0;
    while (m_columns.size() < n)
        m_columns.append(
            ColumnState{true, horizontalHeader()->sectionSize(int(m_columns.size())), int(m_columns.size())});
    m_columns.resize(n);
}

bool CMyListCtrl::isColumnShown(int column) const
{
    return column >= 0 && column < m_columns.size() && m_columns.at(column).visible;
}

void CMyListCtrl::hideColumnAt(int column)
{
    if (!isColumnShown(column))
        return;
    m_adjusting = true;
    setUpdatesEnabled(false);
    ColumnState& state = m_columns[column];
    state.savedWidth = horizontalHeader()->sectionSize(column);
    state.savedPosition = horizontalHeader()->visualIndex(column);
    state.visible = false;
    horizontalHeader()->moveSection(horizontalHeader()->visualIndex(column), 0);
    horizontalHeader()->hideSection(column);
    setUpdatesEnabled(true);
    m_adjusting = false;
    fitFillColumn();
}

void CMyListCtrl::showColumnAt(int column)
{
    if (column < 0 || column >= m_columns.size() || m_columns.at(column).visible)
        return;
    m_adjusting = true;
    setUpdatesEnabled(false);
    ColumnState& state = m_columns[column];
    horizontalHeader()->showSection(column);
    horizontalHeader()->moveSection(horizontalHeader()->visualIndex(column),
                                    std::clamp(state.savedPosition, 0, int(m_columns.size()) - 1));
    state.visible = true;
    horizontalHeader()->resizeSection(column, std::max(state.savedWidth, kMinColumnWidth));
    setUpdatesEnabled(true);
    m_adjusting = false;
    if (column != m_fillColumn)
        fitFillColumn();
}

bool CMyListCtrl::setColumnWidthChecked(int column, int width)
{
    if (!isColumnShown(column) || width < kMinColumnWidth)
        return false;
    horizontalHeader()->resizeSection(column, width);
    return true;
}

void CMyListCtrl::autoSizeColumns()
{
    for (int c = 0; c < m_columns.size(); ++c) {
        if (!m_columns.at(c).visible)
            continue;
        const int wanted = std::max({sizeHintForColumn(c), horizontalHeader()->sectionSizeHint(c), kMinColumnWidth});
        horizontalHeader()->resizeSection(c, wanted);
    }
}

void CMyListCtrl::onSectionResized(int column, int oldSize, int newSize)
{
    if (m_adjusting || column >= m_columns.size() || !m_columns.at(column).visible)
        return;
    if (newSize < kMinColumnWidth) {
        m_adjusting = true;
        horizontalHeader()->resizeSection(column, std::max(oldSize, kMinColumnWidth));
        m_adjusting = false;
    }
    if (column != m_fillColumn)
        fitFillColumn();
}

void CMyListCtrl::setFillColumn(int column)
{
    m_fillColumn = column;
    fitFillColumn();
}

void CMyListCtrl::fitFillColumn()
{
    if (!isColumnShown(m_fillColumn))
        return;
    int others = 0;
    for (int c = 0; c < m_columns.size(); ++c) {
        if (c != m_fillColumn && m_columns.at(c).visible)
            others += horizontalHeader()->sectionSize(c);
    }
    const int room = viewport()->width() - others;
    if (room < kMinColumnWidth || room == horizontalHeader()->sectionSize(m_fillColumn))
        return;
    m_adjusting = true;
    horizontalHeader()->resizeSection(m_fillColumn, room);
    m_adjusting = false;
}

void CMyListCtrl::onSectionMoved(int logical, int, int newVisual)
{
    if (m_adjusting)
        return;
    // Hidden columns stay in front: a dragged column never lands before them.
    int hiddenInFront = 0;
    for (const ColumnState& s : m_columns)
        hiddenInFront += s.visible ? 0 : 1;
    if (newVisual < hiddenInFront) {
        m_adjusting = true;
        horizontalHeader()->moveSection(newVisual, hiddenInFront);
        m_adjusting = false;
    }
    Q_UNUSED(logical);
}

QList<int> CMyListCtrl::selectedRowsAscending() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.append(r);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CMyListCtrl::firstSelectedRow() const
{
    const QList<int> rows = selectedRowsAscending();
    return rows.isEmpty() ? -1 : rows.first();
}

void CMyListCtrl::selectOnly(int row)
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

bool CMyListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text.left(kMaxTipLength), viewport(), visualRect(index));
        }
        return true;
    }
    // A scroll bar that comes or goes changes the viewport's width too.
    if (event->type() == QEvent::Resize) {
        const bool handled = QTableView::viewportEvent(event);
        fitFillColumn();
        return handled;
    }
    return QTableView::viewportEvent(event);
}

void CMyListCtrl::keyPressEvent(QKeyEvent* event)
{
    if ((event->modifiers() & Qt::ControlModifier) && event->key() == Qt::Key_Plus &&
        (event->modifiers() & Qt::KeypadModifier)) {
        autoSizeColumns();
        return;
    }
    // Ctrl+Tab leaves the list too, as it leaves any control that might take Tab.
    if ((event->modifiers() & Qt::ControlModifier) &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
        focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        return;
    }
    if ((event->modifiers() & Qt::ControlModifier) && event->key() == Qt::Key_A) {
        selectAll();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit enterPressed();
        event->accept();
        return;
    case Qt::Key_Delete:
        emit deletePressed();
        event->accept();
        return;
    default:
        QTableView::keyPressEvent(event);
        // Typed text only searches the list: it never reaches the window as a shortcut.
        if (!event->text().isEmpty() && event->text().at(0).isPrint() &&
            !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            event->accept();
    }
}

void CMyListCtrl::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    if (!model() || model()->rowCount() == 0 || !selectionModel())
        return;
    // Gaining the focus selects the marked row, or row 0 when none is marked.
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    if (!selectionModel()->isRowSelected(row, {}))
        selectionModel()->select(model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!current.isValid())
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
}

void CMyListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
}
