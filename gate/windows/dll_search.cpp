#include "dll_search.h"

#include <string>

namespace kestrel {

bool RestrictDllSearch()
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    bool system32Only = false;
    if (const auto setDefault = ExportOf<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories"))
        system32Only = setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    if (const auto setDirectory = ExportOf<BOOL(WINAPI*)(LPCWSTR)>(kernel, "SetDllDirectoryW")) setDirectory(L"");
    return system32Only;
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    // Where the flag is known (Windows 8, or 7 and Vista with KB2533623).
    if (const HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Elsewhere, the full path; its own imports are then looked for beside
    // it, in System32, not beside this program.
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, n) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace kestrel
