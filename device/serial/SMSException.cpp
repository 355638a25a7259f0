#include "SMSException.h"

#include "SMSStrings.h"

#include "platform/serial/SerialErrors.h"

CSMSException::CSMSException(quint32 code, const QString& text) : m_code(code), m_text(text)
{
    m_what = errorMessage().toUtf8();
}

QString CSMSException::errorMessage() const
{
    const quint32 low = m_code & 0xFFFF;
    QString message;
    if (facility() == 4) {
        message = SMSStrings::load(low);
        message.replace(QLatin1String("%1"), m_text);
    } else {
        message = SerialErrors::systemMessage(low);
        if (message.isEmpty())
            message = m_text;
    }
    if (message.contains(QLatin1String("The operation completed successfully.")))
        return QString();
    return message.left(MaxMessageLength);
}
