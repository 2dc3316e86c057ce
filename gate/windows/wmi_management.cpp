#include "wmi_management.h"

#include <string>

#include "../probe.h"
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
    WmiBoard(com::Ref<IDispatch> object, const wchar_t* property) : object_(std::move(object)), property_(property) {}

    VersionRead ReadVersion() override
    {
        if (!object_) return VersionRead::Failed();
        com::Variant value;
        if (FAILED(com::Invoke(object_.get(), property_, kPropertyRead, nullptr, 0, value)))
            return VersionRead::Failed();
        if (value->vt == VT_NULL) return VersionRead::Null();
        if (value->vt != VT_BSTR && FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR)))
            return VersionRead::Failed();
        const BSTR text = value->bstrVal;
        return VersionRead::Text(Utf16({text, SysStringLen(text)}));
    }

private:
    com::Ref<IDispatch> object_;
    const wchar_t* property_;
};

class WmiEnumeration final : public BoardEnumeration {
public:
    WmiEnumeration(com::Ref<IEnumVARIANT> walk, const wchar_t* property) : walk_(std::move(walk)), property_(property)
    {
    }

    Step Next() override
    {
        com::Variant item;
        ULONG fetched = 0;
        const HRESULT hr = walk_->Next(1, item.put(), &fetched);
        if (hr == S_FALSE || (hr == S_OK && fetched == 0)) return {Status::End, nullptr};
        if (FAILED(hr)) return {Status::Failed, nullptr};
        // An item that is not an object is a board whose Version cannot be
        // read: it is skipped, and the walk goes on.
        return {Status::Item,
                std::make_unique<WmiBoard>(com::QueryFromVariant<IDispatch>(*item, IID_IDispatch), property_)};
    }

private:
    com::Ref<IEnumVARIANT> walk_;
    const wchar_t* property_;
};

class WmiBoardSet final : public BoardSet {
public:
    WmiBoardSet(com::Ref<IDispatch> set, const wchar_t* property) : set_(std::move(set)), property_(property) {}

    std::unique_ptr<BoardEnumeration> Enumerate() override
    {
        com::Variant enumerator;
        if (FAILED(com::InvokeId(set_.get(), DISPID_NEWENUM, kPropertyRead, nullptr, 0, enumerator))) return nullptr;
        return WalkBoards(com::QueryFromVariant<IEnumVARIANT>(*enumerator, IID_IEnumVARIANT), property_);
    }

private:
    com::Ref<IDispatch> set_;
    const wchar_t* property_;
};

class WmiService final : public ManagementService {
public:
    explicit WmiService(com::Ref<IDispatch> service) : service_(std::move(service)) {}

    std::unique_ptr<BoardSet> ExecQuery(std::u16string_view wql, std::int32_t flags) override
    {
        auto set = kestrel::ExecQuery(service_.get(), wql, flags);
        if (!set) return nullptr;
        // The firmware's instances give their version as SMBIOSBIOSVersion.
        return std::make_unique<WmiBoardSet>(std::move(set), wql == kBiosQuery ? L"SMBIOSBIOSVersion" : L"Version");
    }

private:
    com::Ref<IDispatch> service_;
};

}  // namespace

com::Ref<IDispatch> ExecQuery(IDispatch* service, std::u16string_view wql, std::int32_t flags)
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
    if (FAILED(com::Invoke(service, L"ExecQuery", DISPATCH_METHOD, args, 3, result))) return {};
    return com::QueryFromVariant<IDispatch>(*result, IID_IDispatch);
}

std::unique_ptr<BoardEnumeration> WalkBoards(com::Ref<IEnumVARIANT> enumerator, const wchar_t* property)
{
    if (!enumerator) return nullptr;
    return std::make_unique<WmiEnumeration>(std::move(enumerator), property);
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
