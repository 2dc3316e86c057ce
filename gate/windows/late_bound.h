// Every function that kestrel.exe looks up at run time, in one table, and the
// one way to them (LateBound); tests/layers.sh fails a lookup elsewhere in
// gate/, fleet/ or forms/ (kestrel-check.exe, a tool for the lab, makes its
// own in check/windows). Each entry names its DLL, its export and its type,
// the one the Windows headers declare (tests/windows/late_bound_test.cpp),
// and says why it is not a static import:
//  - XP: newer than Windows XP, whose loader would refuse a program that
//    imports it (tests/windows/xp_imports.txt lists every import, each
//    documented for XP);
//  - late: its DLL must not load before the program has restricted the DLL
//    search, nor on a road that does not need it: it is loaded then, from
//    System32 only (LoadSystemLibrary), and kept for the rest of the process;
//  - ntdll: the native layer, which no compatibility shim changes and no
//    import library of the Win32 API carries; every process has it loaded.
#pragma once

#include <windows.h>
#include <accctrl.h>
#include <imm.h>
#include <shellapi.h>
#include <winternl.h>
#include <wtsapi32.h>

#include "dll_search.h"

namespace kestrel {

// Where an entry's DLL comes from.
enum class LateDll : unsigned char {
    Loaded,    // loaded in every process (ntdll, kernel32): GetModuleHandleW
    System32,  // loaded when first asked for, from System32 only
};

template <typename Function>
struct LateFunction {
    const wchar_t* dll;
    LateDll from;
    const char* name;
};

// The table. Not inline: each file that uses an entry has its own constant,
// and none is left for the link to drop (see update_gate.h).
// ntdll: the version as the kernel tells it.
constexpr LateFunction<NTSTATUS(NTAPI*)(PRTL_OSVERSIONINFOW)> kRtlGetVersion{L"ntdll.dll", LateDll::Loaded,
                                                                             "RtlGetVersion"};
// ntdll: a file opened without waiting on another's opportunistic lock.
constexpr LateFunction<NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG)>
    kNtCreateFile{L"ntdll.dll", LateDll::Loaded, "NtCreateFile"};
// XP: Windows 8, and 7 and Vista with KB2533623.
constexpr LateFunction<BOOL(WINAPI*)(DWORD)> kSetDefaultDllDirectories{L"kernel32.dll", LateDll::Loaded,
                                                                       "SetDefaultDllDirectories"};
// XP: as SetDefaultDllDirectories; asked only whether it is there.
constexpr LateFunction<FARPROC> kAddDllDirectory{L"kernel32.dll", LateDll::Loaded, "AddDllDirectory"};
// XP: from its Service Pack 1 on.
constexpr LateFunction<BOOL(WINAPI*)(LPCWSTR)> kSetDllDirectoryW{L"kernel32.dll", LateDll::Loaded, "SetDllDirectoryW"};
// late: the run's account, the lock's and the log's owners, an
// administrator's run.
constexpr LateFunction<BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE)> kOpenProcessToken{L"advapi32.dll", LateDll::System32,
                                                                                "OpenProcessToken"};
constexpr LateFunction<BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD)> kGetTokenInformation{
    L"advapi32.dll", LateDll::System32, "GetTokenInformation"};
constexpr LateFunction<BOOL(WINAPI*)(LPCWSTR, PSID, LPWSTR, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE)>
    kLookupAccountSidW{L"advapi32.dll", LateDll::System32, "LookupAccountSidW"};
constexpr LateFunction<BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG)>
    kConvertStringSecurityDescriptorToSecurityDescriptorA{L"advapi32.dll", LateDll::System32,
                                                          "ConvertStringSecurityDescriptorToSecurityDescriptorA"};
constexpr LateFunction<BOOL(WINAPI*)(HANDLE, PSID, PBOOL)> kCheckTokenMembership{L"advapi32.dll", LateDll::System32,
                                                                                 "CheckTokenMembership"};
constexpr LateFunction<DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                      PSECURITY_DESCRIPTOR*)>
    kGetSecurityInfo{L"advapi32.dll", LateDll::System32, "GetSecurityInfo"};
constexpr LateFunction<BOOL(WINAPI*)(PSID, LPSTR*)> kConvertSidToStringSidA{L"advapi32.dll", LateDll::System32,
                                                                            "ConvertSidToStringSidA"};
// late: only where nobody sees a box.
constexpr LateFunction<BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*)> kWTSQuerySessionInformationW{
    L"wtsapi32.dll", LateDll::System32, "WTSQuerySessionInformationW"};
constexpr LateFunction<void(WINAPI*)(PVOID)> kWTSFreeMemory{L"wtsapi32.dll", LateDll::System32, "WTSFreeMemory"};
constexpr LateFunction<BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD, LPWSTR, DWORD, DWORD, DWORD, DWORD*, BOOL)>
    kWTSSendMessageW{L"wtsapi32.dll", LateDll::System32, "WTSSendMessageW"};
// late: shell32 brings many DLLs along; only on the elevation road.
constexpr LateFunction<BOOL(WINAPI*)(SHELLEXECUTEINFOW*)> kShellExecuteExW{L"shell32.dll", LateDll::System32,
                                                                           "ShellExecuteExW"};
// late: the login dialog only, which the gate never opens.
constexpr LateFunction<HIMC(WINAPI*)(HWND, HIMC)> kImmAssociateContext{L"imm32.dll", LateDll::System32,
                                                                       "ImmAssociateContext"};

// The entry's function, or null when its DLL or the export is not there.
template <typename Function>
Function LateBound(LateFunction<Function> entry)
{
    const HMODULE dll = entry.from == LateDll::Loaded ? GetModuleHandleW(entry.dll) : LoadSystemLibrary(entry.dll);
    return ExportOf<Function>(dll, entry.name);
}

}  // namespace kestrel
