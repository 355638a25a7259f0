#pragma once

#include "platform/com/ComBase.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <vector>

// Late-bound automation the way the spreadsheet exports drive a spreadsheet
// program: objects reached by member name through IDispatch, values carried in
// VARIANTs, two-dimensional arrays for ranges. The classes that can be
// created are registered by ProgID; the build registers its spreadsheet
// program stand-in (platform/automation/CMakeLists.txt).
namespace Automation {

using DISPID = std::int32_t;

inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = makeHResult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = makeHResult(0x80020004);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = makeHResult(0x80020006);
inline constexpr HRESULT DISP_E_BADVARTYPE = makeHResult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = makeHResult(0x80020009);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = makeHResult(0x8002000E);
inline constexpr HRESULT CO_E_CLASSSTRING = makeHResult(0x800401F3);

inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr std::uint32_t LOCALE_USER_DEFAULT = 0x400;
inline constexpr std::uint32_t LOCALE_SYSTEM_DEFAULT = 0x800;

inline constexpr Guid IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

enum VarType : std::uint16_t
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_ARRAY = 0x2000,
};

struct Variant;
class SafeArray;

struct DispParams
{
    Variant* rgvarg = nullptr; // last argument first
    DISPID* rgdispidNamedArgs = nullptr;
    std::uint32_t cArgs = 0;
    std::uint32_t cNamedArgs = 0;
};

struct IDispatch : IUnknown
{
    static constexpr Guid kIid = IID_IDispatch;

    virtual HRESULT GetIDsOfNames(const QString* names, std::uint32_t count, std::uint32_t lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, std::uint16_t flags, DispParams* params, Variant* result, std::uint32_t lcid) = 0;

protected:
    ~IDispatch() = default;
};

struct Variant
{
    std::uint16_t vt = VT_EMPTY;
    std::int32_t lVal = 0; // VT_I4, VT_I2, VT_BOOL (0 or -1), VT_ERROR (the code)
    double dblVal = 0;     // VT_R8, VT_DATE (days since 30 December 1899)
    QString bstrVal;
    ComPtr<IDispatch> pdispVal;
    std::shared_ptr<SafeArray> parray; // VT_ARRAY | VT_VARIANT

    static Variant fromInt32(std::int32_t v);
    static Variant fromDouble(double v);
    static Variant fromBool(bool v);
    static Variant fromString(const QString& v);
    static Variant fromDispatch(IDispatch* v);
    static Variant fromArray(std::shared_ptr<SafeArray> v);
    static Variant error(HRESULT code);
    // The marker of an optional argument that is not supplied.
    static Variant omitted() { return error(DISP_E_PARAMNOTFOUND); }
    bool isOmitted() const { return vt == VT_ERROR && lVal == DISP_E_PARAMNOTFOUND; }
};

// A two-dimensional array of VARIANTs whose indexes both start at 1.
class SafeArray
{
public:
    SafeArray(int rows, int columns);
    int rows() const { return m_rows; }
    int columns() const { return m_columns; }
    Variant& at(int row, int column) { return m_items[index(row, column)]; }
    const Variant& at(int row, int column) const { return m_items[index(row, column)]; }

private:
    size_t index(int row, int column) const;
    int m_rows;
    int m_columns;
    std::vector<Variant> m_items;
};

// The late-bound call by member name. flags: DISPATCH_METHOD,
// DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT; args last argument first, as
// Invoke takes them. An empty object gives 0 and calls nothing. Failures are
// written to the debug log and returned; nothing is shown to the user.
HRESULT DispatchByName(std::uint16_t flags, Variant* result, IDispatch* object, const QString& name,
                       std::span<const Variant> args = {});

// Class registration and creation. COM must be initialised on the thread
// (CoInitializeEx) before an object is created.
using ClassFactory = std::function<HRESULT(const Guid& iid, void** object)>;
void registerClass(const QString& progId, const Guid& clsid, std::uint32_t contexts, ClassFactory factory);
void unregisterClass(const QString& progId);
HRESULT CLSIDFromProgID(const QString& progId, Guid* clsid);
HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, std::uint32_t contexts, const Guid& iid, void** object);

// A base for objects implemented here: reference counting, IDispatch, and a
// member table. Arguments reach the handler in their natural order.
class DispatchObject : public IDispatch
{
public:
    struct Call
    {
        std::uint16_t flags = 0;
        QList<Variant> args;
        const Variant* value = nullptr; // the new value of a property put
        Variant* result = nullptr;      // may be null
    };
    using Handler = std::function<HRESULT(const Call& call)>;

    HRESULT QueryInterface(const Guid& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT GetIDsOfNames(const QString* names, std::uint32_t count, std::uint32_t lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, std::uint16_t flags, DispParams* params, Variant* result, std::uint32_t lcid) override;

protected:
    DispatchObject() = default;
    virtual ~DispatchObject() = default;
    // kinds: the DISPATCH_ flags the member answers to.
    void addMember(const QString& name, std::uint16_t kinds, Handler handler);

private:
    struct Member
    {
        QString name;
        std::uint16_t kinds;
        Handler handler;
    };
    std::vector<Member> m_members;
    std::atomic<std::uint32_t> m_refs{1};
};

// Creates a DispatchObject subclass with one reference held by the result.
template <class T, class... A> ComPtr<IDispatch> make(A&&... args)
{
    return ComPtr<IDispatch>::attach(new T(std::forward<A>(args)...));
}

} // namespace Automation
