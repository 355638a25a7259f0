#pragma once

#include <QDialog>
#include <QPointer>

class CAddSentItem;
class QCheckBox;
class QListWidget;
class QListWidgetItem;
class QThread;

// "Select Excel Sheet To Open": one sheet of the workbook and the columns of
// it to import. The caller fills g_arrSheetNames; on OK g_nSelectedSheet and
// g_arrColumnSelected say what was chosen. Each sheet chosen is read (its first
// row) on a thread of its own while the dialog waits behind a wait window.
class CExcel_Info_Dlg : public QDialog
{
    Q_OBJECT

public:
    CExcel_Info_Dlg(QWidget* parent, const QString& workbookPath);
    ~CExcel_Info_Dlg() override;

    int m_nLastSheetIndex = -1;
    bool isReading() const { return m_thread != nullptr; }

    struct SheetRead
    {
        bool listed = false; // the sheet had a grid: its captions follow
        bool empty = false;  // the sheet was empty
        QStringList captions;
    };

public slots:
    void accept() override;

private:
    void onSheetChanged();
    void onSheetRead(const SheetRead& result);
    void onSelectAll(bool checked);
    void onColumnChanged(QListWidgetItem* item);
    void refreshSelectAllName();

    QString m_path;
    QListWidget* m_sheets = nullptr;
    QListWidget* m_columns = nullptr;
    QCheckBox* m_selectAll = nullptr;
    QPointer<CAddSentItem> m_pReadingWnd;
    QThread* m_thread = nullptr;
    bool m_syncing = false;
};
