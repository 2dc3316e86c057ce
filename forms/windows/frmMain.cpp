#include "frmMain.h"

#include "../layout.h"
#include "form_window.h"

namespace kestrel::forms {

namespace {

constexpr const wchar_t* kClass = L"KestrelMain";

}  // namespace

frmMain::frmMain(HINSTANCE instance)
{
    RegisterFormClass(instance, kClass, WindowProc);
    window_ = CreateWindowExW(WS_EX_APPWINDOW, kClass, Decode(kMainCaption).c_str(), WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
    if (!window_) return;

    const Dpi dpi = Dpi::OfScreen();
    const RECT r = ToPixels(kText1.Left, kText1.Top, kText1.Width, kText1.Height, dpi);
    HWND text = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
                                    ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                                r.left, r.top, r.right - r.left, r.bottom - r.top, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdText1)), instance, nullptr);
    const std::wstring face = Decode(kMainFontName);
    font_ = CreateFontW(-MulDiv(kText1FontPoints, dpi.y, 72), 0, 0, 0, kText1FontWeight, FALSE, FALSE, FALSE,
                        kChineseBig5Charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SetWindowTextW(text, Decode(kMainParagraph).c_str());

    LoadForm(window_, kMainClientWidth, kMainClientHeight, dpi);
}

LOGFONTW frmMain::Text1Font() const
{
    LOGFONTW font = {};
    const HWND text = GetDlgItem(window_, kIdText1);
    const auto handle = reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0));
    if (handle) GetObjectW(handle, sizeof font, &font);
    return font;
}

frmMain::~frmMain()
{
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
}

LRESULT CALLBACK frmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = FormOfWindow<frmMain>(window, message, lParam);
    if (message == WM_NCDESTROY && self) self->window_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrel::forms
