#include "ExcelErrors.h"

#include <cstring>

namespace ExcelErrors {

namespace {
thread_local int t_lastError = 0;
}

int lastError()
{
    return t_lastError;
}

void setLastError(int code)
{
    t_lastError = code;
}

void clearLastError()
{
    t_lastError = 0;
}

QString compose(const QString& text)
{
    if (t_lastError == 0)
        return text;
    QString description = QString::fromLocal8Bit(std::strerror(t_lastError));
    if (description.contains(QLatin1String("Success")))
        description.clear();
    return text + QLatin1Char('\n') + description;
}

} // namespace ExcelErrors
