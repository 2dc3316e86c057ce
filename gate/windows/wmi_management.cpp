#include "wmi_management.h"

#include <string>

#include "com.h"
#include "wide.h"

namespace kestrel {

namespace {

// A late-bound property read: Wine's WMI answers a bare property-get with a
// failure, so the method flag goes with it, as a script host's read does.
constexpr WORD kPropertyRead = DISPATCH_PROPERTYGET | DISPATCH_METHOD;

class WmiBoard final : public BoardObject {
public:
    // `object` may be null: then every read fails.
    explicit WmiBoard(com::Ref<IDispatch> object) : object_(std::move(object)) {}

    VersionRead ReadVersion() override
    {
        if (!object_) return VersionRead::Failed();
        com::Variant value;
        if (FAILED(com::Invoke(object_.get(), L"Version", kPropertyRead, nullptr, 0, value)))
            return VersionRead::Failed();
        if (value->vt == VT_NULL) return VersionRead::Null();
        if (value->vt != VT_BSTR && FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR)))
            return VersionRead::Failed();
        const BSTR text = value->bstrVal;
        return VersionRead::Text(Utf16({text, SysStringLen(text)}));
    }

private:
    com::Ref<IDispatch> object_;
};

class WmiEnumeration final : public BoardEnumeration {
public:
    explicit WmiEnumeration(com::Ref<IEnumVARIANT> walk) : walk_(std::move(walk)) {}

    Step Next() override
    {
        com::Variant item;
        ULONG fetched = 0;
        const HRESULT hr = walk_->Next(1, item.put(), &fetched);
        if (hr == S_FALSE || (hr == S_OK && fetched == 0)) return {Status::End, nullptr};
        if (FAILED(hr)) return {Status::Failed, nullptr};
        // An item that is not an object is a board whose Version cannot be
        // read: it is skipped, and the walk goes on.
        return {Status::Item, std::make_unique<WmiBoard>(com::QueryFromVariant<IDispatch>(*item, IID_IDispatch))};
    }

private:
    com::Ref<IEnumVARIANT> walk_;
};

class WmiBoardSet final : public BoardSet {
public:
    explicit WmiBoardSet(com::Ref<IDispatch> set) : set_(std::move(set)) {}

    std::unique_ptr<BoardEnumeration> Enumerate() override
    {
        com::Variant enumerator;
        if (FAILED(com::InvokeId(set_.get(), DISPID_NEWENUM, kPropertyRead, nullptr, 0, enumerator))) return nullptr;
        return WalkBoards(com::QueryFromVariant<IEnumVARIANT>(*enumerator, IID_IEnumVARIANT));
    }

private:
    com::Ref<IDispatch> set_;
};

class WmiService final : public ManagementService {
public:
    explicit WmiService(com::Ref<IDispatch> service) : service_(std::move(service)) {}

    std::unique_ptr<BoardSet> ExecQuery(std::u16string_view wql, std::int32_t flags) override
    {
        const com::Bstr query(Wide(wql));
        VARIANT args[3];
        args[0].vt = VT_BSTR;
        args[0].bstrVal = query.get();
        // An omitted optional argument: the query language stays the default.
        args[1].vt = VT_ERROR;
        args[1].scode = DISP_E_PARAMNOTFOUND;
        args[2].vt = VT_I4;
        args[2].lVal = flags;

        com::Variant result;
        if (FAILED(com::Invoke(service_.get(), L"ExecQuery", DISPATCH_METHOD, args, 3, result))) return nullptr;
        auto set = com::QueryFromVariant<IDispatch>(*result, IID_IDispatch);
        if (!set) return nullptr;
        return std::make_unique<WmiBoardSet>(std::move(set));
    }

private:
    com::Ref<IDispatch> service_;
};

}  // namespace

std::unique_ptr<BoardEnumeration> WalkBoards(com::Ref<IEnumVARIANT> enumerator)
{
    if (!enumerator) return nullptr;
    return std::make_unique<WmiEnumeration>(std::move(enumerator));
}

std::unique_ptr<ManagementService> WmiManagement::Bind(std::u16string_view displayName)
{
    com::Ref<IDispatch> service;
    const std::wstring name = Wide(displayName);
    if (FAILED(CoGetObject(name.c_str(), nullptr, IID_IDispatch, reinterpret_cast<void**>(service.put()))) || !service)
        return nullptr;
    return std::make_unique<WmiService>(std::move(service));
}

}  // namespace kestrel
