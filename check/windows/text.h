// UTF-16 and UTF-8, the two forms every text of the check takes: the system
// speaks the one, the report and the records the other; and paths and lists
// as the report shows them.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::check {

inline std::string Utf8(std::wstring_view text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::wstring Wide(std::string_view text)
{
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

// A path as the report shows it: without the "\\?\" of a final path.
inline std::string Shown(const std::wstring& path)
{
    return Utf8(path.compare(0, 4, L"\\\\?\\") == 0 ? std::wstring_view(path).substr(4) : std::wstring_view(path));
}

// Texts as a list: "a, b, c".
inline std::string List(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return list;
}

}  // namespace kestrel::check
