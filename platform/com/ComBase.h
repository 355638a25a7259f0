#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// The small part of COM the device link needs: result codes, interface
// identifiers, the reference-counted base interface, a counted pointer and the
// exception that carries a failed call out of the device routine.

using HRESULT = std::int32_t;
using BSTR = QString;

constexpr HRESULT makeHResult(std::uint32_t bits)
{
    return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = makeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = makeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = makeHResult(0x80004003);
inline constexpr HRESULT E_ABORT = makeHResult(0x80004004);
inline constexpr HRESULT E_FAIL = makeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = makeHResult(0x8000FFFF);
inline constexpr HRESULT E_HANDLE = makeHResult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = makeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = makeHResult(0x80070057);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = makeHResult(0x80020005);
inline constexpr HRESULT DISP_E_OVERFLOW = makeHResult(0x8002000A);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = makeHResult(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = makeHResult(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = makeHResult(0x800401F0);
inline constexpr HRESULT RPC_E_DISCONNECTED = makeHResult(0x80010108);
inline constexpr HRESULT RPC_E_INVALID_DATAPACKET = makeHResult(0x80010109);
inline constexpr HRESULT RPC_E_WRONG_THREAD = makeHResult(0x8001010E);
inline constexpr HRESULT RPC_E_TIMEOUT = makeHResult(0x8001011F);
inline constexpr HRESULT RPC_S_SERVER_UNAVAILABLE = makeHResult(0x800706BA);
// HRESULT_FROM_WIN32 of ERROR_WRITE_FAULT and ERROR_DEVICE_NOT_CONNECTED: what a
// handset that refuses a packet or has been unplugged reports.
inline constexpr HRESULT E_WRITE_FAULT = makeHResult(0x8007001D);
inline constexpr HRESULT E_DEVICE_NOT_CONNECTED = makeHResult(0x8007048F);

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

// A short English description of the codes above; "unknown error" otherwise.
QString describeHResult(HRESULT hr);

struct Guid
{
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    constexpr bool operator==(const Guid& other) const
    {
        if (data1 != other.data1 || data2 != other.data2 || data3 != other.data3)
            return false;
        for (int i = 0; i < 8; ++i) {
            if (data4[i] != other.data4[i])
                return false;
        }
        return true;
    }

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
    QString toString() const;
};

inline constexpr Guid IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The reference-counted base of every interface. Objects are used from the
// thread that created them; counts are not protected against other threads.
struct IUnknown
{
    static constexpr Guid kIid = IID_IUnknown;

    virtual HRESULT QueryInterface(const Guid& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

// Holds one reference. put() hands out the address for an out parameter after
// dropping what was held, so the usual "call(ptr.put())" pattern never leaks.
template <class T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr copy(other);
        swap(copy);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr moved(std::move(other));
        swap(moved);
        return *this;
    }

    // Adopts p without taking a reference (p came from an out parameter).
    static ComPtr attach(T* p)
    {
        ComPtr out;
        out.m_p = p;
        return out;
    }
    T* detach() { return std::exchange(m_p, nullptr); }

    void reset()
    {
        if (T* old = std::exchange(m_p, nullptr))
            old->Release();
    }
    T** put()
    {
        reset();
        return &m_p;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    // QueryInterface for U; the result is empty when the object refuses.
    template <class U> HRESULT as(ComPtr<U>* out) const
    {
        if (!out)
            return E_POINTER;
        if (!m_p) {
            out->reset();
            return E_POINTER;
        }
        return m_p->QueryInterface(U::kIid, out->putVoid());
    }

private:
    T* m_p = nullptr;
};

// A failed call: the HRESULT and the identifier of the interface that failed.
class ComError : public std::exception
{
public:
    ComError(HRESULT hr, const Guid& iid);

    HRESULT error() const { return m_hr; }
    const Guid& interfaceId() const { return m_iid; }
    QString message() const { return QString::fromUtf8(m_text); }
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    HRESULT m_hr;
    Guid m_iid;
    std::string m_text;
};

// Throws ComError for a failing HRESULT; returns it otherwise.
HRESULT checkHr(HRESULT hr, const Guid& iid);

// Throws ComError(E_POINTER) when the interface pointer is missing.
template <class T> T* checkPointer(T* p, const Guid& iid)
{
    if (!p)
        throw ComError(E_POINTER, iid);
    return p;
}
template <class T> T* checkPointer(const ComPtr<T>& p, const Guid& iid)
{
    return checkPointer(p.get(), iid);
}

// Per-thread COM start-up. The first call on a thread gives S_OK, later ones
// S_FALSE; each successful call must be paired with CoUninitialize.
inline constexpr std::uint32_t COINIT_APARTMENTTHREADED = 0x2;
inline constexpr std::uint32_t COINIT_MULTITHREADED = 0x0;
HRESULT CoInitializeEx(void* reserved, std::uint32_t coInit);
void CoUninitialize();
bool isComInitializedOnThisThread();

inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr std::uint32_t CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr std::uint32_t CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr std::uint32_t CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr std::uint32_t CLSCTX_ALL = 0x17;

// Defined by the transport library linked into the program (veva_deviceservice).
// CoCreateInstance needs CoInitializeEx on the calling thread; OleRun makes
// sure a created object's server is running and answering.
HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, std::uint32_t clsContext, const Guid& iid, void** object);
HRESULT OleRun(IUnknown* object);
