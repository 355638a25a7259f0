#include "WireFormat.h"

#include <QCborArray>
#include <QCborStreamReader>
#include <QIODevice>
#include <QtEndian>

namespace WireFormat {

QByteArray encodeFrame(const QCborMap& payload)
{
    const QByteArray body = payload.toCborValue().toCbor();
    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(body.size()), frame.data());
    return frame + body;
}

QCborValue fromVariant(const Variant& value)
{
    QCborArray out{static_cast<int>(value.vt)};
    switch (value.vt) {
    case VT_I2:
    case VT_I4:
    case VT_UI4:
        out.append(value.lVal);
        break;
    case VT_BOOL:
        out.append(value.boolVal);
        break;
    case VT_BSTR:
        out.append(value.bstrVal);
        break;
    default:
        break;
    }
    return out;
}

bool toVariant(const QCborValue& value, Variant* out)
{
    if (!value.isArray())
        return false;
    const QCborArray a = value.toArray();
    if (a.isEmpty() || !a.at(0).isInteger())
        return false;
    const qint64 vt = a.at(0).toInteger();
    const auto int32At = [&](qint64 low, qint64 high, std::int32_t* v) {
        if (a.size() != 2 || !a.at(1).isInteger() || a.at(1).toInteger() < low || a.at(1).toInteger() > high)
            return false;
        *v = static_cast<std::int32_t>(a.at(1).toInteger());
        return true;
    };
    Variant v;
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        if (a.size() != 1)
            return false;
        v.vt = static_cast<VarType>(vt);
        break;
    case VT_I2:
        if (!int32At(-32768, 32767, &v.lVal))
            return false;
        v.vt = VT_I2;
        break;
    case VT_I4:
    case VT_UI4:
        if (!int32At(INT32_MIN, INT32_MAX, &v.lVal))
            return false;
        v.vt = static_cast<VarType>(vt);
        break;
    case VT_BOOL:
        if (a.size() != 2 || !a.at(1).isBool())
            return false;
        v = Variant::fromBool(a.at(1).toBool());
        break;
    case VT_BSTR:
        if (a.size() != 2 || !a.at(1).isString())
            return false;
        v = Variant::fromString(a.at(1).toString());
        break;
    default:
        return false;
    }
    *out = v;
    return true;
}

FrameReader::Status FrameReader::readFrom(QIODevice* device, QCborMap* frame)
{
    if (m_failed != Status::NeedMore)
        return m_failed;
    for (;;) {
        if (m_expected < 0) {
            m_header += device->read(4 - m_header.size());
            if (m_header.size() < 4)
                return Status::NeedMore;
        } else if (m_body.size() < m_expected) {
            m_body += device->read(m_expected - m_body.size());
        }
        const Status status = step(frame);
        if (status != Status::NeedMore)
            return status;
        if (device->bytesAvailable() <= 0)
            return Status::NeedMore;
    }
}

FrameReader::Status FrameReader::readFrom(QByteArray* buffer, QCborMap* frame)
{
    if (m_failed != Status::NeedMore)
        return m_failed;
    for (;;) {
        qsizetype take = 0;
        if (m_expected < 0) {
            take = qMin<qsizetype>(4 - m_header.size(), buffer->size());
            m_header += buffer->left(take);
        } else {
            take = qMin<qsizetype>(m_expected - m_body.size(), buffer->size());
            m_body += buffer->left(take);
        }
        buffer->remove(0, take);
        const Status status = step(frame);
        if (status != Status::NeedMore || buffer->isEmpty())
            return status;
    }
}

FrameReader::Status FrameReader::step(QCborMap* frame)
{
    if (m_expected < 0) {
        if (m_header.size() < 4)
            return Status::NeedMore;
        const quint32 length = qFromBigEndian<quint32>(m_header.constData());
        if (length == 0)
            return m_failed = Status::Malformed;
        if (length > static_cast<quint64>(m_max))
            return m_failed = Status::TooLarge;
        m_expected = length;
        m_body.reserve(m_expected);
    }
    if (m_body.size() < m_expected)
        return Status::NeedMore;

    QCborStreamReader reader(m_body);
    const QCborValue value = QCborValue::fromCbor(reader);
    const bool whole = reader.lastError() == QCborError::NoError && reader.currentOffset() == m_body.size();
    m_header.clear();
    m_body.clear();
    m_expected = -1;
    if (!whole || !value.isMap())
        return m_failed = Status::Malformed;
    *frame = value.toMap();
    return Status::Frame;
}

} // namespace WireFormat
