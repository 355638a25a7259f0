#include "ExclusionWorkbookImport.h"

#include "app/controls/GuiThread.h"
#include "import/ContactImport.h"
#include "import/ExcelReader.h"
#include "import/WorkbookTables.h"
#include "import/dialogs/CExcel_Info_Dlg.h"
#include "import/dialogs/WidgetExcelUi.h"

#include <QApplication>

bool LoadExclusionCandidatesFromWorkbook(const ExclusionImportContext& context, const QString& path,
                                         const ExclusionLists::CandidateSink& sink)
{
    auto waitVisible = [&context](bool visible) {
        if (context.setWaitVisible)
            context.setWaitVisible(visible);
    };
    WidgetExcelUi ui(context.owner);
    ExcelReader reader(ui);
    try {
        ResetWorkbookTables();
        if (!reader.StartExcel() || !reader.OpenWorkbook(path)) {
            waitVisible(false);
            return false;
        }
        reader.ListSheetNames();
        waitVisible(false);
        const int choice = onGuiThread([&] {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
            CExcel_Info_Dlg dialog(context.owner, path);
            const int result = dialog.exec();
            QApplication::restoreOverrideCursor();
            return result;
        });
        if (choice != QDialog::Accepted) {
            reader.EndExcel();
            return false;
        }
        waitVisible(true);
        if (!reader.SelectWorksheet(g_nSelectedSheet) || reader.LoadUsedGrid() != ExcelReader::Grid::Cells) {
            reader.EndExcel();
            waitVisible(false);
            return false;
        }
        ContactImport::ReadSheetColumns(reader, g_arrColumnSelected, [&sink](int, int, const QString& text) {
            sink(text);
            return true;
        });
        reader.EndExcel();
        return true;
    } catch (const ExcelAutomationError&) {
        waitVisible(false);
        ui.excelError(kReadingDiscarded);
        reader.EndExcel();
        return false;
    }
}
