// Opening the program's forms as the program would: each loaded (its load
// handler run), shown, and its messages run until it is done with.
#pragma once

#include <windows.h>

#include <string_view>

#include "../login.h"
#include "form_services.h"

namespace kestrel::forms {

enum class FormName { Logo, Login, Main };

// From "logo", "login" or "main"; false for any other name.
bool ParseFormName(std::wstring_view text, FormName& name);

// Loads and shows the form, then runs messages until it is closed or, for
// the login dialog, hidden. Returns the login dialog's bOK as the
// application-wide instance holds it then (False for the other forms, and
// for a dialog closed through its close box, which unloads it). COM must be
// initialised on the calling thread. `onMainLoaded`, when given, sees the
// main form once it is loaded. The forms' calls go through `services`; a call
// that fails raises the run-time error, which ends the program.
class frmMain;
Flag OpenForm(FormName name, HINSTANCE instance, FormServices& services,
              void (*onMainLoaded)(const frmMain&) = nullptr);
// The same with the system's own calls.
Flag OpenFormWithSystemServices(FormName name, HINSTANCE instance, void (*onMainLoaded)(const frmMain&));

}  // namespace kestrel::forms

// The forms are part of kestrel.exe though its start-up routine opens none
// of them; the link keeps them through this reference.
extern "C" kestrel::forms::Flag (*const kestrel_open_form)(kestrel::forms::FormName, HINSTANCE,
                                                           void (*)(const kestrel::forms::frmMain&));
