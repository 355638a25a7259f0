#include "ExcelStandIn.h"

#include "BuiltInClasses.h"

namespace Automation {

namespace {

struct AppModel
{
    bool visible = false;
    bool quit = false;
    std::vector<std::shared_ptr<BookModel>> books;
    std::shared_ptr<BookModel> active;
};

using App = std::shared_ptr<AppModel>;

HRESULT returnObject(const DispatchObject::Call& call, ComPtr<IDispatch> object)
{
    if (call.result)
        *call.result = Variant::fromDispatch(object.get());
    return S_OK;
}

std::optional<QString> textArgument(const DispatchObject::Call& call, int index)
{
    if (index >= int(call.args.size()) || call.args[index].vt != VT_BSTR)
        return std::nullopt;
    return call.args[index].bstrVal;
}

class RangeObject : public DispatchObject
{
public:
    RangeObject(App app, std::shared_ptr<SheetModel> sheet, int top, int left, int bottom, int right)
        : m_app(std::move(app)), m_sheet(std::move(sheet)), m_top(top), m_left(left), m_rows(bottom - top + 1),
          m_cols(right - left + 1)
    {
        addMember(QStringLiteral("Value"), DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            return (call.flags & DISPATCH_PROPERTYPUT) ? put(*call.value) : get(call.result);
        });
    }

private:
    HRESULT get(Variant* result) const
    {
        auto value = [this](int r, int c) {
            const auto it = m_sheet->cells.find({m_top + r, m_left + c});
            if (it == m_sheet->cells.end())
                return Variant();
            const CellValue& cell = it->second;
            switch (cell.kind) {
            case CellValue::Kind::Number:
                return Variant::fromDouble(cell.number);
            case CellValue::Kind::Boolean:
                return Variant::fromBool(cell.number != 0);
            case CellValue::Kind::Date: {
                Variant v = Variant::fromDouble(cell.number);
                v.vt = VT_DATE;
                return v;
            }
            case CellValue::Kind::Error:
                return Variant::error(makeHResult(0x800A07FA)); // #N/A
            case CellValue::Kind::Formula: // formulas are not calculated here: their value is unknown
                return Variant();
            default:
                return Variant::fromString(cell.text);
            }
        };
        if (!result)
            return S_OK;
        if (m_rows == 1 && m_cols == 1) {
            *result = value(0, 0);
            return S_OK;
        }
        auto array = std::make_shared<SafeArray>(m_rows, m_cols);
        for (int r = 0; r < m_rows; ++r) {
            for (int c = 0; c < m_cols; ++c)
                array->at(r + 1, c + 1) = value(r, c);
        }
        *result = Variant::fromArray(std::move(array));
        return S_OK;
    }

    HRESULT put(const Variant& value)
    {
        // Converted first, stored after: a value that cannot go in changes nothing.
        std::vector<CellValue> cells;
        cells.reserve(size_t(m_rows) * size_t(m_cols));
        const bool isArray = value.vt == (VT_ARRAY | VT_VARIANT) && value.parray;
        if (!isArray && size_t(m_rows) * size_t(m_cols) > (size_t(1) << 24))
            return E_OUTOFMEMORY;
        for (int r = 0; r < m_rows; ++r) {
            for (int c = 0; c < m_cols; ++c) {
                std::optional<CellValue> cell;
                if (!isArray)
                    cell = cellFromVariant(value);
                else if (r < value.parray->rows() && c < value.parray->columns())
                    cell = cellFromVariant(value.parray->at(r + 1, c + 1));
                else
                    cell = CellValue{CellValue::Kind::Error, 0, QStringLiteral("#N/A")};
                if (!cell)
                    return DISP_E_EXCEPTION;
                cells.push_back(std::move(*cell));
            }
        }
        size_t i = 0;
        for (int r = 0; r < m_rows; ++r) {
            for (int c = 0; c < m_cols; ++c, ++i) {
                if (cells[i].kind == CellValue::Kind::Empty)
                    m_sheet->cells.erase({m_top + r, m_left + c});
                else
                    m_sheet->cells[{m_top + r, m_left + c}] = std::move(cells[i]);
            }
        }
        for (const auto& book : m_app->books) {
            for (const auto& sheet : book->sheets) {
                if (sheet == m_sheet)
                    book->saved = false;
            }
        }
        return S_OK;
    }

    App m_app;
    std::shared_ptr<SheetModel> m_sheet;
    int m_top, m_left, m_rows, m_cols;
};

class WorksheetObject : public DispatchObject
{
public:
    WorksheetObject(App app, std::shared_ptr<SheetModel> sheet) : m_app(std::move(app)), m_sheet(std::move(sheet))
    {
        addMember(QStringLiteral("Name"), DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            if (call.flags & DISPATCH_PROPERTYPUT) {
                if (call.value->vt != VT_BSTR || call.value->bstrVal.isEmpty() || call.value->bstrVal.size() > 31)
                    return DISP_E_EXCEPTION;
                m_sheet->name = call.value->bstrVal;
            } else if (call.result) {
                *call.result = Variant::fromString(m_sheet->name);
            }
            return S_OK;
        });
        addMember(QStringLiteral("Range"), DISPATCH_PROPERTYGET | DISPATCH_METHOD, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            const auto first = textArgument(call, 0);
            if (!first)
                return call.args.isEmpty() ? DISP_E_BADPARAMCOUNT : DISP_E_TYPEMISMATCH;
            QString from = *first, to;
            if (const qsizetype colon = from.indexOf(u':'); colon >= 0) {
                to = from.mid(colon + 1);
                from.truncate(colon);
            }
            if (call.args.size() > 1 && !call.args[1].isOmitted()) {
                const auto second = textArgument(call, 1);
                if (!second || !to.isEmpty())
                    return DISP_E_EXCEPTION;
                to = *second;
            }
            const auto a = parseCellReference(from);
            const auto b = to.isEmpty() ? a : parseCellReference(to);
            if (!a || !b)
                return DISP_E_EXCEPTION;
            return returnObject(call, make<RangeObject>(m_app, m_sheet, std::min(a->first, b->first),
                                                        std::min(a->second, b->second), std::max(a->first, b->first),
                                                        std::max(a->second, b->second)));
        });
    }

