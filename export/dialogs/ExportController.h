#pragma once

#include <QObject>

class CommandHost;

// The main window's "Export" button: taken over for as long as this object
// lives (it is a child of the window).
class ExportController : public QObject
{
    Q_OBJECT

public:
    explicit ExportController(CommandHost* host);

    void exportRecipients();

private:
    CommandHost* m_host;
};
