#include "runtime_error_box.h"

#include <string>

#include "../runtime_error.h"
#include "wide.h"

namespace kestrel::forms {

namespace {

[[noreturn]] void Raise(const wchar_t* what, ErrorCode code)
{
    const std::u16string text = RuntimeErrorText(Utf16(what), code);
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(kRuntimeErrorExit);
}

}  // namespace

void RaiseRuntimeError(const wchar_t* what, DWORD lastError) { Raise(what, {ErrorCode::Kind::LastError, lastError}); }

void RaiseRuntimeErrorHr(const wchar_t* what, HRESULT hr)
{
    Raise(what, {ErrorCode::Kind::Hresult, static_cast<std::uint32_t>(hr)});
}

}  // namespace kestrel::forms
