#include "ExportCommands.h"

#include "app/Ui.h"

// Until the writers land, both commands say so instead of doing nothing.
void ExportSentItems(QWidget* owner, const QList<DataFiles::SentItem>&)
{
    Ui::notice(owner, QStringLiteral("Exporting is not available in this build yet."));
}

void ExportRecipientList(QWidget* owner, const RecipientListModel&)
{
    Ui::notice(owner, QStringLiteral("Exporting is not available in this build yet."));
}
