#pragma once

#include <QList>
#include <QTableView>

// A report-style list: full-row selection, grid lines, movable columns that can
// be hidden and shown again, no column narrower than 20 pixels, and cell tips.
class CMyListCtrl : public QTableView
{
    Q_OBJECT

public:
    struct ColumnState
    {
        bool visible = true;
        int savedWidth = 0;
        int savedPosition = 0;
    };

    static constexpr int kMinColumnWidth = 20;
    static constexpr int kMaxTipLength = 80;

    explicit CMyListCtrl(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    void hideColumnAt(int column);
    void showColumnAt(int column);
    // False for a hidden column or a width under the minimum.
    bool setColumnWidthChecked(int column, int width);
    void autoSizeColumns();
    // The width the column's texts need, as the view measures them.
    int contentWidth(int column) const { return sizeHintForColumn(column); }
    bool isColumnShown(int column) const;
    // The column that takes what the others leave of the list's width, so a
    // short list needs no horizontal scroll bar; -1 for none.
    void setFillColumn(int column);
    const QList<ColumnState>& columnStates() const { return m_columns; }

    // Selected rows in ascending order.
    QList<int> selectedRowsAscending() const;
    int firstSelectedRow() const;
    void selectOnly(int row);

signals:
    void enterPressed();
    void deletePressed();
    void rowActivated(int row);

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void syncColumns();
    void onSectionResized(int column, int oldSize, int newSize);
    void onSectionMoved(int logical, int oldVisual, int newVisual);
    void fitFillColumn();

    QList<ColumnState> m_columns;
    bool m_adjusting = false;
    int m_fillColumn = -1;
};
