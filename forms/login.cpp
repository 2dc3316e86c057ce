#include "login.h"

namespace kestrel::forms {

void LoginDialog::cmdOK_Click(LoginView& view)
{
    if (view.UserName().empty()) {
        view.ShowMessage(kUserNameMissing, kPlainMessage);
        view.FocusUserName();
        return;
    }
    if (view.Password().empty()) {
        view.ShowMessage(kPasswordMissing, kPlainMessage);
        view.FocusPassword();
        return;
    }
    view.Hide();
    bOK = kTrue;
}

void LoginDialog::cmdCancel_Click(LoginView& view)
{
    bOK = kFalse;
    view.Hide();
}

}  // namespace kestrel::forms
