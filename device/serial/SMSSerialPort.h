#pragma once

#include "SMSException.h"

#include "platform/serial/SerialDevice.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// A modem or phone on a COM port, spoken to with AT commands. The connection
// wizard probes ports with it and asks the selected device for its
// manufacturer and model. Every failure throws CSMSException.
//
// One object serves one thread at a time; cancelWait() alone may be called
// from another thread to end a WaitFor early (it then returns false).
class CSMSSerialPort
{
public:
    static constexpr int DefaultTimeoutMs = 15000;
    static constexpr int ProbeTimeoutMs = 1000;
    static constexpr int SelectionTimeoutMs = 5000;
    // The response text keeps the newest ResponseCap bytes of an answer.
    static constexpr qsizetype ResponseCap = 64 * 1024;
    // A device that keeps sending without ever giving the expected text is a
    // flood: WaitFor gives up with the protocol error after FloodByteLimit
    // bytes or FloodTimeFactor response time-outs, whichever comes first.
    static constexpr qsizetype FloodByteLimit = 256 * 1024;
    static constexpr int FloodTimeFactor = 10;

    struct DeviceIdentity
    {
        QString manufacturer;
        QString model;
    };

    struct PortList
    {
        QList<int> numbers;
        QStringList descriptions;
    };

    CSMSSerialPort() = default;
    virtual ~CSMSSerialPort();
    CSMSSerialPort(const CSMSSerialPort&) = delete;
    CSMSSerialPort& operator=(const CSMSSerialPort&) = delete;

    void Open(int portNumber, int timeoutMs);
    void Close();
    bool IsOpen() const { return m_device.isOpen(); }
    void Write(const char* bytes, int count);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), int(bytes.size())); }
    // Reads what is waiting (at most 4096 bytes) into buffer; returns the count.
    int Read(QByteArray& buffer);
    // Collects text until it contains `expected`; the time-out applies to each
    // wait for new characters. The collected text becomes the response text.
    bool WaitFor(const QByteArray& expected);
    // The same wait, ending when `complete` accepts the text collected so far.
    bool WaitUntil(const std::function<bool(const QByteArray& collected)>& complete);
    // Reads and drops whatever is waiting; returns the byte count.
    int DiscardInput();
    void cancelWait() { m_device.cancelWait(); }

    int responseTimeout() const { return m_timeoutMs; }
    void setResponseTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }
    // The text of the last WaitFor, NUL bytes turned into spaces.
    QByteArray responseBytes() const { return m_response; }
    QString responseText() const;
    void clearResponse() { m_response.clear(); }

    // Opens the port and says "AT"; true when it answers "OK" or just echoes "AT".
    // The port stays open for QueryModel.
    bool Probe(int portNumber, int timeoutMs = ProbeTimeoutMs);
    // The model of the device on the open port, empty when it gives none.
    QString QueryModel();
    // Manufacturer and model of the device on the open port; closes the port.
    // Throws the protocol error when the device does not answer "AT" or ends with "ERROR".
    DeviceIdentity QueryManufacturerAndModel();

    static PortList EnumeratePorts();

    // Strips an answer down to its value: drops ? " < >, the given command
    // words and "OK", and a leading colon.
    static QString cleanAnswer(const QString& response, const QStringList& words);

private:
    bool waitLoop(const std::function<bool(const QByteArray& collected, qsizetype added)>& complete);
    QString askModel();
    QString askCleaned(const QByteArray& command, const QStringList& words, bool* answered);

    int m_timeoutMs = DefaultTimeoutMs;
    SerialDevice m_device;
    QByteArray m_response;
};
