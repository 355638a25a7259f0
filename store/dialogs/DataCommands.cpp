#include "DataCommands.h"

#include "CExclusion_Wizard.h"
#include "CSent_Items.h"
#include "CViewTemplates.h"
#include "app/CCorvaneDlg.h"

DataCommands::DataCommands(CCorvaneDlg* main) : QObject(main), m_main(main)
{
    main->onViewTemplates = [this] { viewTemplates(); };
    main->onShowSentItems = [this] { showSentItems(); };
    main->onExclusionWizard = [this] { exclusionWizard(); };
}

DataCommands::~DataCommands()
{
    m_main->onViewTemplates = nullptr;
    m_main->onShowSentItems = nullptr;
    m_main->onExclusionWizard = nullptr;
}

void DataCommands::viewTemplates()
{
    CViewTemplates dialog(m_main, m_main->composer());
    dialog.exec();
}

void DataCommands::showSentItems()
{
    CSent_Items dialog(m_main);
    dialog.exec();
}

void DataCommands::exclusionWizard()
{
    CExclusion_Wizard wizard(m_main);
    wizard.onListsChanged = [this] { m_main->LoadExclusionNumbers(); };
    wizard.exec();
}
