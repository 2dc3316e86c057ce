// The control for the planted-DLL test: loads a DLL by its bare name with
// the default search, as a program that does not restrict it would.
//   loadbare NAME
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 64;
    const HMODULE module = LoadLibraryW(argv[1]);
    if (!module) return 1;
    FreeLibrary(module);
    return 0;
}
