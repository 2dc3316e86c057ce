// Test helper: a window over the screen's centre, above every other, as a
// program left open over a box would be: the release check must read the
// box's icon whatever lies over it.
//   cover SECONDS
// Prints "up" once its window is shown.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    const DWORD seconds = arguments && *arguments ? DWORD(std::wcstoul(arguments, nullptr, 10)) : 60;
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
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageW(&message);
    }
    return 0;
}
