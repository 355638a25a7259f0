#include "KeepAbove.h"

#include <QWidget>
#include <QWindow>

void keepAboveOwner(QWidget* dialog, QWidget* owner)
{
    if (!owner)
        return;
    QWidget* top = owner->window();
    top->winId();
    dialog->winId();
    if (dialog->windowHandle() && top->windowHandle())
        dialog->windowHandle()->setTransientParent(top->windowHandle());
}
