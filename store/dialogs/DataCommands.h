#pragma once

#include <QObject>

class CCorvaneDlg;

// The main window's commands for its data files: "View Templates", "Show Sent
// Item" and "Exclusion List Wizard". Installs itself into the window's hooks
// and removes itself again when destroyed.
class DataCommands : public QObject
{
    Q_OBJECT

public:
    explicit DataCommands(CCorvaneDlg* main);
    ~DataCommands() override;

    void viewTemplates();
    void showSentItems();
    void exclusionWizard();

private:
    CCorvaneDlg* m_main;
};
