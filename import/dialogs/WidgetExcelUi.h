#pragma once

#include "import/ExcelReader.h"

#include <QPointer>
#include <QWidget>

// The reader's boxes, owned by a window; safe to use from the reading thread.
class WidgetExcelUi : public ExcelReaderUi
{
public:
    explicit WidgetExcelUi(QWidget* owner) : m_owner(owner) {}
    void excelError(const QString& text) override;
    void notice(const QString& text) override;

private:
    QPointer<QWidget> m_owner;
};

inline const QString kReadingDiscarded = QStringLiteral("Excel Error : File reading process is discarded.");
