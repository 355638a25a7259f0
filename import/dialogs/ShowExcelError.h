#pragma once

#include <QString>

class QWidget;

// The "Excel Error" box (error icon) owned by `owner`, with the calling
// thread's last error appended (see ExcelErrors). Callable from a worker: the
// text is composed there, the box is shown on the GUI thread.
void ShowExcelError(QWidget* owner, const QString& text);
