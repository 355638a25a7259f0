#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

// The modem of an emulated handset: a pseudo-terminal whose far end answers
// AT commands the way a phone does.
//
// Usage (one per emulated handset, in any program with or without an event loop):
//
//     EmulatedModem modem;                       // or EmulatedModem modem(config);
//     QString error;
//     if (!modem.start(&error))
//         qWarning() << error;
//     PortMap::publish({5, modem.devicePath(), QString()});
//     ...
//     PortMap::withdraw(5);
//     modem.stop();                              // the destructor stops it too
//
// Answers, with CR LF line ends and, when echo is on, the command line first:
//   AT                   OK
//   AT+GMI               gmiAnswer when set, else manufacturer, OK
//   AT+CGMI              manufacturer, OK
//   AT+GMM               gmmAnswer when set, else model, OK
//   AT+CGMM              model, OK
//   ATE0 / ATE1          echo off / on, OK
//   AT+CMGF, AT+CSCS, AT+CPIN?, AT+CMGS   short messages in PDU mode (below)
//   anything else, and the commands listed in errorCommands: ERROR
//
// The modem runs on a thread of its own and keeps the terminal's far side open
// itself, so clients may close and reopen the port as often as they like.
class EmulatedModem
{
public:
    struct Config
    {
        enum class Mode
        {
            Normal,
            EchoOnly, // echoes the command text without its line end and never answers
            Silent,   // never sends anything
            Flood,    // after any command, sends digits without end until the next command
        };

        QByteArray manufacturer = "Research In Motion";
        QByteArray model = "+CGMM: \"MODEL=9700\"";
        Mode mode = Mode::Normal;
        bool echo = true;
        QByteArray gmiAnswer;            // when set, the answer to AT+GMI (for example "Undefined")
        QByteArray gmmAnswer;            // when set, the answer to AT+GMM (for example "Undefined")
        QList<QByteArray> errorCommands; // commands answered with ERROR, for example "AT+GMM"
        int chunkDelayMs = 0;            // when above 0, replies go out in pieces this far apart
        int chunkSize = 2;               // bytes per piece
    };

    EmulatedModem();
    explicit EmulatedModem(const Config& config);
    ~EmulatedModem();
    EmulatedModem(const EmulatedModem&) = delete;
    EmulatedModem& operator=(const EmulatedModem&) = delete;

    bool start(QString* error = nullptr);
    // Closes the terminal: a client that has the port open sees a hang-up.
    void stop();
    bool isRunning() const { return m_masterFd >= 0; }
    QString devicePath() const { return m_devicePath; }

    // Takes effect from the next command on.
    void setConfig(const Config& config);
    Config config() const;

    int commandCount() const { return m_commandCount.load(); }
    // The most recent command lines (at most 256), without their line ends.
    QList<QByteArray> receivedCommands() const;

    // --- Short messages ------------------------------------------------------
    // In PDU mode (AT+CMGF=0), AT+CMGS=<length> answers the "> " prompt and
    // takes a PDU in hexadecimal up to Ctrl-Z (Escape drops it). The PDU is read
    // by the modem's own decoder (SmsSubmitDecoder.h); each part accepted is
    // answered "+CMGS: <mr>" and added to the outbox.
    struct SentSms
    {
        QString number;
        QString text;
        int part = 1;
        int parts = 1;
        int reference = -1;
    };
    using SmsSink = std::function<void(const SentSms&)>;

    // Called on the modem's thread for every part accepted.
    void setSmsSink(SmsSink sink);
    QList<SentSms> outbox() const;
    // The next `times` PDUs are answered "+CMS ERROR: <code>" instead of being sent.
    void failNextSends(int cmsError, int times = 1);
    // The next PDU is taken into the outbox, and then the modem answers nothing
    // more (Silent): a part that went out while its sender never heard so.
    void silenceAfterNextPdu();
    // The SIM waits for its PIN: AT+CPIN? says "SIM PIN" and AT+CMGS fails with 311.
    void setSimPinRequired(bool required);
    // PDUs received, accepted or not.
    int sendAttempts() const;

