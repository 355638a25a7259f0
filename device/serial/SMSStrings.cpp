#include "SMSStrings.h"

namespace SMSStrings {

QString load(quint32 id)
{
    switch (id) {
    case SmscTooLarge:
        return QStringLiteral("SMSC Number too large to semi-octet encode");
    case PhoneNumberTooLarge:
        return QStringLiteral("Phone Number too large to semi-octet encode");
    case EncodeFailed:
        return QStringLiteral("Failed to encode the message to send");
    case NoResponse:
        return QStringLiteral("Failed to receive a response from the modem.");
    case NoSmsSupport:
        return QStringLiteral("Modem does not support SMS messaging.");
    case PduModeFailed:
        return QStringLiteral("Failed to set the PDU encoding mode.");
    case TextModeFailed:
        return QStringLiteral("Failed to set the Message in Text mode.");
    case SendFailed:
        return QStringLiteral("Modem failed to send the SMS message.");
    case MessageTooLarge:
        return QStringLiteral("Message is too large to PDU encode");
    case NoMessage:
        return QStringLiteral("No message provided to PDU encode");
    default:
        return QString();
    }
}

} // namespace SMSStrings
