#include "runtime_error_box.h"

#include <string>

#include "../runtime_error.h"

namespace kestrel::forms {

namespace {

[[noreturn]] void Raise(const wchar_t* what, ErrorCode code)
{
    const std::wstring name(what);
    const std::u16string text = RuntimeErrorText(std::u16string(name.begin(), name.end()), code);
    const std::wstring wide(text.begin(), text.end());
    const std::wstring caption(kApplicationTitle.begin(), kApplicationTitle.end());
    MessageBoxW(nullptr, wide.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(kRuntimeErrorExit);
}

}  // namespace

void RaiseRuntimeError(const wchar_t* what, DWORD lastError)
{
    Raise(what, {ErrorCode::Kind::LastError, lastError});
}

void RaiseRuntimeErrorHr(const wchar_t* what, HRESULT hr)
{
    Raise(what, {ErrorCode::Kind::Hresult, static_cast<std::uint32_t>(hr)});
}

}  // namespace kestrel::forms
