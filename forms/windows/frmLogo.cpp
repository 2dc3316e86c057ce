#include "frmLogo.h"

#include "../layout.h"
#include "../logo.h"
#include "form_window.h"

namespace kestrel::forms {

namespace {

constexpr const wchar_t* kClass = L"KestrelLogo";

// Decodes the JPEG held in the program's data.
IPicture* DecodeLogo()
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, kLogoJpegSize);
    if (!memory) return nullptr;
    if (void* p = GlobalLock(memory)) {
        CopyMemory(p, kLogoJpeg, kLogoJpegSize);
        GlobalUnlock(memory);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    IPicture* picture = nullptr;
    if (FAILED(OleLoadPicture(stream, LONG(kLogoJpegSize), FALSE, IID_IPicture, reinterpret_cast<void**>(&picture))))
        picture = nullptr;
    stream->Release();
    return picture;
}

}  // namespace

frmLogo::frmLogo(HINSTANCE instance, HWND owner) : picture_(DecodeLogo())
{
    RegisterFormClass(instance, kClass, WindowProc);
    window_ = CreateWindowExW(0, kClass, L"", WS_POPUP | WS_BORDER, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, owner, nullptr,
                              instance, this);
    if (window_) LoadForm(window_, kLogoClientWidth, kLogoClientHeight, Dpi::OfScreen());
}

frmLogo::~frmLogo()
{
    if (window_) DestroyWindow(window_);
    if (picture_) picture_->Release();
}

void frmLogo::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (picture_) {
        // Drawn at its own size in pixels from the top-left corner.
        OLE_XSIZE_HIMETRIC width = 0;
        OLE_YSIZE_HIMETRIC height = 0;
        picture_->get_Width(&width);
        picture_->get_Height(&height);
        const int cx = MulDiv(width, GetDeviceCaps(dc, LOGPIXELSX), 2540);
        const int cy = MulDiv(height, GetDeviceCaps(dc, LOGPIXELSY), 2540);
        picture_->Render(dc, 0, 0, cx, cy, 0, height, width, -height, nullptr);
    }
    EndPaint(window_, &ps);
}

LRESULT CALLBACK frmLogo::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = FormOfWindow<frmLogo>(window, message, lParam);
    switch (message) {
    case WM_PAINT:
        if (self) {
            self->Paint();
            return 0;
        }
        break;
    case WM_NCDESTROY:
        if (self) self->window_ = nullptr;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrel::forms
