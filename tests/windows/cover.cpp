// Test helper: a window over the screen's centre, above every other, as a
// program left open over a box would be: the release check must read the
// box's icon whatever lies over it.
//   cover SECONDS [stay]
// With "stay" it puts itself above every other window again, every 20 ms,
// as a kiosk's, a call's or a magnifier's window stays on top: a box
// raised over it is covered again at once.
// Prints "up" once its window is shown.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    wchar_t* rest = nullptr;
    const DWORD seconds = arguments && *arguments ? DWORD(std::wcstoul(arguments, &rest, 10)) : 60;
    const bool stay = rest && std::wcsstr(rest, L"stay");
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"cover";
    if (!RegisterClassW(&windowClass)) return 1;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"cover", L"cover", WS_POPUP | WS_VISIBLE,
                                        w / 4, h / 4, w / 2, h / 2, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    UpdateWindow(window);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "up\n", 3, &written, nullptr);
    SetTimer(window, 1, seconds * 1000, nullptr);
    if (stay) SetTimer(window, 2, 20, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.wParam == 1) break;
        if (message.message == WM_TIMER)
            SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        else DispatchMessageW(&message);
    }
    return 0;
}
