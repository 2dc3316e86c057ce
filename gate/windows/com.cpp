#include "com.h"

#include <algorithm>
#include <vector>

namespace kestrel::com {

HRESULT InvokeId(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT argCount, Variant& result)
{
    if (!object) return E_POINTER;
    std::vector<VARIANT> reversed(args, args + argCount);
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, argCount, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(), nullptr, nullptr);
}

HRESULT Invoke(IDispatch* object, const wchar_t* member, WORD flags, VARIANT* args, UINT argCount, Variant& result)
{
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    return InvokeId(object, id, flags, args, argCount, result);
}

}  // namespace kestrel::com
