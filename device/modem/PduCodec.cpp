#include "PduCodec.h"

#include <QHash>

namespace Pdu {

namespace {

// The default alphabet in code order; position 0x1B is the escape and maps from nothing.
constexpr char16_t kDefaultAlphabet[] = u"@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1B"
                                        u"ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                                        u"¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§"
                                        u"¿abcdefghijklmnopqrstuvwxyzäöñüà";
static_assert(sizeof(kDefaultAlphabet) / sizeof(char16_t) == 129);

struct Extension
{
    char16_t character;
    char code;
};
constexpr Extension kExtensionTable[] = {{u'\f', 0x0A}, {u'^', 0x14}, {u'{', 0x28}, {u'}', 0x29}, {u'\\', 0x2F},
                                         {u'[', 0x3C},  {u'~', 0x3D}, {u']', 0x3E}, {u'|', 0x40}, {u'€', 0x65}};

// Character to septet; an extension character carries 0x80 over its code.
const QHash<char16_t, quint8>& septetTable()
{
    static const QHash<char16_t, quint8> table = [] {
        QHash<char16_t, quint8> t;
        for (quint8 code = 0; code < 128; ++code) {
            if (code != kEscape)
                t.insert(kDefaultAlphabet[code], code);
        }
        for (const Extension& e : kExtensionTable)
            t.insert(e.character, quint8(0x80 | e.code));
        return t;
    }();
    return table;
}

constexpr quint8 kSubmit = 0x01;
constexpr quint8 kValidityRelative = 0x10;
constexpr quint8 kHeaderIndicator = 0x40;
constexpr quint8 kStatusReportRequest = 0x20;
constexpr quint8 kStatusReportType = 0x02;
constexpr quint8 kTypeInternational = 0x91;
constexpr quint8 kTypeNational = 0x81;
constexpr quint8 kDcsGsm7 = 0x00;
constexpr quint8 kDcsUcs2 = 0x08;
// Concatenation with an 8-bit reference: UDHL, IEI 0, IEDL 3, reference, count, sequence.
constexpr int kConcatHeaderOctets = 6;

QByteArray concatHeader(quint8 reference, int count, int sequence)
{
    const char header[] = {char(kConcatHeaderOctets - 1), 0x00, 0x03, char(reference), char(count), char(sequence)};
    return QByteArray(header, kConcatHeaderOctets);
}

QList<QByteArray> cutGsm7(const QByteArray& septets)
{
    if (septets.size() <= kGsm7Single)
        return {septets};
    QList<QByteArray> parts;
    for (qsizetype at = 0; at < septets.size();) {
        qsizetype take = qMin<qsizetype>(kGsm7Part, septets.size() - at);
        // An escape always starts a pair: it goes to the next part with its code.
        if (at + take < septets.size() && septets.at(at + take - 1) == kEscape)
            --take;
        parts.append(septets.mid(at, take));
        at += take;
    }
    return parts;
}

QList<QByteArray> cutUcs2(const QString& text)
{
    auto octets = [&text](qsizetype from, qsizetype count) {
        QByteArray out;
        out.reserve(count * 2);
        for (qsizetype i = from; i < from + count; ++i) {
            const char16_t unit = text.at(i).unicode();
            out.append(char(unit >> 8)).append(char(unit & 0xFF));
        }
        return out;
    };
    if (text.size() <= kUcs2Single)
        return {octets(0, text.size())};
    QList<QByteArray> parts;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype take = qMin<qsizetype>(kUcs2Part, text.size() - at);
        if (at + take < text.size() && text.at(at + take - 1).isHighSurrogate())
            --take;
        parts.append(octets(at, take));
        at += take;
    }
    return parts;
}

QString ordinal(int n)
{
    static const char* const words[] = {
        "",           "first",     "second",    "third",       "fourth",     "fifth",      "sixth",
        "seventh",    "eighth",    "ninth",     "tenth",       "eleventh",   "twelfth",    "thirteenth",
        "fourteenth", "fifteenth", "sixteenth", "seventeenth", "eighteenth", "nineteenth", "twentieth"};
    if (n < int(std::size(words)))
        return QLatin1String(n == 8 || n == 11 || n == 18 ? "an " : "a ") + QLatin1String(words[n]);
    const int lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13)
        suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    const QString digits = QString::number(n);
    return QLatin1String(digits.startsWith(QLatin1Char('8')) ? "an " : "a ") + digits + QLatin1String(suffix);
}

} // namespace

