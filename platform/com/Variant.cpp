#include "platform/com/Variant.h"

#include <limits>

Variant Variant::fromInt32(std::int32_t value)
{
    Variant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

Variant Variant::fromInt16(std::int16_t value)
{
    Variant v;
    v.vt = VT_I2;
    v.lVal = value;
    return v;
}

Variant Variant::fromUInt32(std::uint32_t value)
{
    Variant v;
    v.vt = VT_UI4;
    v.lVal = static_cast<std::int32_t>(value);
    return v;
}

Variant Variant::fromBool(bool value)
{
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = value;
    return v;
}

Variant Variant::fromString(const QString& value)
{
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
}

Variant Variant::null()
{
    Variant v;
    v.vt = VT_NULL;
    return v;
}

bool Variant::operator==(const Variant& other) const
{
    if (vt != other.vt)
        return false;
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_UI4:
        return lVal == other.lVal;
    case VT_BOOL:
        return boolVal == other.boolVal;
    case VT_BSTR:
        return bstrVal == other.bstrVal;
    default:
        return true;
    }
}

namespace {

// The value as a 64-bit integer, or the HRESULT explaining why there is none.
HRESULT toInteger(const Variant& src, qint64* out)
{
    switch (src.vt) {
    case VT_EMPTY:
        *out = 0;
        return S_OK;
    case VT_I2:
    case VT_I4:
        *out = src.lVal;
        return S_OK;
    case VT_UI4:
        *out = static_cast<std::uint32_t>(src.lVal);
        return S_OK;
    case VT_BOOL:
        *out = src.boolVal ? -1 : 0;
        return S_OK;
    case VT_BSTR: {
        const QString text = src.bstrVal.trimmed();
        if (text.isEmpty())
            return DISP_E_TYPEMISMATCH;
        qsizetype i = (text.front() == QLatin1Char('-') || text.front() == QLatin1Char('+')) ? 1 : 0;
        if (i == text.size())
            return DISP_E_TYPEMISMATCH;
        for (; i < text.size(); ++i) {
            if (!text.at(i).isDigit() || text.at(i).unicode() > '9')
                return DISP_E_TYPEMISMATCH;
        }
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (!ok)
            return DISP_E_OVERFLOW;
        *out = value;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

HRESULT VariantChangeType(Variant* dest, const Variant* src, std::uint16_t flags, VarType vt)
{
    Q_UNUSED(flags);
    if (!dest || !src)
        return E_POINTER;
    Variant result;
    switch (vt) {
    case VT_I4: {
        qint64 value = 0;
        const HRESULT hr = toInteger(*src, &value);
        if (FAILED(hr))
            return hr;
        if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
            return DISP_E_OVERFLOW;
        result = Variant::fromInt32(static_cast<std::int32_t>(value));
        break;
    }
    case VT_BOOL: {
        qint64 value = 0;
        const HRESULT hr = toInteger(*src, &value);
        if (FAILED(hr))
            return hr;
        result = Variant::fromBool(value != 0);
        break;
    }
    case VT_BSTR:
        switch (src->vt) {
        case VT_EMPTY:
            result = Variant::fromString(QString());
            break;
        case VT_I2:
        case VT_I4:
            result = Variant::fromString(QString::number(src->lVal));
            break;
        case VT_UI4:
            result = Variant::fromString(QString::number(static_cast<std::uint32_t>(src->lVal)));
            break;
        case VT_BOOL:
            result = Variant::fromString(src->boolVal ? QStringLiteral("True") : QStringLiteral("False"));
            break;
        case VT_BSTR:
            result = *src;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
        }
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    *dest = result;
    return S_OK;
}