    // --- Status reports ----------------------------------------------------------
    // A part sent with TP-SRR gets the reports of its plan, each `delayMs` after
    // it was accepted, routed as AT+CNMI asked: ds=1 as "+CDS: <length>" and the
    // PDU, ds=2 kept in storage "SR" and told as "+CDSI: "SR",<index>" (read with
    // AT+CMGR, deleted with AT+CMGD). An empty plan is a network that never reports.
    struct Report
    {
        int status = 0; // TP-ST: 0 delivered, 0x20-0x3F still tried, 0x40 and up failed
        int delayMs = 0;
    };
    using ReportPlan = QList<Report>;
    void setReportPlan(const ReportPlan& plan); // for every number without a plan of its own
    void setReportPlanFor(const QString& number, const ReportPlan& plan);
    // AT+CNMI with ds=1 answers ERROR, as on modems that only store reports.
    void setDirectReportsRefused(bool refused);
    // AT+CSMS? says service 1, under which each +CDS wants AT+CNMA.
    void setReportsNeedAcknowledgement(bool needed);
    int acknowledgements() const;
    int storedReports() const;
    int reportsSent() const;
    // The PDU of a status report as +CDS gives it (service centre "00"), in hexadecimal.
    static QByteArray statusReportPdu(int reference, const QString& recipient, int status, const QDateTime& time);

    // Holds the port's UUCP lock (our own PID), as another program on the machine would.
    bool setLockHeld(bool held, QString* error = nullptr);

private:
    // The reply (after any echo) to an SMS command; nothing for other commands.
    std::optional<QByteArray> smsReply(const QByteArray& command);
    QByteArray acceptPdu(const QByteArray& hex);

    void run();
    void handleInput(const QByteArray& bytes);
    void handleCommand(const QByteArray& line);
    void queueReply(const QByteArray& bytes, const Config& config);
    bool flushDue(qint64 nowMs);

    Config m_config;
    mutable QMutex m_mutex;
    QString m_devicePath;
    int m_masterFd = -1;
    int m_slaveFd = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_commandCount{0};
    QList<QByteArray> m_commands;
    // Short messages; guarded by m_mutex.
    SmsSink m_smsSink;
    QList<SentSms> m_outbox;
    int m_failCode = 0;
    int m_failTimes = 0;
    bool m_simPinRequired = false;
    bool m_silenceAfterPdu = false;
    int m_sendAttempts = 0;
    ReportPlan m_reportPlan{Report{}};
    QHash<QString, ReportPlan> m_reportPlans;
    bool m_directReportsRefused = false;
    bool m_reportsNeedAck = false;
    int m_acknowledgements = 0;
    int m_reportsSent = 0;
    QMap<int, QByteArray> m_storedReports;
    QString m_lockFile;

    // Owned by the modem thread.
    struct Piece
    {
        QByteArray bytes;
        qint64 dueMs;
    };
    QList<Piece> m_outgoing;
    qsizetype m_outgoingBytes = 0;
    QByteArray m_line;
    bool m_lineTooLong = false;
    bool m_flooding = false;
    qint64 m_lastDueMs = 0;
    std::unique_ptr<class QElapsedTimer> m_clock;
    // Short messages, owned by the modem thread.
    bool m_pduMode = false;
    QByteArray m_characterSet = "GSM";
    int m_pduLength = -1; // waiting for a PDU of this many TPDU octets
    QByteArray m_pdu;
    int m_nextReference = 0;
    int m_reportRoute = 0; // AT+CNMI ds
    struct DueReport
    {
        qint64 dueMs;
        QByteArray pdu;
    };
    QList<DueReport> m_dueReports; // by due time
    int m_nextStoreIndex = 1;
    void scheduleReports(int reference, const QString& recipient, const ReportPlan& plan);
    void sendDueReports(qint64 nowMs);
};
