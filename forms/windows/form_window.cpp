#include "form_window.h"

#include "../centring.h"
#include "../runtime_error.h"
#include "wide.h"

namespace kestrel::forms {

namespace {

class WindowsScreen final : public Screen {
public:
    explicit WindowsScreen(const Dpi& dpi) : dpi_(dpi) {}
    float Width() const override { return dpi_.ToTwipsX(GetSystemMetrics(SM_CXSCREEN)); }
    float Height() const override { return dpi_.ToTwipsY(GetSystemMetrics(SM_CYSCREEN)); }

private:
    Dpi dpi_;
};

}  // namespace

Dpi Dpi::OfScreen(FormServices& services, const wchar_t* form)
{
    const HDC screen = services.ScreenDc();
    Check(screen != nullptr, form, L"GetDC (the screen)");
    Dpi dpi;
    dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    Check(dpi.x > 0 && dpi.y > 0, form, L"GetDeviceCaps (the screen's dots per inch)");
    return dpi;
}

namespace {

// To the nearest pixel, halves away from zero as lround rounds. Computed in
// double, where twips times dots per inch is exact and a half pixel stays
// one, and without the C library's lroundf (and its errno) in kestrel.exe.
int Pixels(float twips, int dotsPerInch)
{
    const double pixels = double(twips) * dotsPerInch / 1440.0;
    return int(pixels < 0 ? pixels - 0.5 : pixels + 0.5);
}

}  // namespace

int Dpi::ToPixelsX(float twips) const { return Pixels(twips, x); }
int Dpi::ToPixelsY(float twips) const { return Pixels(twips, y); }

std::unique_ptr<Screen> WindowsApplication::GetScreen()
{
    return std::make_unique<WindowsScreen>(Dpi::OfScreen(services_, form_));
}

std::wstring Decode(FormServices& services, const StoredText& text, const wchar_t* form)
{
    const int size = static_cast<int>(text.size);
    if (size == 0) return {};
    // Fails where the code page is not installed: a run-time error, never an
    // empty caption.
    constexpr const wchar_t* kWhat = L"MultiByteToWideChar (code page 950)";
    const int n = services.DecodeText(kStoredCodePage, text.bytes, size, nullptr, 0);
    Check(n > 0, form, kWhat);
    std::wstring out(n, L'\0');
    Check(services.DecodeText(kStoredCodePage, text.bytes, size, out.data(), n) == n, form, kWhat);
    return out;
}

RECT ToPixels(int left, int top, int width, int height, const Dpi& dpi)
{
    const int x = dpi.ToPixelsX(float(left)), y = dpi.ToPixelsY(float(top));
    return {x, y, x + dpi.ToPixelsX(float(width)), y + dpi.ToPixelsY(float(height))};
}

void LoadForm(FormServices& services, const wchar_t* formName, HWND window, int clientWidthTwips, int clientHeightTwips,
              const Dpi& dpi)
{
    // Outer size: the client area plus the frame the window's styles give.
    RECT outer = {0, 0, dpi.ToPixelsX(float(clientWidthTwips)), dpi.ToPixelsY(float(clientHeightTwips))};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);

    FormRect rect;
    rect.Width = dpi.ToTwipsX(outer.right - outer.left);
    rect.Height = dpi.ToTwipsY(outer.bottom - outer.top);
    RECT now = {};
    GetWindowRect(window, &now);
    rect.Left = dpi.ToTwipsX(now.left);
    rect.Top = dpi.ToTwipsY(now.top);

    RectForm form(rect);
    WindowsApplication application(services, formName);
    CentreOnLoad(form, application);

    SetWindowPos(window, nullptr, dpi.ToPixelsX(rect.Left), dpi.ToPixelsY(rect.Top), outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

HWND HiddenOwner(HINSTANCE instance)
{
    constexpr const wchar_t* kClass = L"KestrelOwner";
    RegisterFormClass(instance, kClass, DefWindowProcW);
    return CreateWindowExW(0, kClass, Wide(kApplicationTitle).c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                           nullptr);
}

}  // namespace kestrel::forms
