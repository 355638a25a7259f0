#include "ModemChannel.h"


namespace {

HRESULT resultOf(ModemError::Kind kind)
{
    switch (kind) {
    case ModemError::Kind::PortFailed:
    case ModemError::Kind::NotAnswering:
        return E_DEVICE_NOT_CONNECTED;
    case ModemError::Kind::SimLocked:
        return E_MODEM_ACCESS_DENIED;
    case ModemError::Kind::Refused:
        return E_WRITE_FAULT;
    case ModemError::Kind::Unencodable:
        return E_INVALIDARG;
    case ModemError::Kind::Cancelled:
        return E_ABORT;
    case ModemError::Kind::NoPduMode:
        break;
    }
    return E_FAIL;
}

} // namespace

ModemChannel::ModemChannel(int portNumber, const ModemTiming& timing) : m_modem(portNumber, timing) {}

QString ModemChannel::lastError() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastError;
}

bool ModemChannel::lastOutcomeUnknown() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastOutcomeUnknown;
}

QString ModemChannel::channelName() const
{
    return QStringLiteral("COM%1").arg(m_modem.portNumber());
}

HRESULT ModemChannel::Close()
{
    m_closed = true;
    m_modem.close();
    return S_OK;
}

HRESULT ModemChannel::WriteTextMessage(const QString& text, const QString& number, int firstPart, int reference,
                                       PartListener* listener)
{
    if (m_closed)
        return E_HANDLE;
    try {
        GsmModem::PartAccepted accepted;
        if (listener)
            accepted = [listener](int part, int total, int ref) { listener->partAccepted(part, total, ref); };
        const GsmModem::Sent sent = m_modem.sendMessage(number, text, firstPart, reference, accepted);
        m_parts += sent.parts;
        ++m_messages;
        return S_OK;
    } catch (const ModemError& e) {
        QMutexLocker lock(&m_mutex);
        m_lastError = e.text();
        m_lastOutcomeUnknown = e.handedOver();
        // A cancel (the program closing) keeps its own result, so nothing is shown for it.
        return e.handedOver() && e.kind() != ModemError::Kind::Cancelled ? E_MODEM_OUTCOME_UNKNOWN : resultOf(e.kind());
    }
}
