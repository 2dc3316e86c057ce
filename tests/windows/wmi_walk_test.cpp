// The walk over WMI's enumerator, on a scripted one: what each kind of item
// gives the probe, and that every reference is given back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/com.h"
#include "windows/wmi_management.h"

namespace kestrel {
namespace {

// One COM object of interface I, counting the references it hands out in
// `live`; the last Release deletes it.
template <class I>
class Counted : public I {
public:
    explicit Counted(int& live) : live_(live) {}
    virtual ~Counted() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid != IID_IUnknown && iid != __uuidof(I)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++live_;
        return ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        --live_;
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    int& live_;
    ULONG refs_ = 0;
};

// A board object whose Version property reads `version`, or null when it is
// null (a board whose table entry has no version string).
class ScriptedBoard final : public Counted<IDispatch> {
public:
    ScriptedBoard(int& live, const wchar_t* version)
        : Counted(live), null_(version == nullptr), version_(version ? version : L"")
    {
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override
    {
        if (std::wstring(names[0]) != L"Version") return DISP_E_UNKNOWNNAME;
        ids[0] = 7;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id != 7) return DISP_E_MEMBERNOTFOUND;
        if (null_) {
            result->vt = VT_NULL;
            return S_OK;
        }
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(version_.data(), UINT(version_.size()));
        return S_OK;
    }

private:
    bool null_;
    std::wstring version_;
};

// Yields its items one by one, each as a fresh VARIANT, then S_FALSE.
class ScriptedEnumerator final : public Counted<IEnumVARIANT> {
public:
    ScriptedEnumerator(int& live, std::vector<VARIANT> items) : Counted(live), items_(std::move(items)) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT* item, ULONG* fetched) override
    {
        *fetched = 0;
        if (next_ == items_.size()) return S_FALSE;
        VariantInit(item);
        VariantCopy(item, &items_[next_++]);
        *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }
    ~ScriptedEnumerator() override
    {
        for (auto& v : items_) VariantClear(&v);
    }

private:
    std::vector<VARIANT> items_;
    std::size_t next_ = 0;
};

VARIANT Board(int& live, const wchar_t* version)
{
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = new ScriptedBoard(live, version);
    v.pdispVal->AddRef();
    return v;
}

VARIANT Number(int n)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

// Also an empty and a null version, which Wine's own WMI never reports (it
// gives the table's next string instead).
TEST(WmiWalk, AnItemThatIsNoObjectIsSkippedAndTheWalkGoesOn)
{
    int live = 0;
    {
        com::Ref<IEnumVARIANT> enumerator;
        (new ScriptedEnumerator(live, {Board(live, L"12B"), Number(5), VARIANT{}, Board(live, L""),
                                       Board(live, nullptr), Board(live, L"34B")}))
            ->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(enumerator.put()));
        auto walk = WalkBoards(std::move(enumerator));
        ASSERT_NE(walk, nullptr);
        std::vector<std::string> seen;
        for (;;) {
            auto step = walk->Next();
            if (step.status != BoardEnumeration::Status::Item) {
                seen.push_back(step.status == BoardEnumeration::Status::End ? "end" : "failed");
                break;
            }
            const auto read = step.board->ReadVersion();
            seen.push_back(read.status == VersionRead::Status::Text
                               ? "[" + std::string(read.text.begin(), read.text.end()) + "]"
                           : read.status == VersionRead::Status::Null ? "null"
                                                                      : "unreadable");
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"[12B]", "unreadable", "unreadable", "[]", "null", "[34B]", "end"}));
    }
    EXPECT_EQ(live, 0);
}

}  // namespace
}  // namespace kestrel
