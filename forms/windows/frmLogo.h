// The logo panel: a thin frame around the logo picture, no title bar.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "com.h"
#include "form_services.h"

namespace kestrel::forms {

class frmLogo {
public:
    // Loads the form (hidden, centred), owned by `owner`; COM must be
    // initialised, as the picture is decoded by OLE. A call that fails,
    // the decoding of the picture among them, raises the run-time error.
    frmLogo(HINSTANCE instance, HWND owner, FormServices& services);
    ~frmLogo();
    frmLogo(const frmLogo&) = delete;
    frmLogo& operator=(const frmLogo&) = delete;

    HWND window() const { return window_; }
    void Show() { ShowWindow(window_, SW_SHOWNORMAL); }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void Paint();

    HWND window_ = nullptr;
    com::Ref<IPicture> picture_;
};

}  // namespace kestrel::forms
