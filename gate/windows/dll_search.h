// Where the program's DLLs come from. A program run from a folder that others
// can write to (Downloads, a USB stick, a share) must not load a DLL planted
// beside it or in the current folder.
#pragma once

#include <windows.h>

namespace kestrel {

// The running system's version as the kernel reports it.
struct WindowsVersion {
    DWORD major = 0;
    DWORD minor = 0;
};

// Read through ntdll's RtlGetVersion, which no compatibility shim changes;
// GetVersionExW where it is missing. kestrel.exe's manifest names every
// Windows from Vista to 11, so GetVersionExW answers the version that runs
// too (a program that names none is told 6.2 on Windows 8.1 and later).
WindowsVersion RunningWindowsVersion();

// Whether the process-wide System32-only search may be asked for on this
// version. Not on Windows Vista / Server 2008 (6.0): with KB2533623 the call
// exists there, but in-process COM servers then fail to load, and the
// management objects are one.
bool System32OnlySearchSafeOn(WindowsVersion version);

// Restricts the DLL search for the rest of the process; to be called first
// thing, before COM or anything else loads a DLL:
//  - the current folder is taken out of the search (SetDllDirectoryW(L""));
//  - where it is safe and the call exists (Windows 8 and later; 7 with
//    KB2533623), the search becomes System32 only;
//  - where it does not, the DLLs that the system loads by bare name on the
//    program's roads are loaded now, each by its full System32 path, so that
//    a later load by bare name finds them loaded and never looks beside the
//    program.
// Both calls are looked up at run time, as older systems lack them. True
// when the search is System32 only.
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
