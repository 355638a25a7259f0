#include "SmsSubmitDecoder.h"

#include <QList>

namespace {

// Unicode code points of the default alphabet, by septet (3GPP TS 23.038 6.2.1).
// 0x1B, the escape, is looked up in the extension table instead.
constexpr char16_t kBasic[128] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC, 0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8,
    0x000D, 0x00C5, 0x00E5, 0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8, 0x03A3, 0x0398,
    0x039E, 0x00A0, 0x00C6, 0x00E6, 0x00DF, 0x00C9, 0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026,
    0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033,
    0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x00A1,
    0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, 0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D,
    0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A,
    0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7, 0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074,
    0x0075, 0x0076, 0x0077, 0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0};

char16_t extension(int septet)
{
    switch (septet) {
    case 0x0A:
        return 0x000C;
    case 0x14:
        return 0x005E;
    case 0x28:
        return 0x007B;
    case 0x29:
        return 0x007D;
    case 0x2F:
        return 0x005C;
    case 0x3C:
        return 0x005B;
    case 0x3D:
        return 0x007E;
    case 0x3E:
        return 0x005D;
    case 0x40:
        return 0x007C;
    case 0x65:
        return 0x20AC;
    default:
        return kBasic[septet]; // an unknown extension reads as its basic character
    }
}

class Reader
{
public:
    explicit Reader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool has(int n) const { return m_at + n <= m_bytes.size(); }
    int octet() { return quint8(m_bytes.at(m_at++)); }
    QByteArray take(int n)
    {
        const QByteArray out = m_bytes.mid(m_at, n);
        m_at += n;
        return out;
    }
    int position() const { return int(m_at); }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

// Septet number i of the user data, counted from its first bit.
int septetAt(const QByteArray& data, int i)
{
    const int bit = i * 7;
    const int byte = bit / 8;
    int value = quint8(data.at(byte)) >> (bit % 8);
    if (bit % 8 > 1 && byte + 1 < data.size())
        value |= quint8(data.at(byte + 1)) << (8 - bit % 8);
    return value & 0x7F;
}

} // namespace

std::optional<DecodedSubmit> decodeSubmit(const QByteArray& hex, QString* error)
{
    auto bad = [error](const char* why) -> std::optional<DecodedSubmit> {
        if (error)
            *error = QLatin1String(why);
        return std::nullopt;
    };
    for (const char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return bad("not hexadecimal");
    }
    if (hex.isEmpty() || hex.size() % 2 != 0)
        return bad("odd number of digits");
    Reader r(QByteArray::fromHex(hex));
    const int scaLength = r.octet();
    if (!r.has(scaLength))
        return bad("service centre address cut short");
    r.take(scaLength);
    const int tpduStart = r.position();

    DecodedSubmit out;
    if (!r.has(2))
        return bad("no TPDU");
    const int first = r.octet();
    if ((first & 0x03) != 0x01)
        return bad("not an SMS-SUBMIT");
    const bool hasHeader = first & 0x40;
    out.statusReportRequested = first & 0x20;
    const int validityFormat = (first >> 3) & 0x03;
    r.octet(); // TP-MR

    if (!r.has(2))
        return bad("no destination address");
    const int digits = r.octet();
    const int type = r.octet();
    if (digits == 0 || digits > 20 || !r.has((digits + 1) / 2))
        return bad("destination address of a wrong length");
    const QByteArray semiOctets = r.take((digits + 1) / 2);
    QString number = (type & 0x70) == 0x10 ? QStringLiteral("+") : QString();
    for (int i = 0; i < digits; ++i) {
        const int nibble = (quint8(semiOctets.at(i / 2)) >> (i % 2 ? 4 : 0)) & 0x0F;
        if (nibble > 9)
            return bad("destination address holds a non-digit");
        number += QChar(u'0' + nibble);
    }
    out.number = number;

    if (!r.has(2))
        return bad("no PID or DCS");
    r.octet(); // TP-PID
    const int dcs = r.octet();
    const int validityOctets = validityFormat == 0 ? 0 : validityFormat == 2 ? 1 : 7;
    if (!r.has(validityOctets + 1))
        return bad("validity period or user data length missing");
    r.take(validityOctets);
    const int udl = r.octet();

    enum
    {
        Septets,
        Octets,
        Ucs2
    } alphabet = Septets;
    if ((dcs & 0xC0) == 0x00) {
        const int bits = (dcs >> 2) & 0x03;
        alphabet = bits == 0 ? Septets : bits == 1 ? Octets : bits == 2 ? Ucs2 : Septets;
    } else if ((dcs & 0xF0) == 0xF0) {
        alphabet = (dcs & 0x04) ? Octets : Septets;
    }
    const int dataOctets = alphabet == Septets ? (udl * 7 + 7) / 8 : udl;
    const QByteArray data = r.take(dataOctets);
    if (data.size() != dataOctets || r.has(1))
        return bad("user data length does not match the PDU");
    out.tpduLength = r.position() - tpduStart;

    int headerOctets = 0;
    if (hasHeader) {
        if (data.isEmpty() || quint8(data.at(0)) + 1 > data.size())
            return bad("user data header cut short");
        headerOctets = quint8(data.at(0)) + 1;
        for (int at = 1; at + 1 < headerOctets;) {
            const int iei = quint8(data.at(at));
            const int length = quint8(data.at(at + 1));
            if (at + 2 + length > headerOctets)
                return bad("information element cut short");
            const QByteArray ie = data.mid(at + 2, length);
            if ((iei == 0x00 && length == 3) || (iei == 0x08 && length == 4)) {
                const int refBytes = iei == 0x00 ? 1 : 2;
                out.reference = refBytes == 1 ? quint8(ie.at(0)) : quint8(ie.at(0)) << 8 | quint8(ie.at(1));
                out.parts = quint8(ie.at(refBytes));
                out.part = quint8(ie.at(refBytes + 1));
                if (out.parts == 0 || out.part == 0 || out.part > out.parts)
                    return bad("concatenation numbers out of range");
            }
            at += 2 + length;
        }
    }

    if (alphabet == Septets) {
        const int skip = (headerOctets * 8 + 6) / 7; // header and fill bits, in whole septets
        bool escaped = false;
        for (int i = skip; i < udl; ++i) {
            const int septet = septetAt(data, i);
            if (escaped) {
                out.text += QChar(extension(septet));
                escaped = false;
            } else if (septet == 0x1B) {
                escaped = true;
            } else {
                out.text += QChar(kBasic[septet]);
            }
        }
    } else if (alphabet == Ucs2) {
        if ((data.size() - headerOctets) % 2 != 0)
            return bad("UCS-2 text of an odd number of octets");
        for (int at = headerOctets; at + 1 < data.size(); at += 2)
            out.text += QChar(char16_t(quint8(data.at(at)) << 8 | quint8(data.at(at + 1))));
    } else {
        out.text = QString::fromLatin1(data.mid(headerOctets));
    }
    return out;
}
