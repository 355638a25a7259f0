#pragma once

#include <QObject>

class CommandHost;

// The main window's commands for its data files: "View Templates", "Show Sent
// Item" and "Exclusion List Wizard". Takes the window's buttons for as long as
// it lives (it is a child of the window).
class DataCommands : public QObject
{
    Q_OBJECT

public:
    explicit DataCommands(CommandHost* host);

    void viewTemplates();
    void showSentItems();
    void exclusionWizard();

private:
    CommandHost* m_host;
};
