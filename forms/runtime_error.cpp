#include "runtime_error.h"

namespace kestrel::forms {

std::u16string RuntimeErrorText(std::u16string_view what, ErrorCode code)
{
    std::u16string digits;
    if (code.kind == ErrorCode::Kind::Hresult) {
        for (int shift = 28; shift >= 0; shift -= 4) digits += u"0123456789ABCDEF"[(code.value >> shift) & 0xF];
        digits = u"0x" + digits;
    } else {
        std::uint32_t v = code.value;
        do {
            digits.insert(digits.begin(), char16_t(u'0' + v % 10));
            v /= 10;
        } while (v != 0);
    }
    return u"Run-time error: " + std::u16string(what) + u" failed (error " + digits + u").";
}

}  // namespace kestrel::forms
