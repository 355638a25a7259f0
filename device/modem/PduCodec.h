#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// SMS-SUBMIT PDUs for sending through a GSM modem in PDU mode (3GPP TS 23.040
// 9.2.2.2), the text in the GSM 7-bit default alphabet with its extension
// table or, when any character is outside both, the whole text in UCS-2
// (TS 23.038). Long texts become concatenated parts with an 8-bit reference.
namespace Pdu {

enum class Coding
{
    Gsm7,
    Ucs2
};

enum class Error
{
    None,
    NoMessage,
    NumberInvalid,
    NumberTooLong,
    TooManyParts,
};

inline constexpr int kGsm7Single = 160;
inline constexpr int kGsm7Part = 153;
inline constexpr int kUcs2Single = 70;
inline constexpr int kUcs2Part = 67;
inline constexpr int kMaxParts = 255;
inline constexpr int kMaxNumberDigits = 20;
inline constexpr char kEscape = 0x1B;

// The septets of the text, a character of the extension table as the escape
// and its code; nothing when a character is in neither table.
std::optional<QByteArray> toGsm7(const QString& text);

// Septets packed low bit first behind fillBits zero bits.
QByteArray packSeptets(const QByteArray& septets, int fillBits = 0);

// TP-DA: digit count, type of address and swapped semi-octets. A leading '+'
// or "00" makes the number international (0x91), anything else is national
// (0x81). Blanks and '-' are dropped.
std::optional<QByteArray> encodeAddress(const QString& number, Error* error = nullptr);

// The text cut into parts: septets for Gsm7, UTF-16 code units (big-endian
// octets) for Ucs2. An escape pair or a surrogate pair is never cut.
struct Segments
{
    Coding coding = Coding::Gsm7;
    QList<QByteArray> parts;
    int units = 0; // septets or code units of the whole text
};
Segments split(const QString& text);

struct SubmitOptions
{
    quint8 messageReference = 0;    // 0 lets the modem choose
    std::optional<quint8> validity; // TP-VP, relative format; none leaves it to the network
    quint8 concatReference = 0;     // shared by the parts of one message
    bool statusReport = false;      // TP-SRR: ask the network for a status report on each part
};

struct Encoded
{
    Error error = Error::None;
    Coding coding = Coding::Gsm7;
    QList<QByteArray> tpdus; // one per part, without the service centre address
};
Encoded encodeSubmit(const QString& number, const QString& text, const SubmitOptions& options = {});

// The line sent after the prompt: "00" (the modem's own service centre) and
// the TPDU in upper-case hexadecimal. AT+CMGS takes the TPDU's octet count.
QByteArray commandHex(const QByteArray& tpdu);

// An SMS-STATUS-REPORT (TS 23.040 9.2.2.3) as +CDS or +CMGR gives it: the
// service centre address first, then the TPDU.
struct StatusReport
{
    int reference = 0; // TP-MR of the SMS-SUBMIT, as +CMGS gave it
    QString recipient; // with '+' when international
    QDateTime serviceCentreTime;
    QDateTime dischargeTime;
    int status = 0; // TP-ST
};
// Nothing when the hexadecimal text is not a well-formed status report.
std::optional<StatusReport> decodeStatusReport(const QByteArray& hex);

// How the text goes out through a modem, for the composer counter's tooltip:
// "GSM 7-bit, 2 SMS (306 characters left before a third)", "Unicode (UCS-2), 3 SMS".
QString counterTip(const QString& text);

} // namespace Pdu
