// The release check's negative control: a gate that does what kestrel.exe
// guards against. It loads a DLL by bare name with the default search, which
// looks in its own folder first, then shows the wrong-model box as kestrel.exe
// would for the tests' board, and ends with its status.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    LoadLibraryW(L"dwmapi.dll");
    MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"WinPhlash", MB_OK | MB_ICONWARNING);
    return 2;
}
