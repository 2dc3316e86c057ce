// Test helper: starts a program, reads every message box it shows (caption,
// text, icon, buttons), presses OK on each, and reports how the program ended.
//   boxdriver PROGRAM WORKDIR [TIMEOUT_SECONDS]
// Prints, in UTF-8, per box: "box caption=...", "text=...", "icon=N buttons=N";
// then "exit=N", or "timeout".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The text of a window of another process, through WM_GETTEXT.
std::wstring TextOf(HWND window)
{
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(length + 1, L'\0');
    const auto got = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct Search {
    DWORD pid;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBoxes(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && ClassOf(window) == L"#32770") search->boxes.push_back(window);
    return TRUE;
}

struct Contents {
    int icons = 0;
    int buttons = 0;
};

BOOL CALLBACK CountControls(HWND child, LPARAM param)
{
    auto* contents = reinterpret_cast<Contents*>(param);
    if (!IsWindowVisible(child)) return TRUE;
    const auto name = ClassOf(child);
    const auto style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(name.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0)
        ++contents->icons;
    if (_wcsicmp(name.c_str(), L"Button") == 0) ++contents->buttons;
    return TRUE;
}

void Report(HWND box)
{
    Contents contents;
    EnumChildWindows(box, CountControls, reinterpret_cast<LPARAM>(&contents));
    const HWND text = GetDlgItem(box, 0xFFFF);
    std::printf("box caption=%s\ntext=%s\nicon=%d buttons=%d\n", Utf8(TextOf(box)).c_str(),
                text ? Utf8(TextOf(text)).c_str() : "", contents.icons, contents.buttons);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: boxdriver PROGRAM WORKDIR [TIMEOUT_SECONDS]\n");
        return 64;
    }
    const DWORD timeoutMs = (argc > 3 ? _wtoi(argv[3]) : 60) * 1000;
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[2], &startup, &process)) {
        std::printf("cannot start: error %lu\n", GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);

    std::set<HWND> pressed;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.hProcess, 99);
            std::printf("timeout\n");
            return 1;
        }
        Search search{process.dwProcessId, {}};
        EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&search));
        for (const HWND box : search.boxes) {
            if (!pressed.insert(box).second) continue;
            Sleep(200);  // let the box finish laying itself out
            Report(box);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    std::printf("exit=%lu\n", code);
    return 0;
}
