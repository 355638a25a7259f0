#pragma once

#include <QString>
#include <QtGlobal>

// The string resources of the serial modem messages.
namespace SMSStrings {

enum : quint32
{
    SmscTooLarge = 513,
    PhoneNumberTooLarge = 514,
    EncodeFailed = 515,
    NoResponse = 516,
    NoSmsSupport = 517,
    PduModeFailed = 518,
    TextModeFailed = 519,
    SendFailed = 520,
    MessageTooLarge = 521,
    NoMessage = 522,
};

// The text of a resource, empty when there is no resource with that number.
QString load(quint32 id);

} // namespace SMSStrings
