#pragma once

#include "platform/com/Variant.h"

#include <QByteArray>
#include <QCborMap>
#include <QCborValue>

class QIODevice;

// Frames between the device service and its clients: a 32-bit big-endian
// length, then that many bytes holding one CBOR map.
//
// Request:  {"id": n, "op": text, "h": handle, "a": [arguments]}
// Reply:    {"id": n, "hr": HRESULT, "r": [results]}
// Event:    {"ev": 1..4, "sink": sink id, "a": [arguments]}   (service to client, any time)
// Control:  {"id": n, "ctl": verb, "a": [text arguments]} -> {"id": n, "ok": bool, "out": text, "err": text}
namespace WireFormat {

// A device call never needs more than a packet and a little framing.
inline constexpr qsizetype kMaxFrameBytes = 64 * 1024;
// Control replies may carry an outbox.
inline constexpr qsizetype kMaxControlFrameBytes = 2 * 1024 * 1024;

QByteArray encodeFrame(const QCborMap& payload);

QCborValue fromVariant(const Variant& value);
// False when the value is not an encoded variant of a supported type.
bool toVariant(const QCborValue& value, Variant* out);

class FrameReader
{
public:
    enum class Status
    {
        NeedMore,
        Frame,
        TooLarge,
        Malformed,
    };

    explicit FrameReader(qsizetype maxFrameBytes = kMaxFrameBytes) : m_max(maxFrameBytes) {}

    // Takes bytes from the device, never more than the rest of the current
    // frame, so a lying or endless peer cannot make it hold more than one
    // frame. After TooLarge or Malformed the stream is out of step for good.
    Status readFrom(QIODevice* device, QCborMap* frame);
    // The same from a byte buffer; consumed bytes are removed from it.
    Status readFrom(QByteArray* buffer, QCborMap* frame);
    // Part of a frame has been read and the rest is still to come.
    bool isMidFrame() const { return m_failed == Status::NeedMore && (!m_header.isEmpty() || m_expected >= 0); }

private:
    Status step(QCborMap* frame);

    qsizetype m_max;
    QByteArray m_header;
    QByteArray m_body;
    qsizetype m_expected = -1;
    Status m_failed = Status::NeedMore;
};

} // namespace WireFormat
