// RAII for COM references, BSTRs and VARIANTs, and late-bound calls by
// member name.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

namespace kestrel::com {

// Owns one COM reference; releases it when it goes.
template <class T>
class Ref {
public:
    Ref() = default;
    ~Ref() { Reset(); }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept
    {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For an out parameter; whatever was held is released first.
    T** put()
    {
        Reset();
        return &p_;
    }
    void Reset()
    {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// Owns one VARIANT; clears it when it goes.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }
    // For an out parameter; whatever was held is cleared first.
    VARIANT* put()
    {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// Owns one BSTR.
class Bstr {
public:
    explicit Bstr(std::wstring_view text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

// Calls a member by its dispatch identifier, or by its name. `args` are in
// the caller's order (they are handed to IDispatch::Invoke reversed, as it
// wants them).
HRESULT InvokeId(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT argCount, Variant& result);
HRESULT Invoke(IDispatch* object, const wchar_t* member, WORD flags, VARIANT* args, UINT argCount, Variant& result);

// Queries an interface from whatever a variant holds (VT_UNKNOWN or VT_DISPATCH).
template <class T>
Ref<T> QueryFromVariant(const VARIANT& v, REFIID iid)
{
    Ref<T> out;
    IUnknown* unknown = nullptr;
    if (v.vt == VT_UNKNOWN) unknown = v.punkVal;
    if (v.vt == VT_DISPATCH) unknown = v.pdispVal;
    if (unknown) unknown->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
    return out;
}

}  // namespace kestrel::com
