// What the three forms share on Windows: twips and pixels, the screen as
// the application object hands it out, and loading a form the way every
// form loads: created hidden, its load handler run, placed, then shown.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "../form_model.h"
#include "../stored_texts.h"
#include "form_services.h"
#include "runtime_error_box.h"

namespace kestrel::forms {

// Logical pixels per inch of the screen.
struct Dpi {
    int x = 96;
    int y = 96;
    // Read from the screen; a screen that cannot be read raises the run-time
    // error of the form named `form`.
    static Dpi OfScreen(FormServices& services, const wchar_t* form);

    int ToPixelsX(float twips) const;
    int ToPixelsY(float twips) const;
    float ToTwipsX(int pixels) const { return float(pixels) * 1440.0f / float(x); }
    float ToTwipsY(int pixels) const { return float(pixels) * 1440.0f / float(y); }
};

// The application-wide object: the screen's size, taken when asked.
class WindowsApplication final : public Application {
public:
    WindowsApplication(FormServices& services, const wchar_t* form) : services_(services), form_(form) {}
    std::unique_ptr<Screen> GetScreen() override;

private:
    FormServices& services_;
    const wchar_t* form_;
};

// The text a stored code page 950 text holds; a failed decode is the run-time
// error of the form named `form`.
std::wstring Decode(FormServices& services, const StoredText& text, const wchar_t* form);

// Sizes a hidden top-level window so that its client area is the given
// twips, runs the shared load handler on it (centring on the screen), and
// moves it where the handler left Left and Top. Does not show it.
void LoadForm(FormServices& services, const wchar_t* form, HWND window, int clientWidthTwips, int clientHeightTwips,
              const Dpi& dpi);

// A control's rectangle in pixels from twips.
RECT ToPixels(int left, int top, int width, int height, const Dpi& dpi);

// Registers a form's window class: arrow cursor, the dialog colour behind.
void RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

// The form object a window belongs to: the creation parameter, stored with
// the window when it is created (WM_NCCREATE) and read back after.
template <class Form>
Form* FormOfWindow(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The hidden window that owns the forms that stay out of the task bar.
HWND HiddenOwner(HINSTANCE instance);

}  // namespace kestrel::forms