std::optional<QByteArray> toGsm7(const QString& text)
{
    const QHash<char16_t, quint8>& table = septetTable();
    QByteArray septets;
    septets.reserve(text.size());
    for (const QChar c : text) {
        const auto found = table.constFind(c.unicode());
        if (found == table.cend())
            return std::nullopt;
        if (*found & 0x80)
            septets.append(kEscape);
        septets.append(char(*found & 0x7F));
    }
    return septets;
}

QByteArray packSeptets(const QByteArray& septets, int fillBits)
{
    QByteArray out;
    out.reserve((fillBits + septets.size() * 7 + 7) / 8);
    quint32 pending = 0;
    int bits = fillBits;
    for (const char septet : septets) {
        pending |= quint32(quint8(septet) & 0x7F) << bits;
        bits += 7;
        while (bits >= 8) {
            out.append(char(pending & 0xFF));
            pending >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        out.append(char(pending & 0xFF));
    return out;
}

std::optional<QByteArray> encodeAddress(const QString& number, Error* error)
{
    auto fail = [error](Error e) -> std::optional<QByteArray> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    QString digits = number;
    digits.remove(QLatin1Char(' ')).remove(QLatin1Char('-'));
    quint8 type = kTypeNational;
    if (digits.startsWith(QLatin1Char('+'))) {
        digits.remove(0, 1);
        type = kTypeInternational;
    } else if (digits.startsWith(QLatin1String("00"))) {
        digits.remove(0, 2);
        type = kTypeInternational;
    }
    if (digits.isEmpty())
        return fail(Error::NumberInvalid);
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return fail(Error::NumberInvalid);
    }
    if (digits.size() > kMaxNumberDigits)
        return fail(Error::NumberTooLong);

    QByteArray out;
    out.append(char(digits.size())).append(char(type));
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int low = digits.at(i).unicode() - '0';
        const int high = i + 1 < digits.size() ? digits.at(i + 1).unicode() - '0' : 0xF;
        out.append(char(high << 4 | low));
    }
    if (error)
        *error = Error::None;
    return out;
}

Segments split(const QString& text)
{
    Segments s;
    if (const auto septets = toGsm7(text)) {
        s.coding = Coding::Gsm7;
        s.units = int(septets->size());
        s.parts = cutGsm7(*septets);
    } else {
        s.coding = Coding::Ucs2;
        s.units = int(text.size());
        s.parts = cutUcs2(text);
    }
    return s;
}

Encoded encodeSubmit(const QString& number, const QString& text, const SubmitOptions& options)
{
    Encoded result;
    if (text.isEmpty()) {
        result.error = Error::NoMessage;
        return result;
    }
    const auto address = encodeAddress(number, &result.error);
    if (!address)
        return result;
    const Segments segments = split(text);
    result.coding = segments.coding;
    const int count = int(segments.parts.size());
    if (count > kMaxParts) {
        result.error = Error::TooManyParts;
        return result;
    }

    const bool concatenated = count > 1;
    quint8 firstOctet = kSubmit;
    if (options.validity)
        firstOctet |= kValidityRelative;
    if (concatenated)
        firstOctet |= kHeaderIndicator;
    if (options.statusReport)
        firstOctet |= kStatusReportRequest;
    QByteArray head;
    head.append(char(firstOctet)).append(char(options.messageReference)).append(*address);
    head.append(char(0x00)); // TP-PID: plain short message
    head.append(char(segments.coding == Coding::Gsm7 ? kDcsGsm7 : kDcsUcs2));
    if (options.validity)
        head.append(char(*options.validity));

    for (int k = 0; k < count; ++k) {
        const QByteArray& part = segments.parts.at(k);
        const QByteArray header = concatenated ? concatHeader(options.concatReference, count, k + 1) : QByteArray();
        QByteArray tpdu = head;
        if (segments.coding == Coding::Gsm7) {
            // The text starts on a septet boundary after the header: fill bits make up the rest.
            const int fill = (7 - header.size() * 8 % 7) % 7;
            const int headerSeptets = (int(header.size()) * 8 + fill) / 7;
            tpdu.append(char(headerSeptets + part.size()));
            tpdu.append(header).append(packSeptets(part, fill));
        } else {
            tpdu.append(char(header.size() + part.size()));
            tpdu.append(header).append(part);
        }
        result.tpdus.append(tpdu);
    }
    return result;
}

