// The three forms' layouts, in twips: client areas and controls.
#pragma once

#include <array>

namespace kestrel::forms {

struct TwipRect {
    int Left, Top, Width, Height;
};

// frmLogin: client area 4455 x 1650.
inline constexpr int kLoginClientWidth = 4455;
inline constexpr int kLoginClientHeight = 1650;

enum class LoginControl { txtUserName, cmdOK, cmdCancel, txtPassword, lblLabels0, lblLabels1 };

struct LoginControlLayout {
    LoginControl control;
    TwipRect rect;
    int tabIndex;
};

// In the order the form creates them.
inline constexpr std::array<LoginControlLayout, 6> kLoginControls = {{
    {LoginControl::txtUserName, {1800, 135, 2325, 345}, 1},
    {LoginControl::cmdOK, {1560, 1080, 1020, 390}, 4},
    {LoginControl::cmdCancel, {3120, 1080, 1020, 390}, 5},
    {LoginControl::txtPassword, {1800, 525, 2325, 345}, 3},
    {LoginControl::lblLabels0, {120, 120, 1560, 315}, 0},
    {LoginControl::lblLabels1, {120, 600, 1080, 270}, 2},
}};

// frmLogo: client area 3405 x 2760 (the picture's 227 x 184 pixels).
inline constexpr int kLogoClientWidth = 3405;
inline constexpr int kLogoClientHeight = 2760;

// frmMain: client area 5280 x 3240, with Text1 and its 12-point font.
inline constexpr int kMainClientWidth = 5280;
inline constexpr int kMainClientHeight = 3240;
inline constexpr TwipRect kText1 = {120, 120, 5055, 3015};
inline constexpr int kText1FontPoints = 12;
inline constexpr int kText1FontWeight = 400;

}  // namespace kestrel::forms
