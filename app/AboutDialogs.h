#pragma once

#include <QDialog>

// "About Ulmex Veva SMS - BlackBerry Mobile Phones".
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// Help and Support: what the program does, and where to get help.
class HelpSupportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HelpSupportDialog(QWidget* parent = nullptr);
};

// Support addresses used by the links of every dialog.
namespace Support {
QString mailAddress();
QString website();
void openSupportMail();
} // namespace Support
