#include "ExportController.h"

#include "ExportCommands.h"

#include "app/controls/Ui.h"
#include "app/core/CommandHost.h"
#include "app/core/RecipientListModel.h"

#include <QWidget>

ExportController::ExportController(CommandHost* host) : QObject(host->commandWindow()), m_host(host)
{
    host->provideCommand(CommandHost::Command::Export, this, [this] { exportRecipients(); });
}

void ExportController::exportRecipients()
{
    if (m_host->recipients()->count() == 0) {
        Ui::notice(m_host->commandWindow(), QStringLiteral("Phone numbers-Messages list is empty."));
        m_host->focusNumber();
        return;
    }
    ExportRecipientList(m_host->commandWindow(), *m_host->recipients());
}
