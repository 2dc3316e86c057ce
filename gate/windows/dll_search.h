// Where the program's DLLs come from. A program run from a folder that others
// can write to (Downloads, a USB stick, a share) must not load a DLL planted
// beside it or in the current folder.
#pragma once

#include <windows.h>

namespace kestrel {

// Restricts the DLL search for the rest of the process to System32 and takes
// the current folder out of it; to be called first thing, before COM or
// anything else loads a DLL. Both calls are looked up at run time, as older
// systems lack them (Windows XP; Vista and 7 without KB2533623), and a
// system without them goes on as before. True when the search is System32
// only.
bool RestrictDllSearch();

// Loads a system DLL by name from System32 only, or null.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A DLL's export by name, as the function type it has; null when the DLL or
// the export is not there.
template <typename Function>
Function ExportOf(HMODULE module, const char* name)
{
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace kestrel
