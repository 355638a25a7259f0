#pragma once

#include "export/ExportTypes.h"

#include "store/DataFiles.h"

#include <QDialog>
#include <QList>

class QDateEdit;
class QRadioButton;

// "Export": the date range and the file format of a sent-items export. It
// closes with OK only for a range that holds at least one of the rows, and
// then leaves range and format in exportOptions().
class CExport_Option : public QDialog
{
    Q_OBJECT

public:
    CExport_Option(QWidget* parent, const QList<DataFiles::SentItem>& rows, const QDate& today = QDate::currentDate());

    ExportFormat format() const { return m_format; }
    ExportDateRange range() const { return m_range; }

public slots:
    void accept() override;

private:
    QDateEdit* m_start = nullptr;
    QDateEdit* m_end = nullptr;
    QList<QRadioButton*> m_formats; // text, HTML, Excel 97-2003, Excel workbook
    QList<DataFiles::SentItem> m_rows;
    ExportFormat m_format = ExportFormat::Text;
    ExportDateRange m_range;
};
