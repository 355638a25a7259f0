#pragma once

#include "platform/com/ComBase.h"

#include <cstdint>

// The VARIANT subset the device properties use.
enum VarType : std::uint16_t
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UI4 = 19,
};

struct Variant
{
    VarType vt = VT_EMPTY;
    std::int32_t lVal = 0; // VT_I4, VT_I2 (sign-extended), VT_UI4 (bit pattern)
    bool boolVal = false;  // VT_BOOL
    BSTR bstrVal;          // VT_BSTR

    static Variant fromInt32(std::int32_t value);
    static Variant fromInt16(std::int16_t value);
    static Variant fromUInt32(std::uint32_t value);
    static Variant fromBool(bool value);
    static Variant fromString(const QString& value);
    static Variant null();

    bool operator==(const Variant& other) const;
};

// Converts src to the type vt, like the platform call of the same name:
// numeric text (blanks around it allowed, decimal, optional sign) converts to
// VT_I4, other text fails with DISP_E_TYPEMISMATCH, values outside 32 bits
// with DISP_E_OVERFLOW; VT_EMPTY becomes 0 and VT_NULL does not convert.
// Supported targets: VT_I4, VT_BSTR and VT_BOOL. dest and src may be the same.
HRESULT VariantChangeType(Variant* dest, const Variant* src, std::uint16_t flags, VarType vt);
