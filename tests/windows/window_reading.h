// Reading the windows of another process, for the test helpers: texts
// through WM_GETTEXT, class names, and what a message box shows.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::testing {

inline std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::wstring TextOf(HWND window)
{
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(length + 1, L'\0');
    text.resize(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    return text;
}

inline std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

inline bool IsClass(HWND window, const wchar_t* name) { return _wcsicmp(ClassOf(window).c_str(), name) == 0; }

// "box caption=... text=... icon=N buttons=N": its caption, its text (the
// static control 0xFFFF), the icons and the buttons it shows.
inline std::string DescribeMessageBox(HWND box)
{
    int icons = 0, buttons = 0;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        if (IsClass(c, L"Static") && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageW(c, STM_GETICON, 0, 0))
            ++icons;
        if (IsClass(c, L"Button")) ++buttons;
    }
    const HWND text = GetDlgItem(box, 0xFFFF);
    return "box caption=" + Utf8(TextOf(box)) + " text=" + (text ? Utf8(TextOf(text)) : std::string()) +
           " icon=" + std::to_string(icons) + " buttons=" + std::to_string(buttons);
}

// Presses a message box's OK button.
inline void PressOk(HWND box)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

}  // namespace kestrel::testing
