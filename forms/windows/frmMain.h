// The main form: a plain resizable window whose only content is Text1, an
// explanatory paragraph.
#pragma once

#include <windows.h>

#include "form_services.h"

namespace kestrel::forms {

inline constexpr int kIdText1 = 201;

class frmMain {
public:
    // Loads the form (hidden, centred); it is in the task bar. A call that
    // fails raises the run-time error.
    frmMain(HINSTANCE instance, FormServices& services);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    HWND window() const { return window_; }
    bool Loaded() const { return window_ != nullptr; }
    void Show() { ShowWindow(window_, SW_SHOWNORMAL); }
    // The font Text1 has, as its window reports it.
    LOGFONTW Text1Font() const;

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HWND focus_ = nullptr;  // the control to give the focus back to on activation
};

}  // namespace kestrel::forms
