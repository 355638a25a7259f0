// The main window as the host of the commands built in the subsystems.
#include "CCorvaneDlg.h"

#include "app/controls/CMy_Sel_All_Edit.h"

std::function<void()>& CCorvaneDlg::hookFor(Command command)
{
    switch (command) {
    case Command::LoadContacts:
        return onLoadContacts;
    case Command::DynamicMessages:
        return onDynamicMessages;
    case Command::Export:
        return onExport;
    case Command::ExclusionWizard:
        return onExclusionWizard;
    case Command::ViewTemplates:
        return onViewTemplates;
    case Command::ShowSentItems:
        break;
    }
    return onShowSentItems;
}

void CCorvaneDlg::provideCommand(Command command, QObject* owner, std::function<void()> run)
{
    hookFor(command) = std::move(run);
    m_commands[int(command)] = owner;
    // A command that ends before the window gives its button back to the
    // "not available" notice, unless another command took the button since.
    connect(owner, &QObject::destroyed, this, [this, command] {
        if (!m_commands.value(int(command))) {
            m_commands.remove(int(command));
            hookFor(command) = nullptr;
        }
    });
}

void CCorvaneDlg::endCommands()
{
    QList<QObject*> owners;
    for (const QPointer<QObject>& owner : std::as_const(m_commands)) {
        // Only what the window owns: a command kept elsewhere ends where it is kept.
        if (owner && owner->parent() == this && !owners.contains(owner.data()))
            owners.append(owner.data());
    }
    for (QObject* owner : owners)
        delete owner;
}

QString CCorvaneDlg::takeComposedMessage()
{
    m_strMessage = composerText();
    return m_strMessage;
}
