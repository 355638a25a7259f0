#include "ExportController.h"

#include "ExportCommands.h"

#include "app/CCorvaneDlg.h"
#include "app/Ui.h"
#include "app/core/RecipientListModel.h"

ExportController::ExportController(CCorvaneDlg* main) : QObject(main), m_main(main)
{
    main->onExport = [this] { exportRecipients(); };
}

ExportController::~ExportController()
{
    m_main->onExport = nullptr;
}

void ExportController::exportRecipients()
{
    if (m_main->recipients()->count() == 0) {
        Ui::notice(m_main, QStringLiteral("Phone numbers-Messages list is empty."));
        m_main->focusNumber();
        return;
    }
    ExportRecipientList(m_main, *m_main->recipients());
}
