#pragma once

#include <QString>

// The "Excel Error" box's text: what went wrong, then the system's description
// of the calling thread's last error when there is one. The readers and
// writers set the last error where a system call failed (errno values).
namespace ExcelErrors {

int lastError();
void setLastError(int code);
void clearLastError();

// text, and "\n" plus the description of the last error when it is not zero.
QString compose(const QString& text);

} // namespace ExcelErrors
