#include "Automation.h"

#include "BuiltInClasses.h"

#include <QLoggingCategory>
#include <QMutex>

#include <map>

Q_LOGGING_CATEGORY(lcAutomation, "veva.automation")

namespace Automation {

Variant Variant::fromInt32(std::int32_t v)
{
    Variant out;
    out.vt = VT_I4;
    out.lVal = v;
    return out;
}

Variant Variant::fromDouble(double v)
{
    Variant out;
    out.vt = VT_R8;
    out.dblVal = v;
    return out;
}

Variant Variant::fromBool(bool v)
{
    Variant out;
    out.vt = VT_BOOL;
    out.lVal = v ? -1 : 0;
    return out;
}

Variant Variant::fromString(const QString& v)
{
    Variant out;
    out.vt = VT_BSTR;
    out.bstrVal = v;
    return out;
}

Variant Variant::fromDispatch(IDispatch* v)
{
    Variant out;
    out.vt = VT_DISPATCH;
    out.pdispVal = ComPtr<IDispatch>(v);
    return out;
}

Variant Variant::fromArray(std::shared_ptr<SafeArray> v)
{
    Variant out;
    out.vt = VT_ARRAY | VT_VARIANT;
    out.parray = std::move(v);
    return out;
}

Variant Variant::error(HRESULT code)
{
    Variant out;
    out.vt = VT_ERROR;
    out.lVal = code;
    return out;
}

SafeArray::SafeArray(int rows, int columns)
    : m_rows(std::max(rows, 0)), m_columns(std::max(columns, 0)), m_items(size_t(m_rows) * size_t(m_columns))
{
}

size_t SafeArray::index(int row, int column) const
{
    Q_ASSERT(row >= 1 && row <= m_rows && column >= 1 && column <= m_columns);
    return size_t(row - 1) * size_t(m_columns) + size_t(column - 1);
}

HRESULT DispatchByName(std::uint16_t flags, Variant* result, IDispatch* object, const QString& name,
                       std::span<const Variant> args)
{
    if (!object)
        return S_OK;
    const QString shownName = name.left(255);
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(&name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        qCDebug(lcAutomation, "IDispatch::GetIDsOfNames(\"%s\") failed w/err 0x%08lx", qPrintable(shownName),
                static_cast<unsigned long>(std::uint32_t(hr)));
        return hr;
    }
    std::vector<Variant> copied(args.begin(), args.end());
    DISPID putId = DISPID_PROPERTYPUT;
    DispParams params;
    params.rgvarg = copied.data();
    params.cArgs = std::uint32_t(copied.size());
    if (flags & DISPATCH_PROPERTYPUT) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &putId;
    }
    hr = object->Invoke(id, flags, &params, result, LOCALE_SYSTEM_DEFAULT);
    if (FAILED(hr)) {
        qCDebug(lcAutomation, "IDispatch::Invoke(\"%s\"=%08lx) failed w/err 0x%08lx", qPrintable(shownName),
                static_cast<unsigned long>(std::uint32_t(id)), static_cast<unsigned long>(std::uint32_t(hr)));
    }
    return hr;
}

namespace {

struct ClassEntry
{
    Guid clsid;
    std::uint32_t contexts;
    ClassFactory factory;
};

struct ClassTable
{
    QMutex mutex;
    std::map<QString, ClassEntry> byProgId; // keys in lower case: ProgIDs ignore letter case
};

ClassTable& classes()
{
    static ClassTable* table = [] {
        auto* t = new ClassTable;
        registerBuiltInClasses(
            [t](const QString& progId, const Guid& clsid, std::uint32_t contexts, ClassFactory factory) {
                t->byProgId[progId.toLower()] = {clsid, contexts, std::move(factory)};
            });
        return t;
    }();
    return *table;
}

} // namespace

void registerClass(const QString& progId, const Guid& clsid, std::uint32_t contexts, ClassFactory factory)
{
    ClassTable& t = classes();
    QMutexLocker lock(&t.mutex);
    t.byProgId[progId.toLower()] = {clsid, contexts, std::move(factory)};
}

void unregisterClass(const QString& progId)
{
    ClassTable& t = classes();
    QMutexLocker lock(&t.mutex);
    t.byProgId.erase(progId.toLower());
}

HRESULT CLSIDFromProgID(const QString& progId, Guid* clsid)
{
    if (!clsid)
        return E_POINTER;
    ClassTable& t = classes();
    QMutexLocker lock(&t.mutex);
    const auto it = t.byProgId.find(progId.toLower());
    if (it == t.byProgId.end())
        return CO_E_CLASSSTRING;
    *clsid = it->second.clsid;
    return S_OK;
}

HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, std::uint32_t contexts, const Guid& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!isComInitializedOnThisThread())
        return CO_E_NOTINITIALIZED;
    ClassFactory factory;
    {
        ClassTable& t = classes();
        QMutexLocker lock(&t.mutex);
        for (const auto& [progId, entry] : t.byProgId) {
            if (entry.clsid == clsid && (entry.contexts & contexts))
                factory = entry.factory;
        }
    }
    if (!factory)
        return REGDB_E_CLASSNOTREG;
    return factory(iid, object);
}

HRESULT DispatchObject::QueryInterface(const Guid& iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        AddRef();
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

std::uint32_t DispatchObject::AddRef()
{
    return ++m_refs;
}

std::uint32_t DispatchObject::Release()
{
    const std::uint32_t left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT DispatchObject::GetIDsOfNames(const QString* names, std::uint32_t count, std::uint32_t, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (std::uint32_t n = 0; n < count; ++n) {
        ids[n] = -1;
        for (size_t i = 0; i < m_members.size(); ++i) {
            if (m_members[i].name.compare(names[n], Qt::CaseInsensitive) == 0)
                ids[n] = DISPID(i + 1);
        }
        if (ids[n] < 0)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, std::uint16_t flags, DispParams* params, Variant* result, std::uint32_t)
{
    if (id < 1 || size_t(id) > m_members.size())
        return DISP_E_MEMBERNOTFOUND;
    const Member& member = m_members[size_t(id - 1)];
    if (!(member.kinds & flags))
        return DISP_E_MEMBERNOTFOUND;
    Call call;
    call.flags = flags;
    call.result = result;
    std::uint32_t count = params ? params->cArgs : 0;
    if (flags & DISPATCH_PROPERTYPUT) {
        if (!params || count == 0 || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTFOUND;
        call.value = &params->rgvarg[0];
        for (std::uint32_t i = count; i-- > 1;)
            call.args.append(params->rgvarg[i]);
    } else {
        if (params && params->cNamedArgs != 0)
            return DISP_E_PARAMNOTFOUND;
        for (std::uint32_t i = count; i-- > 0;)
            call.args.append(params->rgvarg[i]);
    }
    if (result)
        *result = Variant();
    return member.handler(call);
}

void DispatchObject::addMember(const QString& name, std::uint16_t kinds, Handler handler)
{
    m_members.push_back({name, kinds, std::move(handler)});
}

} // namespace Automation
