#include "WidgetExcelUi.h"

#include "app/controls/Ui.h"

void WidgetExcelUi::excelError(const QString& text)
{
    Ui::messageBox(m_owner, text, QStringLiteral("Excel Error"), Ui::Buttons::Ok, Ui::Icon::Error);
}

void WidgetExcelUi::notice(const QString& text)
{
    Ui::notice(m_owner, text);
}
