// The forms' run-time error. A call that fails in a form is not handled where
// it fails: it ends the program with a standard error box, captioned with the
// application's title, that names what failed and the system's error code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::forms {

inline constexpr std::u16string_view kApplicationTitle = u"tarn";
// The exit status of a program ended by a run-time error.
inline constexpr int kRuntimeErrorExit = 4;

// A system error code as the platform reports it: a number from the last
// error of a call, or an HRESULT (shown in hexadecimal, as they are read).
struct ErrorCode {
    enum class Kind { LastError, Hresult };
    Kind kind = Kind::LastError;
    std::uint32_t value = 0;
};

// "Run-time error: WHAT failed (error CODE)."
std::u16string RuntimeErrorText(std::u16string_view what, ErrorCode code);

}  // namespace kestrel::forms
