// formsdemo: opens one of kestrel's forms, as the program would load and
// show it, and runs until it is closed. A developer's tool; not shipped.
//   formsdemo logo|login|main
// For the login dialog it prints bOK=-1 or bOK=0 when the dialog is done.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "forms_app.h"

int wmain(int argc, wchar_t** argv)
{
    kestrel::forms::FormName name;
    if (argc != 2 || !kestrel::forms::ParseFormName(argv[1], name)) {
        std::fprintf(stderr, "usage: formsdemo logo|login|main\n");
        return 64;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const auto bOK = kestrel::forms::OpenForm(name, GetModuleHandleW(nullptr));
    if (name == kestrel::forms::FormName::Login) {
        std::printf("bOK=%d\n", bOK);
        std::fflush(stdout);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
