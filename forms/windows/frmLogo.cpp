#include "frmLogo.h"

#include "../layout.h"
#include "../logo.h"
#include "form_window.h"

namespace kestrel::forms {

namespace {

constexpr const wchar_t* kLogoClass = L"KestrelLogo";

// Decodes the JPEG held in the program's data. The picture is decoded only
// from memory that holds the JPEG: memory that cannot be locked and written
// is a failure, never handed on.
com::Ref<IPicture> DecodeLogo(FormServices& services)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, kLogoJpegSize);
    Check(memory != nullptr, L"frmLogo: GlobalAlloc");
    void* bytes = services.LockMemory(memory);
    if (!bytes) {
        const DWORD error = GetLastError();
        GlobalFree(memory);
        RaiseRuntimeError(L"frmLogo: GlobalLock", error);
    }
    CopyMemory(bytes, kLogoJpeg, kLogoJpegSize);
    GlobalUnlock(memory);

    com::Ref<IStream> stream;
    const HRESULT created = CreateStreamOnHGlobal(memory, TRUE, stream.put());  // the stream frees the memory
    if (FAILED(created)) GlobalFree(memory);
    CheckHr(created, L"frmLogo: CreateStreamOnHGlobal");
    com::Ref<IPicture> picture;
    CheckHr(services.DecodePicture(stream.get(), LONG(kLogoJpegSize), picture.put()),
            L"frmLogo: OleLoadPicture (the logo)");
    return picture;
}

}  // namespace

frmLogo::frmLogo(HINSTANCE instance, HWND owner, FormServices& services) : picture_(DecodeLogo(services))
{
    RegisterFormClass(instance, kLogoClass, WindowProc);
    window_ = services.MakeWindow(0, kLogoClass, L"", WS_POPUP | WS_BORDER, owner, instance, this);
    Check(window_ != nullptr, L"frmLogo: CreateWindowExW");
    LoadForm(services, L"frmLogo", window_, kLogoClientWidth, kLogoClientHeight, Dpi::OfScreen(services, L"frmLogo"));
}

frmLogo::~frmLogo()
{
    if (window_) DestroyWindow(window_);
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
