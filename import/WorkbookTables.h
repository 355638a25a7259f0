#pragma once

#include <QList>
#include <QStringList>

// The workbook tables the spreadsheet loads and the sheet dialog share. One
// import runs at a time (the main window is disabled and the dialogs are
// modal), and the dialog hands them back through a blocking call, so they
// need no lock.
extern QStringList g_arrSheetNames;     // every sheet, in workbook order
extern QList<int> g_arrColumnSelected;  // per listed column: 1 checked, 0 not
extern int g_nSelectedSheet;            // 1-based sheet to read

void ResetWorkbookTables();
