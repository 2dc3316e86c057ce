#include "frmLogin.h"

#include <imm.h>

#include <vector>

#include "../layout.h"
#include "../runtime_error.h"
#include "late_bound.h"
#include "wide.h"

namespace kestrel::forms {

namespace {

std::u16string TextOf(HWND control)
{
    const int length = GetWindowTextLengthW(control);
    std::wstring text(length + 1, L'\0');
    text.resize(GetWindowTextW(control, text.data(), length + 1));
    return Utf16(text);
}

// A dialog template with no controls: they are made in WM_INITDIALOG, at
// their sizes in pixels. The template's own size is replaced at load.
std::vector<WORD> EmptyDialogTemplate(DWORD style)
{
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);  // + menu, class, title
    auto* t = reinterpret_cast<DLGTEMPLATE*>(words.data());
    t->style = style;
    return words;
}

}  // namespace

class frmLogin::View final : public LoginView {
public:
    explicit View(HWND window) : window_(window) {}
    std::u16string UserName() override { return TextOf(GetDlgItem(window_, kIdUserName)); }
    std::u16string Password() override { return TextOf(GetDlgItem(window_, kIdPassword)); }
    void FocusUserName() override { Focus(kIdUserName); }
    void FocusPassword() override { Focus(kIdPassword); }
    void Hide() override { ShowWindow(window_, SW_HIDE); }
    void ShowMessage(std::u16string_view text, int style) override
    {
        MessageBoxW(window_, Wide(text).c_str(), Wide(kApplicationTitle).c_str(), static_cast<UINT>(style));
    }

private:
    void Focus(int id)
    {
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, id)), TRUE);
    }
    HWND window_;
};

frmLogin::frmLogin(HINSTANCE instance, HWND owner, FormServices& services)
    : services_(services), dpi_(Dpi::OfScreen(services, L"frmLogin"))
{
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    auto dialogTemplate = EmptyDialogTemplate(style);
    const HWND window = services.MakeDialog(instance, reinterpret_cast<DLGTEMPLATE*>(dialogTemplate.data()), owner,
                                            DialogProc, reinterpret_cast<LPARAM>(this));
    Check(window != nullptr, L"frmLogin: CreateDialogIndirectParamW");
}

frmLogin::~frmLogin()
{
    if (window_) DestroyWindow(window_);
}

void frmLogin::CreateControls()
{
    SetWindowTextW(window_, Decode(services_, kLoginCaption, L"frmLogin").c_str());
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));

    struct ControlDef {
        const wchar_t* windowClass;
        std::wstring text;
        DWORD style;
        DWORD exStyle;
        int id;
    };
    const auto define = [this](LoginControl control) -> ControlDef {
        switch (control) {
        case LoginControl::txtUserName:
            return {L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kIdUserName};
        case LoginControl::cmdOK:
            return {L"BUTTON", Decode(services_, kOkCaption, L"frmLogin"), WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kIdOK};
        case LoginControl::cmdCancel:
            return {L"BUTTON", Decode(services_, kCancelCaption, L"frmLogin"), WS_TABSTOP | BS_PUSHBUTTON, 0,
                    kIdCancel};
        case LoginControl::txtPassword:
            return {L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE, kIdPassword};
        case LoginControl::lblLabels0:
            return {L"STATIC", Decode(services_, kUserNameLabel, L"frmLogin"), SS_LEFT, 0, kIdLabel0};
        case LoginControl::lblLabels1:
            return {L"STATIC", Decode(services_, kPasswordLabel, L"frmLogin"), SS_LEFT, 0, kIdLabel1};
        }
        return {};
    };

    // Created in the form's order; the tab order is the z-order, set after.
    HWND byTabIndex[kLoginControls.size()] = {};
    for (const auto& layout : kLoginControls) {
        const ControlDef s = define(layout.control);
        const RECT r = ToPixels(layout.rect.Left, layout.rect.Top, layout.rect.Width, layout.rect.Height, dpi_);
        HWND control = CreateWindowExW(s.exStyle, s.windowClass, s.text.c_str(), WS_CHILD | WS_VISIBLE | s.style,
                                       r.left, r.top, r.right - r.left, r.bottom - r.top, window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.id)), instance, nullptr);
        Check(control != nullptr, L"frmLogin: CreateWindowExW (a control)");
        SendMessageW(control, WM_SETFONT, font, FALSE);
        byTabIndex[layout.tabIndex] = control;
    }
    for (HWND control : byTabIndex)
        SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    HWND password = GetDlgItem(window_, kIdPassword);
    SendMessageW(password, EM_SETPASSWORDCHAR, L'*', 0);
    // No input method in the password box. IMM32 is loaded here, from
    // System32, and not imported: the gate never opens a form, and a static
    // import would be resolved before the program can restrict the search.
    const auto associate = LateBound(kImmAssociateContext);
    Check(associate != nullptr, L"frmLogin: LoadLibraryExW (imm32.dll)");
    associate(password, nullptr);
}

INT_PTR CALLBACK frmLogin::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<frmLogin*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        self = reinterpret_cast<frmLogin*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->CreateControls();
        LoadForm(self->services_, L"frmLogin", window, kLoginClientWidth, kLoginClientHeight, self->dpi_);
        // No focus yet: giving it now would activate the dialog while it is
        // hidden, and it would show with an inactive caption. Show sets it.
        return FALSE;
    case WM_COMMAND:
        if (!self || HIWORD(wParam) != BN_CLICKED) break;
        if (LOWORD(wParam) == kIdOK) {
            View view(window);
            self->dialog_.cmdOK_Click(view);
            return TRUE;
        }
        if (LOWORD(wParam) == kIdCancel) {
            View view(window);
            self->dialog_.cmdCancel_Click(view);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // The close box: none of the dialog's code runs; the form unloads.
        DestroyWindow(window);
        return TRUE;
    case WM_NCDESTROY:
        if (self) self->window_ = nullptr;
        break;
    }
    return FALSE;
}

void frmLogin::ShowModal()
{
    Check(window_ != nullptr, L"frmLogin.Show (the dialog has no window)");
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    // The first box in the tab order has the focus when the dialog shows.
    View(window_).FocusUserName();
    MSG msg;
    while (window_ && IsWindowVisible(window_) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

frmLogin& LoginInstance::Get()
{
    if (!form_ || !form_->Loaded()) form_ = std::make_unique<frmLogin>(instance_, owner_, services_);
    return *form_;
}

}  // namespace kestrel::forms
