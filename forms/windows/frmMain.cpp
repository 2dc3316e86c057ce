#include "frmMain.h"

#include "../layout.h"
#include "form_window.h"

namespace kestrel::forms {

namespace {

constexpr const wchar_t* kMainClass = L"KestrelMain";

}  // namespace

frmMain::frmMain(HINSTANCE instance, FormServices& services)
{
    RegisterFormClass(instance, kMainClass, WindowProc);
    window_ = services.MakeWindow(WS_EX_APPWINDOW, kMainClass, Decode(services, kMainCaption, L"frmMain").c_str(),
                                  WS_OVERLAPPEDWINDOW, nullptr, instance, this);
    Check(window_ != nullptr, L"frmMain: CreateWindowExW");

    const Dpi dpi = Dpi::OfScreen(services, L"frmMain");
    const RECT r = ToPixels(kText1.Left, kText1.Top, kText1.Width, kText1.Height, dpi);
    HWND text = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
                                    ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                                r.left, r.top, r.right - r.left, r.bottom - r.top, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdText1)), instance, nullptr);
    Check(text != nullptr, L"frmMain: CreateWindowExW (Text1)");
    focus_ = text;
    const std::wstring face = Decode(services, kMainFontName, L"frmMain");
    font_ = CreateFontW(-MulDiv(kText1FontPoints, dpi.y, 72), 0, 0, 0, kText1FontWeight, FALSE, FALSE, FALSE,
                        kChineseBig5Charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    Check(font_ != nullptr, L"frmMain: CreateFontW");
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SetWindowTextW(text, Decode(services, kMainParagraph, L"frmMain").c_str());

    LoadForm(services, L"frmMain", window_, kMainClientWidth, kMainClientHeight, dpi);
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
    switch (message) {
    case WM_ACTIVATE:
        if (!self) break;
        // The focus goes where it was when the form was last active: Text1,
        // its first and only control, the first time.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(window, focus)) self->focus_ = focus;
        } else if (!HIWORD(wParam)) {  // not minimised
            SetFocus(self->focus_ && IsWindow(self->focus_) ? self->focus_ : GetDlgItem(window, kIdText1));
        }
        return 0;
    case WM_SETFOCUS:
        // The form itself never keeps the focus; it hands it on.
        if (self && self->focus_ && IsWindow(self->focus_)) SetFocus(self->focus_);
        return 0;
    case WM_NCDESTROY:
        if (self) self->window_ = nullptr;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrel::forms
