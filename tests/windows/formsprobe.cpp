// Test helper: starts formsdemo on a form, then carries out its commands on
// the form's real window from outside, as a user and a reader would, and
// prints what it finds (UTF-8, one fact a line).
//   formsprobe DEMO FORM COMMAND...
// Commands:
//   geometry          the form and its controls (in z-order, which is the
//                     tab order): class, id, text, rectangle, styles
//   font ID           the font a control uses
//   focus             the control with the focus
//   expect-focus ID   waits (5 s at most) for the focus to reach a control
//   type TEXT         types TEXT as keyboard input
//   key KEY           presses RETURN, ESCAPE, TAB, ALT+U or ALT+P
//   click ID          clicks a button
//   box               waits for a message box, reports it, presses its OK
//   close             the close box (system command Close)
//   wait-exit         waits for formsdemo to end; prints what it printed
//   expect-text ID T  waits (5 s at most) for a control's text to begin with
//                     T; prints as much of its start as T is long
//   caption           where a point of the form's caption bar is on screen,
//                     and the colours it has when active and inactive (on
//                     standard error, for a script that reads the screen)
//   deactivate        makes a window of the probe's own the active one
//   activate          makes the form the active window (again), and closes
//                     the probe's own window
//   signal FILE       creates FILE (for a script waiting on the probe)
//   await FILE        waits (20 s at most) until FILE exists
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "window_reading.h"

