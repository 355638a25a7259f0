#include "DataCommands.h"

#include "CExclusion_Wizard.h"
#include "CSent_Items.h"
#include "CViewTemplates.h"
#include "app/core/CommandHost.h"

#include <QWidget>

DataCommands::DataCommands(CommandHost* host) : QObject(host->commandWindow()), m_host(host)
{
    host->provideCommand(CommandHost::Command::ViewTemplates, this, [this] { viewTemplates(); });
    host->provideCommand(CommandHost::Command::ShowSentItems, this, [this] { showSentItems(); });
    host->provideCommand(CommandHost::Command::ExclusionWizard, this, [this] { exclusionWizard(); });
}

void DataCommands::viewTemplates()
{
    CViewTemplates dialog(m_host->commandWindow(), m_host->composer());
    dialog.exec();
}

void DataCommands::showSentItems()
{
    CSent_Items dialog(m_host->commandWindow());
    dialog.exec();
}

void DataCommands::exclusionWizard()
{
    CExclusion_Wizard wizard(m_host->commandWindow());
    wizard.onListsChanged = [this] { m_host->LoadExclusionNumbers(); };
    wizard.exec();
}
