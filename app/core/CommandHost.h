#pragma once

#include <QString>

#include <functional>

class CMy_Sel_All_Edit;
class NumberIndex;
class QObject;
class QWidget;
class RecipientListModel;

// What the commands of the imports, the exports and the data dialogs need from
// the window they serve: the recipient list, the composer, the options they
// read, focus, and the counters' refresh. The main window implements it; the
// commands' tests answer it with a fake window.
class CommandHost
{
public:
    // The window's buttons a command can take over.
    enum class Command
    {
        LoadContacts,
        DynamicMessages,
        Export,
        ExclusionWizard,
        ViewTemplates,
        ShowSentItems
    };

    virtual ~CommandHost() = default;

    // The window the commands' dialogs open over. The commands are its
    // children: they end with it.
    virtual QWidget* commandWindow() = 0;
    // Makes the window's button for `command` run `run`, for as long as `owner` lives.
    virtual void provideCommand(Command command, QObject* owner, std::function<void()> run) = 0;

    virtual RecipientListModel* recipients() const = 0;
    // The composer: the templates dialog writes into it at its cursor.
    virtual CMy_Sel_All_Edit* composer() const = 0;
    virtual QString composerText() const = 0;
    // Keeps the composer's text as the message new rows get, and returns it.
    virtual QString takeComposedMessage() = 0;
    // How many rows the list held when the last import began.
    virtual void setRowsBeforeImport(int rows) = 0;

    virtual bool skipDuplicates() const = 0;
    virtual bool useExclusionRules() const = 0;
    // The numbers of the exclusion lists in use, and reading them again after the lists changed.
    virtual const NumberIndex& exclusionIndex() const = 0;
    virtual void LoadExclusionNumbers() = 0;

    // The counters under the list.
    virtual void UpdateTotalNumbers() = 0;
    virtual void focusNumber() = 0;
    virtual void bringToFront() = 0;
    // Whether the window takes input; off while an import fills the list.
    virtual void setWindowEnabled(bool enabled) = 0;
    virtual void setAddEnabled(bool enabled) = 0;
    virtual void setUpdateEnabled(bool enabled) = 0;
};
