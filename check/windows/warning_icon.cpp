#include "warning_icon.h"

namespace kestrel::check {

namespace {

constexpr UINT kAskTimeoutMs = 1000;

bool IsStaticIcon(HWND control)
{
    wchar_t name[16] = {};
    if (!IsWindowVisible(control) || !GetClassNameW(control, name, 16) || _wcsicmp(name, L"Static") != 0) return false;
    if ((GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return false;
    DWORD_PTR icon = 0;
    return SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kAskTimeoutMs, &icon) && icon != 0;
}

// Counts the pixels of two 32-bit images of `count` pixels that differ in a
// colour channel by more than a faint edge would.
int Differing(const unsigned char* a, const unsigned char* b, int count)
{
    int differing = 0;
    for (int i = 0; i < count; ++i) {
        int most = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = a[4 * i + c] > b[4 * i + c] ? a[4 * i + c] - b[4 * i + c] : b[4 * i + c] - a[4 * i + c];
            most = d > most ? d : most;
        }
        differing += most > 48 ? 1 : 0;
    }
    return differing;
}

}  // namespace

HWND IconControlOf(HWND box)
{
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsStaticIcon(c)) return c;
    return nullptr;
}

bool ShowsWarningIcon(HWND box)
{
    const HWND control = IconControlOf(box);
    RECT r = {};
    if (!control || !GetWindowRect(control, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || w > 256 || h > 256) return false;
    // The icon's image nearest the control's size (32 at 96 DPI, 40 at 120,
    // 48 at 144), not a shared one of the default size scaled up.
    const HICON icon =
        static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32515), IMAGE_ICON, w, h, 0));  // OIC_WARNING
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    const HDC screen = GetDC(nullptr);
    const HDC shownDc = CreateCompatibleDC(screen), drawnDc = CreateCompatibleDC(screen);
    void *shownBits = nullptr, *drawnBits = nullptr;
    const HBITMAP shown = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &shownBits, nullptr, 0);
    const HBITMAP drawn = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &drawnBits, nullptr, 0);
    bool warning = false;
    if (icon && shownDc && drawnDc && shown && drawn) {
        const HGDIOBJ oldShown = SelectObject(shownDc, shown), oldDrawn = SelectObject(drawnDc, drawn);
        if (BitBlt(shownDc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) &&
            BitBlt(drawnDc, 0, 0, w, h, shownDc, 0, 0, SRCCOPY) &&
            DrawIconEx(drawnDc, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL)) {
            GdiFlush();
            const int differing = Differing(static_cast<const unsigned char*>(shownBits),
                                            static_cast<const unsigned char*>(drawnBits), w * h);
            warning = differing * 20 <= w * h;  // at most 5% of the pixels
        }
        SelectObject(shownDc, oldShown);
        SelectObject(drawnDc, oldDrawn);
    }
    if (icon) DestroyIcon(icon);
    if (shown) DeleteObject(shown);
    if (drawn) DeleteObject(drawn);
    if (shownDc) DeleteDC(shownDc);
    if (drawnDc) DeleteDC(drawnDc);
    ReleaseDC(nullptr, screen);
    return warning;
}

}  // namespace kestrel::check
