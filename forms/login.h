// The login dialog's logic: it insists that neither box is empty, then hides
// itself, leaving bOK for whoever showed it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::forms {

// Boolean flags are 16-bit: True is -1, False is 0.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

inline constexpr std::u16string_view kUserNameMissing = u"請輸入使用者名稱!";
inline constexpr std::u16string_view kPasswordMissing = u"請輸入密碼!";
inline constexpr int kPlainMessage = 0;  // OK button, no icon

// What the dialog's handlers do to the dialog on screen.
class LoginView {
public:
    virtual ~LoginView() = default;
    virtual std::u16string UserName() = 0;
    virtual std::u16string Password() = 0;
    virtual void FocusUserName() = 0;
    virtual void FocusPassword() = 0;
    virtual void Hide() = 0;
    // A modal message box with the application's title as its caption.
    virtual void ShowMessage(std::u16string_view text, int style) = 0;
};

// One instance of the dialog; a new one starts with bOK False.
struct LoginDialog {
    Flag bOK = kFalse;

    // cmdOK (also Enter): an empty name, then an empty password, is refused
    // with its message and the focus in its box; otherwise hide, then True.
    void cmdOK_Click(LoginView& view);
    // cmdCancel (also Esc): False, then hide.
    void cmdCancel_Click(LoginView& view);
};

}  // namespace kestrel::forms
