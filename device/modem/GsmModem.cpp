#include "GsmModem.h"

#include "PduCodec.h"
#include "device/serial/SMSStrings.h"

#include <QMutex>
#include <QRandomGenerator>

namespace {

QMutex timingMutex;
ModemTiming timingNow;

// Result codes of 3GPP TS 27.005 3.2.5 (+CMS) and TS 27.007 9.2 (+CME), and the
// RP causes of TS 24.011 Table 8.4 that +CMS codes below 128 carry.
QString meaning(AtReply::Status status, int code)
{
    struct Known
    {
        int code;
        const char* text;
    };
    static const Known cms[] = {
        {1, "unassigned number"},
        {8, "operator determined barring"},
        {10, "call barred"},
        {21, "short message transfer rejected"},
        {27, "destination out of service"},
        {28, "unidentified subscriber"},
        {29, "facility rejected"},
        {30, "unknown subscriber"},
        {38, "network out of order"},
        {41, "temporary failure"},
        {42, "congestion"},
        {47, "resources unavailable"},
        {50, "requested facility not subscribed"},
        {69, "requested facility not implemented"},
        {96, "invalid mandatory information"},
        {111, "protocol error"},
        {300, "ME failure"},
        {302, "operation not allowed"},
        {303, "operation not supported"},
        {304, "invalid PDU mode parameter"},
        {310, "SIM not inserted"},
        {311, "SIM PIN required"},
        {313, "SIM failure"},
        {314, "SIM busy"},
        {316, "SIM PUK required"},
        {322, "memory full"},
        {330, "SMSC address unknown"},
        {331, "no network service"},
        {332, "network timeout"},
        {500, "unknown error"},
    };
    static const Known cme[] = {
        {3, "operation not allowed"},
        {4, "operation not supported"},
        {10, "SIM not inserted"},
        {11, "SIM PIN required"},
        {12, "SIM PUK required"},
        {13, "SIM failure"},
        {14, "SIM busy"},
        {30, "no network service"},
        {31, "network timeout"},
    };
    const auto find = [code](const auto& table) -> QString {
        for (const Known& k : table) {
            if (k.code == code)
                return QLatin1String(k.text);
        }
        return {};
    };
    if (status == AtReply::Status::CmsError)
        return find(cms);
    if (status == AtReply::Status::CmeError)
        return find(cme);
    return {};
}

bool asksForSimPin(const AtReply& reply)
{
    return (reply.status == AtReply::Status::CmsError && reply.code == 311) ||
           (reply.status == AtReply::Status::CmeError && reply.code == 11);
}

QString resource(quint32 id)
{
    return SMSStrings::load(id);
}

} // namespace

ModemTiming ModemTiming::current()
{
    QMutexLocker lock(&timingMutex);
    return timingNow;
}

void ModemTiming::setCurrent(const ModemTiming& timing)
{
    QMutexLocker lock(&timingMutex);
    timingNow = timing;
}

QString describeFailure(const AtReply& reply)
{
    if (!reply.isFinal())
        return QStringLiteral("no answer");
    const QString text = QString::fromLatin1(reply.resultLine);
    const QString known = meaning(reply.status, reply.code);
    return known.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, known);
}

bool isTransientFailure(const AtReply& reply)
{
    static const int cms[] = {38, 41, 42, 47, 314, 331, 332};
    static const int cme[] = {14, 30, 31};
    if (reply.status == AtReply::Status::CmsError)
        return std::find(std::begin(cms), std::end(cms), reply.code) != std::end(cms);
    if (reply.status == AtReply::Status::CmeError)
        return std::find(std::begin(cme), std::end(cme), reply.code) != std::end(cme);
    return false;
}

GsmModem::GsmModem(int portNumber, const ModemTiming& timing)
    : m_number(portNumber), m_timing(timing), m_nextReference(quint8(QRandomGenerator::global()->bounded(256)))
{
}

GsmModem::~GsmModem()
{
    close();
}

QString GsmModem::name() const
{
    return QStringLiteral("The GSM modem on COM%1").arg(m_number);
}

QString GsmModem::simPinText() const
{
    return name() + QStringLiteral(" asks for the PIN of its SIM card. Unlock the SIM card first, for example in a "
                                   "phone: this program never enters a PIN.");
}

void GsmModem::fail(ModemError::Kind kind, const QString& text) const
{
    throw ModemError(kind, text);
}

void GsmModem::throwIfCancelled() const
{
    if (m_cancelled)
        fail(ModemError::Kind::Cancelled, name() + QStringLiteral(" was let go."));
}

