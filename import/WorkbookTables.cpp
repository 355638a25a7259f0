#include "WorkbookTables.h"

QStringList g_arrSheetNames;
QList<int> g_arrColumnSelected;
int g_nSelectedSheet = 0;

void ResetWorkbookTables()
{
    g_arrSheetNames.clear();
    g_arrColumnSelected.clear();
}
