#pragma once

#include <QDialog>

class QPushButton;

// Help and Support: what the program does, and where to get help.
class HelpSupportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HelpSupportDialog(QWidget* parent = nullptr);
};

// The OK button of a small information dialog: the default button, focused, so
// that Enter in the new dialog closes it rather than opening one of its links.
QPushButton* informationOkButton(QDialog* dialog);

// Support addresses used by the links of every dialog. The links open through
// the shell; when no browser or mail program can be started, a message shows
// the address instead, so the user can copy it.
namespace Support {
QString mailAddress();
QString website();
void openPage(QWidget* owner, const QString& url);
void openSupportMail(QWidget* owner);
} // namespace Support