void GsmModem::cancel()
{
    {
        std::lock_guard lock(m_sleepMutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
    m_port.cancelWait();
}

void GsmModem::close()
{
    m_port.Close();
}

AtReply GsmModem::exchange(const QByteArray& bytes, int timeoutMs, bool promptExpected)
{
    throwIfCancelled();
    try {
        // Whatever came unasked (a late echo, an unsolicited code) is not this
        // command's answer; status reports among it are kept.
        QByteArray chunk;
        while (m_port.Read(chunk) > 0)
            m_unsolicited.feed(chunk);
        m_port.setResponseTimeout(timeoutMs);
        m_port.Write(bytes);
        m_port.WaitUntil([promptExpected](const QByteArray& collected) {
            return parseAtReply(collected, promptExpected).status != AtReply::Status::Incomplete;
        });
    } catch (const CSMSException& e) {
        throwIfCancelled();
        fail(ModemError::Kind::NotAnswering,
             name() + QStringLiteral(" stopped answering.\n\n") +
                 (e.errorMessage().isEmpty() ? resource(SMSStrings::NoResponse) : e.errorMessage()));
    }
    throwIfCancelled();
    // A report may arrive in the middle of an answer, or right behind it in the same read.
    m_unsolicited.feed(m_port.responseBytes());
    return parseAtReply(m_port.responseBytes(), promptExpected);
}

void GsmModem::routeReports()
{
    m_route = ReportRoute::None;
    const AtReply service = command("AT+CSMS?");
    m_acknowledgeReports =
        service.status == AtReply::Status::Ok && service.value("+CSMS:").split(',').value(0).trimmed() == "1";
    if (command("AT+CNMI=2,1,0,1,0").status == AtReply::Status::Ok)
        m_route = ReportRoute::Direct;
    else if (command("AT+CNMI=2,1,0,2,0").status == AtReply::Status::Ok)
        m_route = ReportRoute::Stored;
}

void GsmModem::handleReports()
{
    for (QList<UrcScanner::Code> codes = m_unsolicited.take(); !codes.isEmpty(); codes = m_unsolicited.take()) {
        for (const UrcScanner::Code& code : codes) {
            QByteArray pdu = code.pdu;
            if (code.kind == UrcScanner::Code::Kind::Report) {
                if (m_acknowledgeReports)
                    command("AT+CNMA");
            } else {
                if (!code.memory.isEmpty() && code.memory != m_reportMemory &&
                    command("AT+CPMS=\"" + code.memory + '"').status == AtReply::Status::Ok)
                    m_reportMemory = code.memory;
                const QByteArray index = QByteArray::number(code.index);
                const AtReply read = command("AT+CMGR=" + index);
                pdu.clear();
                for (qsizetype i = 0; i + 1 < read.lines.size(); ++i) {
                    if (read.lines.at(i).trimmed().startsWith("+CMGR:"))
                        pdu = read.lines.at(i + 1).trimmed();
                }
                command("AT+CMGD=" + index);
            }
            if (const std::optional<Pdu::StatusReport> report = Pdu::decodeStatusReport(pdu); report && m_reportSink)
                m_reportSink(*report);
        }
    }
}

void GsmModem::handleReportsQuietly()
{
    try {
        handleReports();
    } catch (const ModemError& e) {
        if (e.kind() == ModemError::Kind::Cancelled)
            throw;
    }
}

void GsmModem::pollReports(int waitMs)
{
    throwIfCancelled();
    try {
        m_port.setResponseTimeout(waitMs);
        m_port.WaitUntil([](const QByteArray& collected) { return !UrcScanner::endsInsideReport(collected); });
    } catch (const CSMSException& e) {
        throwIfCancelled();
        fail(ModemError::Kind::NotAnswering, name() + QStringLiteral(" stopped answering.\n\n") + e.errorMessage());
    }
    throwIfCancelled();
    m_unsolicited.feed(m_port.responseBytes());
    handleReports();
}

void GsmModem::open()
{
    throwIfCancelled();
    try {
        m_port.Open(m_number, m_timing.commandTimeoutMs);
    } catch (const CSMSException& e) {
        fail(ModemError::Kind::PortFailed, name() + QStringLiteral(" cannot be opened.\n\n") + e.errorMessage());
    }
    const QString noAnswer = name() + QStringLiteral(" does not answer.\n\n") + resource(SMSStrings::NoResponse);
    if (command("AT").status != AtReply::Status::Ok)
        fail(ModemError::Kind::NotAnswering, noAnswer);
    command("ATE0"); // without echo the answers are shorter; a modem that keeps echoing is read all the same

    const AtReply pin = command("AT+CPIN?");
    const QByteArray state = pin.value("+CPIN:");
    if (pin.status == AtReply::Status::Ok && state == "SIM PIN")
        fail(ModemError::Kind::SimLocked, simPinText());
    if (pin.status == AtReply::Status::Ok && !state.isEmpty() && state != "READY")
        fail(ModemError::Kind::SimLocked,
             name() + QStringLiteral(" is not ready to send: +CPIN: %1.").arg(QString::fromLatin1(state)));
    if (pin.status == AtReply::Status::CmeError && pin.code >= 10 && pin.code <= 16)
        fail(ModemError::Kind::SimLocked,
             name() + QStringLiteral(" is not ready to send: ") + describeFailure(pin) + QLatin1Char('.'));

    const AtReply mode = command("AT+CMGF=0");
    if (mode.status != AtReply::Status::Ok)
        fail(ModemError::Kind::NoPduMode, resource(SMSStrings::PduModeFailed) +
                                              QStringLiteral("\n\n%1 answered: %2").arg(name(), describeFailure(mode)));
    if (m_reportsWanted)
        routeReports();
}

AtReply GsmModem::sendPart(const QByteArray& tpdu, bool* pduWritten)
{
    *pduWritten = false;
    const AtReply prompt =
        exchange("AT+CMGS=" + QByteArray::number(tpdu.size()) + '\r', m_timing.commandTimeoutMs, true);
    if (prompt.status != AtReply::Status::Prompt) {
        if (!prompt.isFinal()) {
            try {
                m_port.Write("\x1B", 1); // in case the prompt was only late: leave nothing half-typed
            } catch (const CSMSException&) {
            }
        }
        return prompt;
    }
    // From here on the modem may send the part whatever becomes of its answer.
    *pduWritten = true;
    return exchange(Pdu::commandHex(tpdu) + '\x1A', m_timing.sendTimeoutMs);
}

void GsmModem::backOff(int ms)
{
    std::unique_lock lock(m_sleepMutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_cancelled.load(); });
}

GsmModem::Sent GsmModem::sendMessage(const QString& number, const QString& text, int firstPart, int reference,
                                     const PartAccepted& accepted)
{
    handleReportsQuietly();
    Pdu::SubmitOptions options;
    options.concatReference = reference >= 0 && reference <= 255 ? quint8(reference) : m_nextReference++;
    options.statusReport = m_route != ReportRoute::None;
    const Pdu::Encoded encoded = Pdu::encodeSubmit(number, text, options);
    switch (encoded.error) {
    case Pdu::Error::None:
        break;
    case Pdu::Error::NoMessage:
        fail(ModemError::Kind::Unencodable, resource(SMSStrings::NoMessage));
    case Pdu::Error::NumberTooLong:
        fail(ModemError::Kind::Unencodable, resource(SMSStrings::PhoneNumberTooLarge) + QStringLiteral(": ") + number);
    case Pdu::Error::NumberInvalid:
        fail(ModemError::Kind::Unencodable,
             resource(SMSStrings::EncodeFailed) + QStringLiteral(": \"%1\" is not a phone number.").arg(number));
    case Pdu::Error::TooManyParts:
        fail(ModemError::Kind::Unencodable,
             resource(SMSStrings::MessageTooLarge) + QStringLiteral(" (more than %1 SMS).").arg(Pdu::kMaxParts));
    }

    Sent sent;
    const int count = int(encoded.tpdus.size());
    sent.total = count;
    sent.reference = options.concatReference;
    for (int k = std::max(0, firstPart); k < count; ++k) {
        for (int attempt = 1;; ++attempt) {
            bool written = false;
            AtReply reply;
            try {
                reply = sendPart(encoded.tpdus.at(k), &written);
            } catch (const ModemError& e) {
                throw ModemError(e.kind(), e.text(), written);
            }
            if (reply.status == AtReply::Status::Ok) {
                sent.references.append(reply.value("+CMGS:").toInt());
                if (m_partSubmitted)
                    m_partSubmitted(number, k + 1, count, sent.references.last());
                ++sent.parts;
                if (accepted)
                    accepted(k + 1, count, sent.reference);
                break;
            }
            const QString which = count > 1 ? QStringLiteral(" (part %1 of %2)").arg(k + 1).arg(count) : QString();
            if (!reply.isFinal())
                throw ModemError(ModemError::Kind::NotAnswering,
                                 QStringLiteral("%1 stopped answering while sending to %2%3.\n\n%4")
                                     .arg(name(), number, which, resource(SMSStrings::NoResponse)),
                                 written);
            if (asksForSimPin(reply))
                fail(ModemError::Kind::SimLocked, simPinText());
            if (isTransientFailure(reply) && attempt < MaxAttempts) {
                ++sent.retries;
                backOff(m_timing.retryBackoffMs << (attempt - 1));
                throwIfCancelled();
                continue;
            }
            fail(ModemError::Kind::Refused,
                 resource(SMSStrings::SendFailed) + QStringLiteral("\n\n%1 refused the message to %2%3: %4.")
                                                        .arg(name(), number, which, describeFailure(reply)));
        }
    }
    return sent;
}

bool GsmModem::acceptsPduMode(int portNumber, int timeoutMs)
{
    CSMSSerialPort port;
    try {
        port.Open(portNumber, timeoutMs);
        port.DiscardInput();
        port.Write("AT+CMGF=0\r", 10);
        port.WaitUntil([](const QByteArray& collected) { return parseAtReply(collected).isFinal(); });
        return parseAtReply(port.responseBytes()).status == AtReply::Status::Ok;
    } catch (const CSMSException&) {
        return false;
    }
}
