// The release check's negative controls: gates that do what kestrel.exe
// guards against, then show the wrong-model box as kestrel.exe would for the
// tests' board, and end with its status. Built once for each fault:
//  - BADGATE_LOAD: loads a DLL by bare name with the default search, which
//    looks in its own folder first;
//  - BADGATE_MAP_ONLY: maps that DLL without running its code
//    (DONT_RESOLVE_DLL_REFERENCES), as a dependency whose imports cannot be
//    bound is mapped and then dropped;
//  - BADGATE_ERROR_ICON: loads nothing, but its box has the error icon.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    UINT icon = MB_ICONWARNING;
#if defined(BADGATE_LOAD)
    LoadLibraryW(L"dwmapi.dll");
#elif defined(BADGATE_MAP_ONLY)
    LoadLibraryExW(L"dwmapi.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
#elif defined(BADGATE_ERROR_ICON)
    icon = MB_ICONERROR;
#endif
    MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"WinPhlash", MB_OK | icon);
    return 2;
}
