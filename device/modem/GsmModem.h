#pragma once

#include "AtReply.h"
#include "PduCodec.h"
#include "StatusReports.h"
#include "device/serial/SMSSerialPort.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

// How long a modem may take. Process-wide so tests can shorten it.
struct ModemTiming
{
    int commandTimeoutMs = 5000; // each wait for characters of an ordinary command
    int sendTimeoutMs = 60000;   // the network's answer to one part
    int retryBackoffMs = 2000;   // before the first retry of a transient failure, doubled for the second

    static ModemTiming current();
    static void setCurrent(const ModemTiming& timing);
};

// A failure that ends the modem's run, with the text the user is shown.
class ModemError : public std::exception
{
public:
    enum class Kind
    {
        PortFailed,
        NotAnswering,
        SimLocked,
        NoPduMode,
        Refused,
        Unencodable,
        Cancelled,
    };

    ModemError(Kind kind, const QString& text, bool handedOver = false)
        : m_kind(kind), m_text(text), m_what(text.toUtf8()), m_handedOver(handedOver)
    {
    }
    Kind kind() const { return m_kind; }
    // The failing part was written to the modem and no answer came: it may have gone out.
    bool handedOver() const { return m_handedOver; }
    QString text() const { return m_text; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_text;
    QByteArray m_what;
    bool m_handedOver = false;
};

// The final line of a failed command with the meaning of its code, for example
// "+CMS ERROR: 42 (congestion)".
QString describeFailure(const AtReply& reply);
// A failure the network may not repeat when the part is sent again shortly.
bool isTransientFailure(const AtReply& reply);

// A GSM modem or phone on a serial port, sending SMS with the AT commands of
// 3GPP TS 27.005 in PDU mode. Used from one thread; cancel() may come from any.
class GsmModem
{
public:
    static constexpr int MaxAttempts = 3;

    explicit GsmModem(int portNumber, const ModemTiming& timing = ModemTiming::current());
    ~GsmModem();
    GsmModem(const GsmModem&) = delete;
    GsmModem& operator=(const GsmModem&) = delete;

    int portNumber() const { return m_number; }
    // "The GSM modem on COM7"
    QString name() const;

    // Opens the port and readies the modem: it must answer, its SIM must not
    // wait for a PIN, and it must take PDU mode. Throws ModemError.
    void open();
    void close();

    struct Sent
    {
        int parts = 0; // sent by this call
        int total = 0;
        int reference = 0;
        int retries = 0;
        QList<int> references; // +CMGS: <mr> of each part
    };
    // Told of each part (1-based) the modem accepted, as it goes.
    using PartAccepted = std::function<void(int part, int total, int reference)>;
    // Every part of one message from `firstPart` (0-based) on, in order, under
    // `reference` (0-255) or a new one (-1). The parts come out the same for the
    // same text and reference, so a message cut short is finished by sending
    // the rest under its first reference. A transient failure of a part is
    // tried again at most twice; any other failure throws ModemError.
    Sent sendMessage(const QString& number, const QString& text, int firstPart = 0, int reference = -1,
                     const PartAccepted& accepted = {});

    // Ends a wait in progress and makes every later call throw (Cancelled).
    void cancel();

    // --- Status reports -------------------------------------------------------
    enum class ReportRoute
    {
        None,   // not asked for, or the modem routes none to us
        Direct, // each report comes as +CDS (AT+CNMI ds=1)
        Stored  // the modem keeps it and says +CDSI; we read and delete it
    };
    // Asked for before open(): every part then carries TP-SRR, and open() has
    // the modem route the reports to us, directly when it can, else through its storage.
    void requestStatusReports(bool on) { m_reportsWanted = on; }
    ReportRoute reportRoute() const { return m_route; }
    using ReportSink = std::function<void(const Pdu::StatusReport&)>;
    void setReportSink(ReportSink sink) { m_reportSink = std::move(sink); }
    // Told of the message reference (+CMGS: <mr>) of each part as it is accepted.
    using PartSubmitted = std::function<void(const QString& number, int part, int total, int messageReference)>;
    void setPartSubmitted(PartSubmitted hook) { m_partSubmitted = std::move(hook); }
    // Waits up to waitMs for what the modem sends unasked and hands each
    // report to the sink. Throws ModemError when the modem is gone or on cancel().
    void pollReports(int waitMs);

    // For the connection wizard: the modem answers AT+CMGF=0 with OK. Never throws.
    static bool acceptsPduMode(int portNumber, int timeoutMs);

private:
    AtReply exchange(const QByteArray& bytes, int timeoutMs, bool promptExpected = false);
    AtReply command(const QByteArray& line) { return exchange(line + '\r', m_timing.commandTimeoutMs); }
    AtReply sendPart(const QByteArray& tpdu, bool* pduWritten);
    void backOff(int ms);
    QString simPinText() const;
    [[noreturn]] void fail(ModemError::Kind kind, const QString& text) const;
    void routeReports();
    // Hands on the reports read so far; a stored one is read and deleted first.
    void handleReports();
    // The same between two messages: a fault shows in the next command instead.
    void handleReportsQuietly();
    void throwIfCancelled() const;

    const int m_number;
    const ModemTiming m_timing;
    CSMSSerialPort m_port;
    quint8 m_nextReference;
    bool m_reportsWanted = false;
    ReportRoute m_route = ReportRoute::None;
    bool m_acknowledgeReports = false; // +CSMS service 1 wants each +CDS acknowledged
    UrcScanner m_unsolicited;
    QByteArray m_reportMemory;
    ReportSink m_reportSink;
    PartSubmitted m_partSubmitted;
    std::atomic<bool> m_cancelled{false};
    std::mutex m_sleepMutex;
    std::condition_variable m_wake;
};