namespace {

int semiOctet(quint8 octet, bool high)
{
    return high ? octet >> 4 : octet & 0x0F;
}

// TP-SCTS and TP-DT: swapped BCD year to second and the zone in quarter hours, its sign in bit 3.
std::optional<QDateTime> decodeTimestamp(const QByteArray& octets)
{
    int fields[6];
    for (int i = 0; i < 6; ++i) {
        const quint8 o = quint8(octets.at(i));
        const int low = semiOctet(o, false), high = semiOctet(o, true);
        if (low > 9 || high > 9)
            return std::nullopt;
        fields[i] = low * 10 + high;
    }
    const quint8 zone = quint8(octets.at(6));
    const int quarters = semiOctet(zone & 0xF7, false) * 10 + semiOctet(zone, true);
    const int offset = (zone & 0x08 ? -1 : 1) * quarters * 15 * 60;
    const QDate date(2000 + fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5]);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

} // namespace

std::optional<StatusReport> decodeStatusReport(const QByteArray& hex)
{
    const QByteArray pdu = QByteArray::fromHex(hex.trimmed());
    if (pdu.isEmpty() || pdu.size() * 2 != hex.trimmed().size())
        return std::nullopt;
    qsizetype at = 1 + quint8(pdu.at(0)); // past the service centre address
    auto has = [&](qsizetype n) { return at + n <= pdu.size(); };
    if (!has(3) || (quint8(pdu.at(at)) & 0x03) != kStatusReportType)
        return std::nullopt;
    StatusReport report;
    report.reference = quint8(pdu.at(at + 1));
    const int digits = quint8(pdu.at(at + 2));
    at += 3;
    if (digits > kMaxNumberDigits || !has(1 + (digits + 1) / 2))
        return std::nullopt;
    const quint8 type = quint8(pdu.at(at++));
    if ((type & 0x70) == 0x10)
        report.recipient = QStringLiteral("+");
    for (int i = 0; i < digits; ++i) {
        const int d = semiOctet(quint8(pdu.at(at + i / 2)), i % 2);
        if (d > 9)
            return std::nullopt;
        report.recipient += QChar(u'0' + d);
    }
    at += (digits + 1) / 2;
    if (!has(15))
        return std::nullopt;
    const auto centre = decodeTimestamp(pdu.mid(at, 7));
    const auto discharge = decodeTimestamp(pdu.mid(at + 7, 7));
    if (!centre || !discharge)
        return std::nullopt;
    report.serviceCentreTime = *centre;
    report.dischargeTime = *discharge;
    report.status = quint8(pdu.at(at + 14));
    return report;
}

QByteArray commandHex(const QByteArray& tpdu)
{
    return "00" + tpdu.toHex().toUpper();
}

QString counterTip(const QString& text)
{
    const Segments s = split(text);
    const int count = qMax(1, int(s.parts.size()));
    if (s.coding == Coding::Ucs2)
        return QStringLiteral("Unicode (UCS-2), %1 SMS").arg(count);
    if (count > kMaxParts)
        return QStringLiteral("GSM 7-bit, %1 SMS (too long for a GSM modem)").arg(count);
    const int room = count == 1 ? kGsm7Single : kGsm7Part;
    const int used = s.parts.isEmpty() ? 0 : int(s.parts.last().size());
    return QStringLiteral("GSM 7-bit, %1 SMS (%2 characters left before %3)")
        .arg(count)
        .arg(room - used)
        .arg(ordinal(count + 1));
}

} // namespace Pdu
