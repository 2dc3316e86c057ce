// Reading the windows of another process, for the test helpers (boxdriver,
// formsprobe): texts through WM_GETTEXT, class names, and what a message
// box shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "text.h"

namespace kestrel::windows {

using check::Utf8;

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

// The box's icon control (a visible static control showing an icon), or null.
inline HWND IconControlOf(HWND box)
{
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (IsWindowVisible(c) && IsClass(c, L"Static") && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageW(c, STM_GETICON, 0, 0))
            return c;
    }
    return nullptr;
}

struct WindowSearch {
    DWORD pid;
    bool dialogs;
    std::vector<HWND> found;
};

inline BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == s->pid && IsWindowVisible(window) && (!s->dialogs || ClassOf(window) == L"#32770"))
        s->found.push_back(window);
    return TRUE;
}

// The visible top-level windows of process `pid`; only dialog windows (the
// message boxes) when `dialogs` is set.
inline std::vector<HWND> WindowsOf(DWORD pid, bool dialogs)
{
    WindowSearch search{pid, dialogs, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Presses a message box's OK button.
inline void PressOk(HWND box)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

}  // namespace kestrel::windows
