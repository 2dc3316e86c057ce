#include "forms_app.h"

#include "frmLogin.h"
#include "frmLogo.h"
#include "frmMain.h"

namespace kestrel::forms {

namespace {

// Runs messages until `window` is gone.
void RunUntilClosed(HWND window)
{
    MSG msg;
    while (IsWindow(window) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

bool ParseFormName(std::wstring_view text, FormName& name)
{
    if (text == L"logo") name = FormName::Logo;
    else if (text == L"login") name = FormName::Login;
    else if (text == L"main") name = FormName::Main;
    else return false;
    return true;
}

Flag OpenFormWithSystemServices(FormName name, HINSTANCE instance, void (*onMainLoaded)(const frmMain&))
{
    FormServices services;
    return OpenForm(name, instance, services, onMainLoaded);
}

Flag OpenForm(FormName name, HINSTANCE instance, FormServices& services, void (*onMainLoaded)(const frmMain&))
{
    switch (name) {
    case FormName::Logo: {
        const HWND owner = HiddenOwner(instance);
        frmLogo logo(instance, owner, services);
        logo.Show();
        RunUntilClosed(logo.window());
        DestroyWindow(owner);
        return kFalse;
    }
    case FormName::Login: {
        const HWND owner = HiddenOwner(instance);
        LoginInstance login(instance, owner, services);
        login.Get().ShowModal();
        const Flag result = login.Get().bOK();
        DestroyWindow(owner);
        return result;
    }
    case FormName::Main: {
        frmMain main(instance, services);
        if (onMainLoaded) onMainLoaded(main);
        main.Show();
        RunUntilClosed(main.window());
        return kFalse;
    }
    }
    return kFalse;
}

}  // namespace kestrel::forms

extern "C" kestrel::forms::Flag (*const kestrel_open_form)(kestrel::forms::FormName, HINSTANCE,
                                                           void (*)(const kestrel::forms::frmMain&)) =
    &kestrel::forms::OpenFormWithSystemServices;
