#pragma once

#include <QString>

#include <functional>

class QWidget;

// The one seam for message boxes and file dialogs. Everything the program
// shows as a message box goes through messageBox(); tests install a hook that
// answers from a script and records what was shown. Both may be called from a
// worker thread: they then run on the GUI thread while the worker waits.
namespace Ui {

// YesNoDefaultNo: a question whose safe answer is No, so Enter does not send twice.
enum class Buttons
{
    Ok,
    YesNo,
    YesNoDefaultNo,
    YesNoCancel,
    RetryCancel,
    // OK, and "Mobile Phone Connection Wizard" (IdYes), which opens the wizard.
    OkWizard
};
enum class Icon
{
    None,
    Information,
    Question,
    Warning,
    Error
};

// The platform's button identifiers, so results compare as the dialogs expect.
enum Result
{
    IdOk = 1,
    IdCancel = 2,
    IdRetry = 4,
    IdYes = 6,
    IdNo = 7
};

int messageBox(QWidget* owner, const QString& text, const QString& caption, Buttons buttons, Icon icon);

// "Message" with the information icon: notices and input errors.
inline int notice(QWidget* owner, const QString& text)
{
    return messageBox(owner, text, QStringLiteral("Message"), Buttons::Ok, Icon::Information);
}
// "Confirm" with Yes and No.
inline bool confirm(QWidget* owner, const QString& text, Icon icon = Icon::Question)
{
    return messageBox(owner, text, QStringLiteral("Confirm"), Buttons::YesNo, icon) == IdYes;
}

using MessageBoxHook = std::function<int(QWidget* owner, const QString& text, const QString& caption, Buttons, Icon)>;
void setMessageBoxHook(MessageBoxHook hook); // an empty hook restores the real boxes

enum class FileDialogKind
{
    Open,
    Save
};
using FileDialogHook = std::function<QString(FileDialogKind, QWidget* owner, const QString& caption,
                                             const QString& folder, const QString& filter)>;
QString getOpenFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filter);
QString getSaveFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filter);
// The same for a filter of several file types ("A (*.a);;B (*.b)"): *typeIndex
// receives the 0-based position of the type the user chose.
QString getSaveFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                        int* typeIndex);
void setFileDialogHook(FileDialogHook hook);
// Which file type a hooked save dialog reports (tests); without one, the first.
using FileTypeHook = std::function<int(const QString& filter)>;
void setFileTypeHook(FileTypeHook hook);

void beep();

} // namespace Ui
