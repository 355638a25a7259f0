#include "platform/com/ComBase.h"

#include <QUuid>

QString describeHResult(HRESULT hr)
{
    switch (hr) {
    case S_OK:
        return QStringLiteral("success");
    case S_FALSE:
        return QStringLiteral("success (false)");
    case E_NOTIMPL:
        return QStringLiteral("not implemented");
    case E_NOINTERFACE:
        return QStringLiteral("no such interface supported");
    case E_POINTER:
        return QStringLiteral("invalid pointer");
    case E_ABORT:
        return QStringLiteral("operation aborted");
    case E_FAIL:
        return QStringLiteral("unspecified failure");
    case E_UNEXPECTED:
        return QStringLiteral("catastrophic failure");
    case E_HANDLE:
        return QStringLiteral("invalid handle");
    case E_OUTOFMEMORY:
        return QStringLiteral("out of memory");
    case E_INVALIDARG:
        return QStringLiteral("invalid argument");
    case DISP_E_TYPEMISMATCH:
        return QStringLiteral("type mismatch");
    case DISP_E_OVERFLOW:
        return QStringLiteral("out of present range");
    case CLASS_E_NOAGGREGATION:
        return QStringLiteral("class does not support aggregation");
    case REGDB_E_CLASSNOTREG:
        return QStringLiteral("class not registered");
    case CO_E_NOTINITIALIZED:
        return QStringLiteral("CoInitialize has not been called");
    case RPC_E_DISCONNECTED:
        return QStringLiteral("the object invoked has disconnected from its clients");
    case RPC_E_INVALID_DATAPACKET:
        return QStringLiteral("the data packet with the marshalled parameter data is incorrect");
    case RPC_E_WRONG_THREAD:
        return QStringLiteral("the interface was marshalled for a different thread");
    case RPC_E_TIMEOUT:
        return QStringLiteral("this operation returned because the timeout period expired");
    case RPC_S_SERVER_UNAVAILABLE:
        return QStringLiteral("the RPC server is unavailable");
    case E_WRITE_FAULT:
        return QStringLiteral("the device cannot write");
    case E_DEVICE_NOT_CONNECTED:
        return QStringLiteral("the device is not connected");
    default:
        return QStringLiteral("unknown error");
    }
}

QString Guid::toString() const
{
    const QUuid uuid(data1, data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                     data4[7]);
    return uuid.toString(QUuid::WithBraces).toUpper();
}

namespace {

std::string composeText(HRESULT hr, const Guid& iid)
{
    const QString code =
        QString::number(static_cast<std::uint32_t>(hr), 16).toUpper().rightJustified(8, QLatin1Char('0'));
    return QStringLiteral("COM error 0x%1 (%2) in interface %3")
        .arg(code, describeHResult(hr), iid.toString())
        .toStdString();
}

} // namespace

ComError::ComError(HRESULT hr, const Guid& iid) : m_hr(hr), m_iid(iid), m_text(composeText(hr, iid)) {}

HRESULT checkHr(HRESULT hr, const Guid& iid)
{
    if (FAILED(hr))
        throw ComError(hr, iid);
    return hr;
}

namespace {
thread_local int t_comInitCount = 0;
}

HRESULT CoInitializeEx(void* reserved, std::uint32_t coInit)
{
    if (reserved || (coInit != COINIT_APARTMENTTHREADED && coInit != COINIT_MULTITHREADED))
        return E_INVALIDARG;
    return t_comInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_comInitCount > 0)
        --t_comInitCount;
}

bool isComInitializedOnThisThread()
{
    return t_comInitCount > 0;
}
