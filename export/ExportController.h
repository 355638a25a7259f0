#pragma once

#include <QObject>

class CCorvaneDlg;

// The main window's "Export" button: installed on the window's hook for as
// long as this object lives (it is a child of the window).
class ExportController : public QObject
{
    Q_OBJECT

public:
    explicit ExportController(CCorvaneDlg* main);
    ~ExportController() override;

    void exportRecipients();

private:
    CCorvaneDlg* m_main;
};
