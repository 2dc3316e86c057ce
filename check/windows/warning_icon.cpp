#include "warning_icon.h"

#include <memory>
#include <type_traits>
#include <vector>

#include "../clear_place.h"

namespace kestrel::check {

namespace {

struct GdiDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using Gdi = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDeleter>;
struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using Dc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using Icon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

HICON IconOf(HWND control)
{
    DWORD_PTR icon = 0;
    if (!SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kAskTimeoutMs, &icon)) return nullptr;
    return reinterpret_cast<HICON>(icon);
}

bool IsStaticIcon(HWND control)
{
    wchar_t name[16] = {};
    if (!IsWindowVisible(control) || !GetClassNameW(control, name, 16) || _wcsicmp(name, L"Static") != 0) return false;
    return (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IconOf(control);
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

// A w×h 32-bit image in a memory DC, its pixels at `bits`.
struct Canvas {
    Dc dc;
    Gdi bitmap;
    void* bits = nullptr;
    HGDIOBJ old = nullptr;

    Canvas(HDC like, int w, int h) : dc(CreateCompatibleDC(like))
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap.reset(CreateDIBSection(like, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (dc && bitmap) old = SelectObject(dc.get(), bitmap.get());
    }
    ~Canvas()
    {
        if (old) SelectObject(dc.get(), old);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool made() const { return old != nullptr; }
    const unsigned char* pixels() const { return static_cast<const unsigned char*>(bits); }
};

// The icon's own size, from the bitmaps its handle holds: "Handles to user
// objects are public to all processes" (User Objects, Microsoft Learn), and
// an icon is one. Wine keeps an icon in the process that made it and answers
// no other: false there.
bool SizeOfIcon(HICON icon, int& w, int& h)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return false;
    const Gdi color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap = {};
    if (color ? !GetObjectW(color.get(), sizeof bitmap, &bitmap) : !GetObjectW(mask.get(), sizeof bitmap, &bitmap))
        return false;
    w = bitmap.bmWidth;
    h = color ? bitmap.bmHeight : bitmap.bmHeight / 2;  // a monochrome icon's mask holds both halves
    return w > 0 && h > 0 && w <= 256 && h <= 256;
}

// Whether `shown`, drawn over white, looks as the warning icon does.
bool LooksLikeWarning(const Canvas& shown, HDC screen, int w, int h)
{
    const Icon warning(
        static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32515), IMAGE_ICON, w, h, 0)));  // OIC_WARNING
    Canvas drawn(screen, w, h);
    if (!warning || !drawn.made() || !BitBlt(drawn.dc.get(), 0, 0, w, h, shown.dc.get(), 0, 0, SRCCOPY) ||
        !DrawIconEx(drawn.dc.get(), 0, 0, warning.get(), w, h, 0, nullptr, DI_NORMAL))
        return false;
    GdiFlush();
    return Differing(shown.pixels(), drawn.pixels(), w * h) * 20 <= w * h;  // at most 5% of the pixels
}

}  // namespace

HWND IconControlOf(HWND box)
{
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsStaticIcon(c)) return c;
    return nullptr;
}

namespace {

struct Covers {
    DWORD pid;
    std::vector<Area> areas;
};

BOOL CALLBACK CollectCover(HWND window, LPARAM param)
{
    auto* covers = reinterpret_cast<Covers*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    RECT r = {};
    if (owner != covers->pid && IsWindowVisible(window) && !IsIconic(window) && GetWindowRect(window, &r))
        covers->areas.push_back({r.left, r.top, r.right, r.bottom});
    return TRUE;
}

}  // namespace

bool MoveIconClear(HWND box)
{
    const HWND control = IconControlOf(box);
    int w = 0, h = 0;
    RECT icon = {}, frame = {};
    if (!control || SizeOfIcon(IconOf(control), w, h) || !GetWindowRect(control, &icon) || !GetWindowRect(box, &frame))
        return false;
    Covers covers{0, {}};
    GetWindowThreadProcessId(box, &covers.pid);
    EnumWindows(CollectCover, reinterpret_cast<LPARAM>(&covers));
    const auto place =
        ClearPlace({icon.left, icon.top, icon.right, icon.bottom}, {frame.left, frame.top, frame.right, frame.bottom},
                   covers.areas, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    // Asynchronous, as the box's thread may be stopped at a debug event.
    return place && SetWindowPos(box, nullptr, int(place->x), int(place->y), 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

void RaiseBox(HWND box)
{
    SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

bool ShowsWarningIcon(HWND box)
{
    const HWND control = IconControlOf(box);
    if (!control) return false;
    const HDC screen = GetDC(nullptr);
    if (!screen) return false;
    bool warning = false;
    int w = 0, h = 0;
    const HICON icon = IconOf(control);
    if (SizeOfIcon(icon, w, h)) {
        // The box's own icon, drawn here over white.
        Canvas shown(screen, w, h);
        const RECT all = {0, 0, w, h};
        warning = shown.made() && FillRect(shown.dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))) &&
                  DrawIconEx(shown.dc.get(), 0, 0, icon, w, h, 0, nullptr, DI_NORMAL) &&
                  LooksLikeWarning(shown, screen, w, h);
    } else if (RECT r = {}; GetWindowRect(control, &r)) {
        // Wine: the control as the screen shows it, the box raised above
        // every other window when it was first seen.
        w = r.right - r.left;
        h = r.bottom - r.top;
        Canvas shown(screen, w, h);
        warning = w > 0 && h > 0 && w <= 256 && h <= 256 && shown.made() &&
                  BitBlt(shown.dc.get(), 0, 0, w, h, screen, r.left, r.top, SRCCOPY) &&
                  LooksLikeWarning(shown, screen, w, h);
    }
    ReleaseDC(nullptr, screen);
    return warning;
}

}  // namespace kestrel::check
