// Raising the forms' run-time error on Windows: the error box, then the end of
// the program. Every failing call of the forms comes here.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::forms {

// Shows "Run-time error: WHAT failed (error CODE)." in a box captioned
// "tarn" with the error icon, then ends the program with kRuntimeErrorExit.
[[noreturn]] void RaiseRuntimeError(const wchar_t* what, DWORD lastError);
[[noreturn]] void RaiseRuntimeErrorHr(const wchar_t* what, HRESULT hr);

// The checks a form makes after each call that can fail: a false `ok` raises
// the run-time error with the calling thread's last error.
inline void Check(bool ok, const wchar_t* what)
{
    if (!ok) RaiseRuntimeError(what, GetLastError());
}
// The same for a call of the form named `form`: "FORM: WHAT". The error is
// read before the text is made.
inline void Check(bool ok, const wchar_t* form, const wchar_t* what)
{
    if (ok) return;
    const DWORD error = GetLastError();
    RaiseRuntimeError((std::wstring(form) + L": " + what).c_str(), error);
}
inline void CheckHr(HRESULT hr, const wchar_t* what)
{
    if (FAILED(hr)) RaiseRuntimeErrorHr(what, hr);
}

}  // namespace kestrel::forms
