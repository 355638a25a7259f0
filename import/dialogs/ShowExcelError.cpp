#include "ShowExcelError.h"

#include "app/Ui.h"
#include "import/ExcelErrors.h"

void ShowExcelError(QWidget* owner, const QString& text)
{
    Ui::messageBox(owner, ExcelErrors::compose(text), QStringLiteral("Excel Error"), Ui::Buttons::Ok, Ui::Icon::Error);
}
