#pragma once

#include "store/ExclusionLists.h"

#include <functional>

class QWidget;

// What the spreadsheet branch of the exclusion-number import may use while it
// runs on the import worker. Both callables may be called from the worker.
struct ExclusionImportContext
{
    QWidget* owner = nullptr;                 // owner of the sheet dialog and the messages
    std::function<void(bool)> setWaitVisible; // hide the wait window while the sheet dialog is up
};

// Offers every cell of the chosen columns of the chosen sheet of a workbook
// (.xls, .xlsx, .csv or .ods), column by column, row 1 to the last used row, to `sink`.
// Runs on the import worker. Returns false when the import ends early (the
// sheet choice cancelled, or a failure it has already reported).
bool LoadExclusionCandidatesFromWorkbook(const ExclusionImportContext& context, const QString& path,
                                         const ExclusionLists::CandidateSink& sink);
