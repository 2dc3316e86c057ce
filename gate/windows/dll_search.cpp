#include "dll_search.h"

#include <cwchar>

#include "late_bound.h"

namespace kestrel {

namespace {

// The DLLs that Windows loads by bare name, at run time, on kestrel's roads
// (the message box, COM and the management objects, the shell on the
// elevation road). Where the search is not System32 only, each of them is
// loaded first by its full System32 path. A name that the system does not
// have is skipped. Where each name comes from:
//  - the loader trace of kestrel.exe under Wine (WINEDEBUG=+loaddll,+relay
//    on the launch, wrong-model and privilege roads): user32 loads uxtheme
//    by bare name for the first window; version is loaded on every road;
//    dwmapi, cryptbase, msctf and wbemcomn are names Wine's loader looks for
//    beside the program;
//  - the start-up code of the NSIS installer (Source/exehead/Main.c), which
//    preloads for the same reason, with the road that pulls each one in:
//    uxtheme (Vista: OleInitialize creates a window), dwmapi (7 without
//    KB2533623: uxtheme), cryptbase (7 without KB2533623: RPCRT4.UuidCreate,
//    under COM), clbcatq (XP SP2/SP3: ole32's COM catalog), ntmarta (7
//    without KB2533623: ADVAPI32's ACL functions), version, and for the
//    shell's roads userenv, setupapi, apphelp, propsys and oleacc;
//  - the start-up code of Inno Setup (SafeDLLPath.pas) and of WiX's
//    bootstrapper, which preload comres ("required by CLSIDFromProgID()
//    when loading clbcatq.dll": the management objects' moniker is such a
//    ProgID) and profapi (7 SP1: "oleaut32.dll -> ole32.dll -> crypt32.dll
//    -> profapi.dll").
// Names that are KnownDLLs on every version (kernel32, user32, gdi32, ole32,
// oleaut32, advapi32, rpcrt4, shell32, ...) are always mapped from System32
// and need no preload.
constexpr const wchar_t* kPreloaded[] = {
    L"uxtheme.dll",  L"dwmapi.dll",  L"cryptbase.dll", L"msctf.dll",   L"version.dll",
    L"wbemcomn.dll", L"clbcatq.dll", L"ntmarta.dll",   L"userenv.dll", L"setupapi.dll",
    L"apphelp.dll",  L"propsys.dll", L"oleacc.dll",    L"comres.dll",  L"profapi.dll",
};

// System32\name into `path`; false when it does not fit.
bool SystemPath(const wchar_t* name, wchar_t (&path)[MAX_PATH])
{
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    const size_t length = std::wcslen(name);
    if (n + 1 + length >= MAX_PATH) return false;
    path[n] = L'\\';
    std::wmemcpy(path + n + 1, name, length + 1);
    return true;
}

// By full path; the DLL's own imports are then looked for beside it, in
// System32, not beside this program (LOAD_WITH_ALTERED_SEARCH_PATH).
HMODULE LoadByFullPath(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    if (!SystemPath(name, path)) return nullptr;
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

WindowsVersion RunningWindowsVersion()
{
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (const auto rtlGetVersion = LateBound(kRtlGetVersion)) {
        if (rtlGetVersion(&info) == 0) return {info.dwMajorVersion, info.dwMinorVersion};
    }
    if (GetVersionExW(&info)) return {info.dwMajorVersion, info.dwMinorVersion};
    return {};
}

bool System32OnlySearchSafeOn(WindowsVersion version) { return !(version.major == 6 && version.minor == 0); }

bool RestrictDllSearch()
{
    bool system32Only = false;
    if (System32OnlySearchSafeOn(RunningWindowsVersion())) {
        if (const auto setDefault = LateBound(kSetDefaultDllDirectories))
            system32Only = setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    }
    if (const auto setDirectory = LateBound(kSetDllDirectoryW)) setDirectory(L"");
    if (!system32Only) {
        // Loaded for the rest of the process, never freed.
        for (const wchar_t* name : kPreloaded) LoadByFullPath(name);
    }
    return system32Only;
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    // The flag only where the system knows it (Windows 8; 7 and Vista with
    // KB2533623): "To determine whether the flags are available, use
    // GetProcAddress to get the address of the AddDllDirectory ...
    // function" (LoadLibraryEx, Microsoft Learn). Elsewhere by full path.
    if (LateBound(kAddDllDirectory)) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadByFullPath(name);
}

}  // namespace kestrel
