#include "ShowExcelError.h"

#include "app/controls/Ui.h"
#include "import/ExcelErrors.h"

void ShowExcelError(QWidget* owner, const QString& text)
{
    Ui::messageBox(owner, ExcelErrors::compose(text), QStringLiteral("Excel Error"), Ui::Buttons::Ok, Ui::Icon::Error);
}