namespace {

using namespace kestrel::windows;

std::string Escaped(const std::wstring& text)
{
    std::string out;
    for (const char c : Utf8(text)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

struct Target {
    PROCESS_INFORMATION process = {};
    HANDLE output = nullptr;  // formsdemo's standard output
    HWND form = nullptr;
};

// A visible window of the form's process other than `skip` (a dialog
// window when `boxes` is set), waiting up to `ms` for one.
HWND WaitForWindow(const Target& t, HWND skip, bool boxes, DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        for (const HWND window : WindowsOf(t.process.dwProcessId, boxes))
            if (window != skip) return window;
        Sleep(50);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

HWND Focused(const Target& t)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(t.form, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

int FocusedId(const Target& t)
{
    const HWND f = Focused(t);
    return f ? GetDlgCtrlID(f) : 0;
}

void Send(std::vector<INPUT> inputs)
{
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(100);
}

INPUT Key(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = WORD(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

void Foreground(const Target& t)
{
    HWND box = WaitForWindow(t, t.form, true, 0);
    SetForegroundWindow(box ? box : t.form);
}

// Pumps the probe's own messages for a while.
void Pump(DWORD ms)
{
    const DWORD start = GetTickCount();
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

// A window of the probe's own, to take the activation from the form.
HWND other = nullptr;

// Activates the probe's own window, so that the form loses activation.
void Deactivate()
{
    if (!other) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ProbeOther";
        RegisterClassW(&wc);
        other = CreateWindowExW(0, L"ProbeOther", L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                nullptr, wc.hInstance, nullptr);
    }
    SetForegroundWindow(other);
    for (int n = 0; n < 100 && GetForegroundWindow() != other; ++n) Pump(50);
    Pump(200);
}

// The left end of the caption bar, past the frame, where the caption's
// first colour is drawn, and that colour for an active and an inactive form.
void Caption(const Target& t)
{
    RECT outer = {};
    GetWindowRect(t.form, &outer);
    const int edge = GetSystemMetrics(SM_CXDLGFRAME) + 2;
    const auto hex = [](COLORREF c) {
        char text[8];
        std::snprintf(text, sizeof text, "%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
        return std::string(text);
    };
    std::fprintf(stderr, "caption at %ld %ld active=%s inactive=%s\n", outer.left + edge, outer.top + edge,
                 hex(GetSysColor(COLOR_ACTIVECAPTION)).c_str(), hex(GetSysColor(COLOR_INACTIVECAPTION)).c_str());
    std::fflush(stderr);
}

void Geometry(const Target& t)
{
    const HWND w = t.form;
    RECT client = {}, outer = {};
    GetClientRect(w, &client);
    GetWindowRect(w, &outer);
    const LONG style = GetWindowLongW(w, GWL_STYLE), ex = GetWindowLongW(w, GWL_EXSTYLE);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const int ow = outer.right - outer.left, oh = outer.bottom - outer.top;
    const bool centred = outer.left == std::lround((sw - ow) / 2.0) && outer.top == std::lround((sh - oh) / 2.0);
    std::printf("form class=%s caption=%s client=%ldx%ld centred=%s\n", Utf8(ClassOf(w)).c_str(),
                Utf8(TextOf(w)).c_str(), client.right, client.bottom,
                centred ? "yes"
                        : ("no: at " + std::to_string(outer.left) + "," + std::to_string(outer.top) + " size " +
                           std::to_string(ow) + "x" + std::to_string(oh) + " on " + std::to_string(sw) + "x" +
                           std::to_string(sh))
                              .c_str());
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    std::fprintf(stderr, "client origin %ld %ld\n", origin.x, origin.y);
    std::printf("form titlebar=%d sysmenu=%d minbox=%d maxbox=%d sizable=%d taskbar=%d\n",
                (style & WS_CAPTION) == WS_CAPTION, (style & WS_SYSMENU) != 0, (style & WS_MINIMIZEBOX) != 0,
                (style & WS_MAXIMIZEBOX) != 0, (style & WS_THICKFRAME) != 0,
                (ex & WS_EX_APPWINDOW) != 0 || (!GetWindow(w, GW_OWNER) && !(ex & WS_EX_TOOLWINDOW)));
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r = {};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
        const LONG cs = GetWindowLongW(c, GWL_STYLE);
        std::string extra;
        if (cs & WS_TABSTOP) extra += " tabstop";
        const auto name = ClassOf(c);
        if (IsClass(c, L"Button") && (cs & 0x0F) == BS_DEFPUSHBUTTON) extra += " default";
        if (IsClass(c, L"Edit")) {
            if (cs & ES_MULTILINE) extra += " multiline";
            if (cs & WS_HSCROLL) extra += " hscroll";
            if (cs & WS_VSCROLL) extra += " vscroll";
            if (cs & ES_READONLY) extra += " readonly";
            const auto pw = SendMessageW(c, EM_GETPASSWORDCHAR, 0, 0);
            if (pw) extra += " password=" + Utf8(std::wstring(1, wchar_t(pw)));
        }
        std::printf("control id=%d class=%s rect=%ld,%ld,%ld,%ld%s text=%s\n", GetDlgCtrlID(c), Utf8(name).c_str(),
                    r.left, r.top, r.right - r.left, r.bottom - r.top, extra.c_str(), Escaped(TextOf(c)).c_str());
    }
}

void Font(const Target& t, int id)
{
    const HWND c = GetDlgItem(t.form, id);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
    LOGFONTW lf = {};
    if (!font || !GetObjectW(font, sizeof lf, &lf)) {
        std::printf("font unreadable\n");
        return;
    }
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    std::printf("font face=%s points=%ld weight=%ld italic=%d underline=%d strikeout=%d charset=%d\n",
                Utf8(lf.lfFaceName).c_str(), std::lround(std::fabs(double(lf.lfHeight)) * 72.0 / dpi), lf.lfWeight,
                lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut, lf.lfCharSet);
}

bool Box(const Target& t)
{
    const HWND box = WaitForWindow(t, t.form, true, 5000);
    if (!box) {
        std::printf("no box\n");
        return false;
    }
    Sleep(200);
    std::printf("%s\n", DescribeMessageBox(box).c_str());
    PressOk(box);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    return true;
}

void WaitExit(Target& t)
{
    if (WaitForSingleObject(t.process.hProcess, 10000) != WAIT_OBJECT_0) {
        std::printf("still running\n");
        return;
    }
    char buffer[256];
    DWORD got = 0;
    std::string out;
    while (ReadFile(t.output, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    for (std::size_t p; (p = out.find('\r')) != std::string::npos;) out.erase(p, 1);
    std::printf("%s", out.c_str());
    DWORD code = 0;
    GetExitCodeProcess(t.process.hProcess, &code);
    std::printf("exit=%lu\n", code);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: formsprobe DEMO FORM COMMAND...\n");
        return 64;
    }
    Target t;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE write = nullptr;
    CreatePipe(&t.output, &write, &sa, 0);
    SetHandleInformation(t.output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\" " + argv[2];
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &t.process)) {
        std::printf("cannot start formsdemo: error %lu\n", GetLastError());
        return 2;
    }
    CloseHandle(write);
    t.form = WaitForWindow(t, nullptr, false, 15000);
    if (!t.form) {
        std::printf("no form\n");
        TerminateProcess(t.process.hProcess, 1);
        return 1;
    }
    Sleep(300);

    for (int i = 3; i < argc; ++i) {
        const std::wstring command = argv[i];
        const std::wstring arg = i + 1 < argc ? argv[i + 1] : L"";
        std::fflush(stdout);
        if (command == L"geometry") {
            Geometry(t);
        } else if (command == L"font") {
            Font(t, _wtoi(arg.c_str()));
            ++i;
        } else if (command == L"focus") {
            std::printf("focus=%d\n", FocusedId(t));
        } else if (command == L"expect-focus") {
            const int want = _wtoi(arg.c_str());
            for (int n = 0; n < 100 && FocusedId(t) != want; ++n) Sleep(50);
            std::printf("focus=%d\n", FocusedId(t));
            ++i;
        } else if (command == L"type") {
            Foreground(t);
            std::vector<INPUT> inputs;
            for (const wchar_t ch : arg) {
                for (const bool up : {false, true}) {
                    INPUT in = {};
                    in.type = INPUT_KEYBOARD;
                    in.ki.wScan = ch;
                    in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
                    inputs.push_back(in);
                }
            }
            Send(inputs);
            ++i;
        } else if (command == L"key") {
            Foreground(t);
            if (arg == L"RETURN") Send({Key(VK_RETURN, false), Key(VK_RETURN, true)});
            else if (arg == L"ESCAPE") Send({Key(VK_ESCAPE, false), Key(VK_ESCAPE, true)});
            else if (arg == L"TAB") Send({Key(VK_TAB, false), Key(VK_TAB, true)});
            else if (arg == L"ALT+U") Send({Key(VK_MENU, false), Key('U', false), Key('U', true), Key(VK_MENU, true)});
            else if (arg == L"ALT+P") Send({Key(VK_MENU, false), Key('P', false), Key('P', true), Key(VK_MENU, true)});
            else std::printf("unknown key %s\n", Utf8(arg).c_str());
            ++i;
        } else if (command == L"click") {
            PostMessageW(GetDlgItem(t.form, _wtoi(arg.c_str())), BM_CLICK, 0, 0);
            ++i;
        } else if (command == L"box") {
            Box(t);
        } else if (command == L"close") {
            PostMessageW(t.form, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (command == L"expect-text") {
            const std::wstring start = i + 2 < argc ? argv[i + 2] : L"";
            const HWND control = GetDlgItem(t.form, _wtoi(arg.c_str()));
            for (int n = 0; n < 100 && TextOf(control).compare(0, start.size(), start) != 0; ++n) Sleep(50);
            std::printf("text=%s\n", Escaped(TextOf(control).substr(0, start.size())).c_str());
            i += 2;
        } else if (command == L"caption") {
            Caption(t);
        } else if (command == L"deactivate") {
            Deactivate();
        } else if (command == L"activate") {
            SetForegroundWindow(t.form);
            for (int n = 0; n < 100 && GetForegroundWindow() != t.form; ++n) Pump(50);
            if (other) {
                DestroyWindow(other);
                other = nullptr;
                Pump(200);
            }
        } else if (command == L"signal") {
            CloseHandle(CreateFileW(arg.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ++i;
        } else if (command == L"await") {
            for (int n = 0; n < 400 && GetFileAttributesW(arg.c_str()) == INVALID_FILE_ATTRIBUTES; ++n) Sleep(50);
            ++i;
        } else if (command == L"wait-exit") {
            WaitExit(t);
        } else {
            std::printf("unknown command %s\n", Utf8(command).c_str());
        }
    }
    std::fflush(stdout);
    if (WaitForSingleObject(t.process.hProcess, 0) == WAIT_TIMEOUT) {
        PostMessageW(t.form, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (WaitForSingleObject(t.process.hProcess, 3000) == WAIT_TIMEOUT) TerminateProcess(t.process.hProcess, 1);
    }
    return 0;
}
