// The login dialog as a real dialog window: dialog procedure and dialog
// window class, so that Enter, Esc, Tab and the Alt access keys work as in
// any dialog.
#pragma once

#include <windows.h>

#include <memory>

#include "../login.h"
#include "form_window.h"

namespace kestrel::forms {

// Control identifiers. cmdOK and cmdCancel are the dialog's IDOK and
// IDCANCEL, so that Enter presses the one and Esc the other.
enum LoginControlId : int {
    kIdUserName = 101,
    kIdPassword = 102,
    kIdLabel0 = 103,
    kIdLabel1 = 104,
    kIdOK = IDOK,
    kIdCancel = IDCANCEL,
};

// One loaded instance of frmLogin: its window and its bOK.
class frmLogin {
public:
    // Loads the dialog (hidden, centred), owned by `owner`. A call that
    // fails raises the run-time error.
    frmLogin(HINSTANCE instance, HWND owner, FormServices& services);
    ~frmLogin();
    frmLogin(const frmLogin&) = delete;
    frmLogin& operator=(const frmLogin&) = delete;

    // Shows the dialog and runs its messages until it hides itself or is
    // closed through its close box (which unloads it). A dialog with no
    // window raises the run-time error.
    void ShowModal();

    bool Loaded() const { return window_ != nullptr; }
    HWND window() const { return window_; }
    Flag bOK() const { return dialog_.bOK; }

private:
    class View;
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    void CreateControls();

    HWND window_ = nullptr;
    LoginDialog dialog_;
    FormServices& services_;
    Dpi dpi_;
};

// The one application-wide instance, created on its first use and again
// after it was unloaded.
class LoginInstance {
public:
    LoginInstance(HINSTANCE instance, HWND owner, FormServices& services)
        : instance_(instance), owner_(owner), services_(services)
    {
    }
    frmLogin& Get();

private:
    HINSTANCE instance_;
    HWND owner_;
    FormServices& services_;
    std::unique_ptr<frmLogin> form_;
};

}  // namespace kestrel::forms
