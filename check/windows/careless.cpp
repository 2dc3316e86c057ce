// The control of the planted-DLL check: a careless gate that loads a DLL by
// its bare name with the default search, which looks in its own folder
// first, as a program that does not restrict it would. A window program, as
// a gate is: it starts without a console of its own.
//   careless NAME
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR name, int)
{
    if (!name || !*name) return 64;
    const HMODULE module = LoadLibraryW(name);
    if (!module) return 1;
    FreeLibrary(module);
    return 0;
}
