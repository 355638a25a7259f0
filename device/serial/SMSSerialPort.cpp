#include "SMSSerialPort.h"

#include "platform/TextCodec.h"
#include "platform/serial/SerialErrors.h"
#include "platform/serial/SerialPortList.h"

#include <QElapsedTimer>

namespace {

const QStringList manufacturerWords = {QStringLiteral("AT+GMI"), QStringLiteral("AT+CGMI"), QStringLiteral("+GMI"),
                                       QStringLiteral("+CGMI")};
const QStringList modelWords = {QStringLiteral("AT+GMM"), QStringLiteral("AT+CGMM"), QStringLiteral("+GMM"),
                                QStringLiteral("+CGMM")};

void throwIfFailed(quint32 error)
{
    if (error != SerialErrors::Success)
        throw CSMSException::systemError(error);
}

} // namespace

CSMSSerialPort::~CSMSSerialPort()
{
    Close();
}

void CSMSSerialPort::Open(int portNumber, int timeoutMs)
{
    Close();
    throwIfFailed(m_device.open(portNumber));
    m_timeoutMs = timeoutMs;
}

void CSMSSerialPort::Close()
{
    m_device.close();
}

void CSMSSerialPort::Write(const char* bytes, int count)
{
    throwIfFailed(m_device.write(QByteArray(bytes, count), m_timeoutMs));
}

int CSMSSerialPort::Read(QByteArray& buffer)
{
    throwIfFailed(m_device.read(buffer));
    return int(buffer.size());
}

bool CSMSSerialPort::WaitFor(const QByteArray& expected)
{
    return waitLoop([&expected](const QByteArray& collected, qsizetype added) {
        // Only the tail can hold a match that was not there before.
        const qsizetype searchFrom = qMax<qsizetype>(0, collected.size() - added - expected.size() + 1);
        return collected.indexOf(expected, searchFrom) >= 0;
    });
}

bool CSMSSerialPort::WaitUntil(const std::function<bool(const QByteArray&)>& complete)
{
    return waitLoop([&complete](const QByteArray& collected, qsizetype) { return complete(collected); });
}

int CSMSSerialPort::DiscardInput()
{
    int discarded = 0;
    QByteArray chunk;
    do {
        discarded += Read(chunk);
    } while (!chunk.isEmpty());
    return discarded;
}

bool CSMSSerialPort::waitLoop(const std::function<bool(const QByteArray&, qsizetype)>& complete)
{
    QByteArray collected;
    qsizetype received = 0;
    QElapsedTimer exchange;
    exchange.start();
    QByteArray chunk;
    for (;;) {
        quint32 error = SerialErrors::Success;
        const SerialDevice::WaitResult waited = m_device.waitForCharacter(m_timeoutMs, &error);
        if (waited == SerialDevice::WaitResult::TimedOut || waited == SerialDevice::WaitResult::Cancelled) {
            m_response = collected;
            return false;
        }
        if (waited == SerialDevice::WaitResult::Failed) {
            m_response = collected;
            throw CSMSException::systemError(error);
        }
        error = m_device.read(chunk);
        if (error != SerialErrors::Success) {
            m_response = collected;
            throw CSMSException::systemError(error);
        }
        if (chunk.isEmpty())
            continue;
        received += chunk.size();
        chunk.replace('\0', ' ');
        collected.append(chunk);
        const bool found = complete(collected, chunk.size());
        if (collected.size() > ResponseCap)
            collected.remove(0, collected.size() - ResponseCap);
        if (found) {
            m_response = collected;
            return true;
        }
        if (received > FloodByteLimit || exchange.elapsed() > qint64(m_timeoutMs) * FloodTimeFactor) {
            m_response = collected;
            throw CSMSException::protocolError(responseText());
        }
    }
}

QString CSMSSerialPort::responseText() const
{
    return TextCodec::fromAnsi(m_response);
}

bool CSMSSerialPort::Probe(int portNumber, int timeoutMs)
{
    Open(portNumber, timeoutMs);
    m_response.clear();
    Write("AT\r", 3);
    return WaitFor("OK") || m_response == "AT";
}

QString CSMSSerialPort::cleanAnswer(const QString& response, const QStringList& words)
{
    QString text = response;
    for (const QChar c : {u'?', u'"', u'<', u'>'})
        text.remove(c);
    text = text.trimmed();
    text.remove(QStringLiteral("OK"));
    for (const QString& word : words)
        text.remove(word);
    text = text.trimmed();
    if (text.startsWith(QLatin1Char(':')))
        text.remove(0, 1);
    return text.trimmed();
}

QString CSMSSerialPort::askCleaned(const QByteArray& command, const QStringList& words, bool* answered)
{
    Write(command);
    *answered = WaitFor("OK");
    return *answered ? cleanAnswer(responseText(), words) : QString();
}

QString CSMSSerialPort::askModel()
{
    bool answered = false;
    QString model = askCleaned("AT+GMM\r", modelWords, &answered);
    if (model == QLatin1String("Undefined")) {
        const QString second = askCleaned("AT+CGMM\r", modelWords, &answered);
        if (answered)
            model = second;
    }
    const qsizetype marker = model.indexOf(QLatin1String("MODEL="));
    if (marker >= 0)
        model = model.mid(marker + 6);
    return model;
}

QString CSMSSerialPort::QueryModel()
{
    Write("AT\r", 3);
    WaitFor("OK");
    return askModel();
}

CSMSSerialPort::DeviceIdentity CSMSSerialPort::QueryManufacturerAndModel()
{
    struct CloseAtEnd
    {
        CSMSSerialPort* port;
        ~CloseAtEnd() { port->Close(); }
    } closeAtEnd{this};

    DeviceIdentity identity;
    Write("AT\r", 3);
    if (!WaitFor("OK"))
        throw CSMSException::protocolError(responseText());
    bool answered = false;
    identity.manufacturer = askCleaned("AT+GMI\r", manufacturerWords, &answered);
    if (identity.manufacturer == QLatin1String("Undefined")) {
        const QString second = askCleaned("AT+CGMI\r", manufacturerWords, &answered);
        if (answered)
            identity.manufacturer = second;
    }
    identity.model = askModel();
    if (m_response.contains("ERROR"))
        throw CSMSException::protocolError(responseText());
    return identity;
}

CSMSSerialPort::PortList CSMSSerialPort::EnumeratePorts()
{
    const SerialPortList::Enumeration found = SerialPortList::enumerate();
    return {found.numbers, found.descriptions};
}