private:
    App m_app;
    std::shared_ptr<SheetModel> m_sheet;
};

HRESULT activeSheetOf(const App& app, const std::shared_ptr<BookModel>& book, const DispatchObject::Call& call)
{
    if (!book || book->sheets.empty())
        return returnObject(call, nullptr);
    return returnObject(call, make<WorksheetObject>(app, book->sheets[book->activeSheet]));
}

class WorkbookObject : public DispatchObject
{
public:
    WorkbookObject(App app, std::shared_ptr<BookModel> book) : m_app(std::move(app)), m_book(std::move(book))
    {
        addMember(QStringLiteral("ActiveSheet"), DISPATCH_PROPERTYGET, [this](const Call& call) {
            return m_app->quit ? RPC_E_DISCONNECTED : activeSheetOf(m_app, m_book, call);
        });
        addMember(QStringLiteral("Saved"), DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            if (call.flags & DISPATCH_PROPERTYPUT)
                m_book->saved = call.value->lVal != 0 || call.value->dblVal != 0;
            else if (call.result)
                *call.result = Variant::fromBool(m_book->saved);
            return S_OK;
        });
        addMember(QStringLiteral("SaveAs"), DISPATCH_METHOD, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            const auto path = textArgument(call, 0);
            if (!path)
                return call.args.isEmpty() ? DISP_E_BADPARAMCOUNT : DISP_E_TYPEMISMATCH;
            if (!saveXlsx(*m_book, *path).isEmpty())
                return DISP_E_EXCEPTION;
            m_book->saved = true;
            return S_OK;
        });
    }

private:
    App m_app;
    std::shared_ptr<BookModel> m_book;
};

class WorkbooksObject : public DispatchObject
{
public:
    explicit WorkbooksObject(App app) : m_app(std::move(app))
    {
        addMember(QStringLiteral("Add"), DISPATCH_METHOD | DISPATCH_PROPERTYGET, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            auto book = std::make_shared<BookModel>();
            book->sheets.push_back(std::make_shared<SheetModel>(SheetModel{QStringLiteral("Sheet1"), {}}));
            m_app->books.push_back(book);
            m_app->active = book;
            return returnObject(call, make<WorkbookObject>(m_app, book));
        });
        addMember(QStringLiteral("Count"), DISPATCH_PROPERTYGET, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            if (call.result)
                *call.result = Variant::fromInt32(std::int32_t(m_app->books.size()));
            return S_OK;
        });
    }

private:
    App m_app;
};

class ApplicationObject : public DispatchObject
{
public:
    ApplicationObject() : m_app(std::make_shared<AppModel>())
    {
        addMember(QStringLiteral("Visible"), DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            if (call.flags & DISPATCH_PROPERTYPUT)
                m_app->visible = call.value->lVal != 0;
            else if (call.result)
                *call.result = Variant::fromBool(m_app->visible);
            return S_OK;
        });
        addMember(QStringLiteral("Workbooks"), DISPATCH_PROPERTYGET, [this](const Call& call) {
            return m_app->quit ? RPC_E_DISCONNECTED : returnObject(call, make<WorkbooksObject>(m_app));
        });
        addMember(QStringLiteral("ActiveWorkbook"), DISPATCH_PROPERTYGET, [this](const Call& call) {
            if (m_app->quit)
                return RPC_E_DISCONNECTED;
            return returnObject(call, m_app->active ? make<WorkbookObject>(m_app, m_app->active) : nullptr);
        });
        addMember(QStringLiteral("ActiveSheet"), DISPATCH_PROPERTYGET, [this](const Call& call) {
            return m_app->quit ? RPC_E_DISCONNECTED : activeSheetOf(m_app, m_app->active, call);
        });
        addMember(QStringLiteral("Quit"), DISPATCH_METHOD, [this](const Call&) {
            // Unsaved workbooks are dropped: the program is invisible and asks nothing.
            m_app->quit = true;
            m_app->books.clear();
            m_app->active.reset();
            return S_OK;
        });
    }

private:
    App m_app;
};

} // namespace

ComPtr<IDispatch> createExcelApplication()
{
    return make<ApplicationObject>();
}

void registerBuiltInClasses(const Register& add)
{
    add(QStringLiteral("Excel.Application"), CLSID_ExcelApplication, CLSCTX_LOCAL_SERVER,
        [](const Guid& iid, void** object) { return createExcelApplication()->QueryInterface(iid, object); });
}

} // namespace Automation
