#pragma once

#include <QList>

class QWidget;
class RecipientListModel;
namespace DataFiles {
struct SentItem;
}

// The export commands the dialogs start. Each runs its own options and file
// dialogs, does the writing on a worker thread behind a wait window with the
// owner disabled, and ends with the "exported successfully" dialog. Both
// return when the export is over.

// "Export" of the Sent Item(s) dialog: the rows as the dialog shows them.
void ExportSentItems(QWidget* owner, const QList<DataFiles::SentItem>& rows);
// "Export" of the main window: the recipient list.
void ExportRecipientList(QWidget* owner, const RecipientListModel& recipients);
