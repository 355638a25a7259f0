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

// Support addresses used by the links of every dialog. The links open through
// the shell; when no browser or mail program can be started, a message shows
// the address instead, so the user can copy it.
namespace Support {
QString mailAddress();
QString website();
void openPage(QWidget* owner, const QString& url);
void openSupportMail(QWidget* owner);
} // namespace Support
