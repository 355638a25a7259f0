// The short-message commands of the emulated modem (3GPP TS 27.005, PDU mode).
#include "EmulatedModem.h"
#include "SmsSubmitDecoder.h"

#include "platform/serial/PortLock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>

#include <algorithm>

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
    if (command == "AT+CSMS?") {
        QMutexLocker lock(&m_mutex);
        return okAfter(m_reportsNeedAck ? "+CSMS: 1,1,1,1" : "+CSMS: 0,1,1,1");
    }
    if (command.startsWith("AT+CNMI=")) {
        // <mode>,<mt>,<bm>,<ds>,<bfr>: only the routing of status reports matters here.
        const QList<QByteArray> fields = command.mid(8).split(',');
        bool ok = false;
        const int ds = fields.value(3).toInt(&ok);
        QMutexLocker lock(&m_mutex);
        if (!ok || ds < 0 || ds > 2 || (ds == 1 && m_directReportsRefused))
            return line("ERROR");
        m_reportRoute = ds;
        return okAfter({});
    }
    if (command == "AT+CNMA") {
        QMutexLocker lock(&m_mutex);
        ++m_acknowledgements;
        return okAfter({});
    }
    if (command.startsWith("AT+CPMS="))
        return okAfter("+CPMS: 0,20,0,20,0,20");
    if (command.startsWith("AT+CMGR=") || command.startsWith("AT+CMGD=")) {
        bool ok = false;
        const int index = command.mid(8).toInt(&ok);
        QMutexLocker lock(&m_mutex);
        if (!ok || !m_storedReports.contains(index))
            return cmsError(321); // invalid memory index
        if (command.startsWith("AT+CMGD=")) {
            m_storedReports.remove(index);
            return okAfter({});
        }
        const QByteArray pdu = m_storedReports.value(index);
        return line("+CMGR: 0,," + QByteArray::number(pdu.size() / 2 - 1)) + pdu + "\r\n" + line("OK");
    }
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
    if (sms->statusReportRequested) {
        QMutexLocker lock(&m_mutex);
        const ReportPlan plan = m_reportPlans.value(sms->number, m_reportPlan);
        lock.unlock();
        scheduleReports(reference, sms->number, plan);
    }
    return echo + okAfter("+CMGS: " + QByteArray::number(reference));
}

namespace {

// Swapped BCD, as TP-SCTS and TP-DT carry each field.
char bcd(int value)
{
    return char((value % 10) << 4 | (value / 10 % 10));
}

QByteArray timestamp(const QDateTime& time)
{
    const QDateTime utc = time.toUTC();
    QByteArray out;
    for (int v : {utc.date().year() % 100, utc.date().month(), utc.date().day(), utc.time().hour(), utc.time().minute(),
                  utc.time().second()})
        out.append(bcd(v));
    out.append('\0'); // UTC
    return out;
}

} // namespace

QByteArray EmulatedModem::statusReportPdu(int reference, const QString& recipient, int status, const QDateTime& time)
{
    QByteArray tpdu;
    tpdu.append(char(0x06)); // SMS-STATUS-REPORT, no more messages waiting
    tpdu.append(char(reference & 0xFF));
    const bool international = recipient.startsWith(QLatin1Char('+'));
    const QString digits = international ? recipient.mid(1) : recipient;
    tpdu.append(char(digits.size()));
    tpdu.append(char(international ? 0x91 : 0x81));
    for (int i = 0; i < digits.size(); i += 2) {
        const int low = digits.at(i).digitValue();
        const int high = i + 1 < digits.size() ? digits.at(i + 1).digitValue() : 0x0F;
        tpdu.append(char(high << 4 | low));
    }
    tpdu.append(timestamp(time)).append(timestamp(time)).append(char(status));
    return "00" + tpdu.toHex().toUpper();
}

void EmulatedModem::scheduleReports(int reference, const QString& recipient, const ReportPlan& plan)
{
    const qint64 now = m_clock->elapsed();
    for (const Report& r : plan) {
        const DueReport due{now + std::max(0, r.delayMs),
                            statusReportPdu(reference, recipient, r.status, QDateTime::currentDateTimeUtc())};
        const auto at = std::upper_bound(m_dueReports.begin(), m_dueReports.end(), due.dueMs,
                                         [](qint64 ms, const DueReport& d) { return ms < d.dueMs; });
        m_dueReports.insert(at, due);
    }
}

void EmulatedModem::sendDueReports(qint64 nowMs)
{
    // Nothing is told while a PDU is being typed after the prompt.
    while (!m_dueReports.isEmpty() && m_dueReports.first().dueMs <= nowMs && m_pduLength < 0) {
        const QByteArray pdu = m_dueReports.takeFirst().pdu;
        QByteArray code;
        {
            QMutexLocker lock(&m_mutex);
            if (m_reportRoute == 0 || m_config.mode != Config::Mode::Normal)
                continue;
            ++m_reportsSent;
            if (m_reportRoute == 1) {
                code = line("+CDS: " + QByteArray::number(pdu.size() / 2 - 1)) + pdu + "\r\n";
            } else {
                const int index = m_nextStoreIndex++;
                m_storedReports.insert(index, pdu);
                code = line("+CDSI: \"SR\"," + QByteArray::number(index));
            }
        }
        queueReply(code, config());
    }
}

void EmulatedModem::setReportPlan(const ReportPlan& plan)
{
    QMutexLocker lock(&m_mutex);
    m_reportPlan = plan;
}

void EmulatedModem::setReportPlanFor(const QString& number, const ReportPlan& plan)
{
    QMutexLocker lock(&m_mutex);
    m_reportPlans.insert(number, plan);
}

void EmulatedModem::setDirectReportsRefused(bool refused)
{
    QMutexLocker lock(&m_mutex);
    m_directReportsRefused = refused;
}

void EmulatedModem::setReportsNeedAcknowledgement(bool needed)
{
    QMutexLocker lock(&m_mutex);
    m_reportsNeedAck = needed;
}

int EmulatedModem::acknowledgements() const
{
    QMutexLocker lock(&m_mutex);
    return m_acknowledgements;
}

int EmulatedModem::storedReports() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_storedReports.size());
}

int EmulatedModem::reportsSent() const
{
    QMutexLocker lock(&m_mutex);
    return m_reportsSent;
}

bool EmulatedModem::setLockHeld(bool held, QString* error)
{
    if (!held) {
        if (!m_lockFile.isEmpty())
            QFile::remove(m_lockFile);
        m_lockFile.clear();
        return true;
    }
    const QString file = PortLock::lockFileFor(m_devicePath);
    QFile lock(file);
    if (file.isEmpty() || !lock.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.isEmpty() ? QStringLiteral("no lock folder") : lock.errorString();
        return false;
    }
    lock.write(QByteArray::number(QCoreApplication::applicationPid()).rightJustified(10, ' ') + '\n');
    m_lockFile = file;
    return true;
}
