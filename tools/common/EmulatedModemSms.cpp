// The short-message commands of the emulated modem (3GPP TS 27.005, PDU mode).
#include "EmulatedModem.h"
#include "SmsSubmitDecoder.h"

#include <QMutexLocker>

namespace {

// The largest SMS-SUBMIT TPDU: 24 octets of header fields and 140 of user data.
constexpr int MaxTpduOctets = 164;

QByteArray line(const QByteArray& text)
{
    return "\r\n" + text + "\r\n";
}

QByteArray okAfter(const QByteArray& information)
{
    return (information.isEmpty() ? QByteArray() : line(information)) + line("OK");
}

QByteArray cmsError(int code)
{
    return line("+CMS ERROR: " + QByteArray::number(code));
}

} // namespace

void EmulatedModem::setSmsSink(SmsSink sink)
{
    QMutexLocker lock(&m_mutex);
    m_smsSink = std::move(sink);
}

QList<EmulatedModem::SentSms> EmulatedModem::outbox() const
{
    QMutexLocker lock(&m_mutex);
    return m_outbox;
}

void EmulatedModem::failNextSends(int cmsError, int times)
{
    QMutexLocker lock(&m_mutex);
    m_failCode = cmsError;
    m_failTimes = qMax(0, times);
}

void EmulatedModem::silenceAfterNextPdu()
{
    QMutexLocker lock(&m_mutex);
    m_silenceAfterPdu = true;
}

void EmulatedModem::setSimPinRequired(bool required)
{
    QMutexLocker lock(&m_mutex);
    m_simPinRequired = required;
}

int EmulatedModem::sendAttempts() const
{
    QMutexLocker lock(&m_mutex);
    return m_sendAttempts;
}

std::optional<QByteArray> EmulatedModem::smsReply(const QByteArray& command)
{
    bool simPin = false;
    {
        QMutexLocker lock(&m_mutex);
        simPin = m_simPinRequired;
    }
    if (command == "AT+CMGF=0" || command == "AT+CMGF=1") {
        m_pduMode = command.endsWith('0');
        return okAfter({});
    }
    if (command == "AT+CMGF?")
        return okAfter(m_pduMode ? "+CMGF: 0" : "+CMGF: 1");
    if (command == "AT+CMGF=?")
        return okAfter("+CMGF: (0,1)");
    if (command == "AT+CSCS?")
        return okAfter("+CSCS: \"" + m_characterSet + '"');
    if (command == "AT+CSCS=?")
        return okAfter("+CSCS: (\"GSM\",\"IRA\",\"UCS2\",\"8859-1\")");
    if (command.startsWith("AT+CSCS=")) {
        const QByteArray set = command.mid(8).replace('"', QByteArray());
        if (set != "GSM" && set != "IRA" && set != "UCS2" && set != "8859-1")
            return line("ERROR");
        m_characterSet = set;
        return okAfter({});
    }
    if (command == "AT+CPIN?")
        return okAfter(simPin ? "+CPIN: SIM PIN" : "+CPIN: READY");
    if (command.startsWith("AT+CMGS=")) {
        if (simPin)
            return cmsError(311);
        if (!m_pduMode)
            return cmsError(303); // text-mode sending is not emulated
        bool ok = false;
        const int length = command.mid(8).toInt(&ok);
        if (!ok || length < 7 || length > MaxTpduOctets)
            return cmsError(304);
        m_pduLength = length;
        return QByteArray("\r\n> ");
    }
    return std::nullopt;
}

QByteArray EmulatedModem::acceptPdu(const QByteArray& hex)
{
    const int length = std::exchange(m_pduLength, -1);
    const Config config = this->config();
    if (config.mode == Config::Mode::Silent)
        return {};
    const QByteArray echo = config.echo ? hex : QByteArray();

    QString error;
    const std::optional<DecodedSubmit> sms = decodeSubmit(hex, &error);
    SmsSink sink;
    SentSms sent;
    {
        QMutexLocker lock(&m_mutex);
        ++m_sendAttempts;
        if (!sms || sms->tpduLength != length)
            return echo + cmsError(304);
        if (m_failTimes > 0) {
            --m_failTimes;
            return echo + cmsError(m_failCode);
        }
        sent = {sms->number, sms->text, sms->part, sms->parts, sms->reference};
        m_outbox.append(sent);
        sink = m_smsSink;
        if (std::exchange(m_silenceAfterPdu, false))
            m_config.mode = Config::Mode::Silent;
    }
    if (sink)
        sink(sent);
    if (this->config().mode == Config::Mode::Silent)
        return {};
    const int reference = m_nextReference;
    m_nextReference = (m_nextReference + 1) % 256;
    return echo + okAfter("+CMGS: " + QByteArray::number(reference));
}
