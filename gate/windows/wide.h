// The routine's UTF-16 texts as the wide strings of the Windows API (both
// are UTF-16 code units here).
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string Utf16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace kestrel
