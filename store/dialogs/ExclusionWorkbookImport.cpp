#include "ExclusionWorkbookImport.h"

#include "app/Ui.h"

bool LoadExclusionCandidatesFromWorkbook(const ExclusionImportContext& context, const QString&,
                                         const ExclusionLists::CandidateSink&)
{
    if (context.setWaitVisible)
        context.setWaitVisible(false);
    Ui::notice(context.owner, QStringLiteral("Loading numbers from spreadsheets is not available in this build yet."));
    return false;
}
