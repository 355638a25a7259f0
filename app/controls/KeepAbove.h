#pragma once

class QWidget;

// Makes `dialog` stay above its owner's window without being the owner's
// child: a disabled owner (as during a run or a device search) then leaves the
// dialog usable. Call before the dialog is first shown.
void keepAboveOwner(QWidget* dialog, QWidget* owner);
