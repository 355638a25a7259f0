#pragma once

#include <QByteArray>
#include <QString>

// The packets the PC writes on the handset channel.
namespace Packets {

inline constexpr int kMaxPacketBytes = 16389;
inline constexpr char kSeparator = char(0xA7);

// "Sign": written once at the start of a send run.
QByteArray startPacket();

// The message in the ANSI code page, byte 0xA7, the number without leading and
// trailing blanks. Cut to kMaxPacketBytes (the message limit keeps real
// messages far below it).
QByteArray MessagePacket(const QString& message, const QString& number);

} // namespace Packets
