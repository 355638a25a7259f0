#include "MessagePacket.h"

#include "platform/TextCodec.h"

namespace Packets {

QByteArray startPacket()
{
    return QByteArrayLiteral("Sign");
}

QByteArray MessagePacket(const QString& message, const QString& number)
{
    QByteArray text = TextCodec::toAnsi(message);
    QByteArray recipient = TextCodec::toAnsi(number.trimmed());
    // A NUL would end the packet early and lose the number: leave NULs out.
    text.replace('\0', QByteArray());
    recipient.replace('\0', QByteArray());
    // An over-long message is cut, never the number after the separator.
    const qsizetype room = kMaxPacketBytes - 1 - recipient.size();
    if (text.size() > room)
        text.truncate(qMax<qsizetype>(0, room));
    QByteArray packet = text;
    packet.append(kSeparator);
    packet.append(recipient);
    packet.truncate(kMaxPacketBytes);
    return packet;
}

} // namespace Packets
