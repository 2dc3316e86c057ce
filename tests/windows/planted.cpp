// A DLL planted under system DLL names beside a program and in its current
// folder: when it is loaded it appends "loaded PATH" to the file that the
// environment variable PLANT_LOG names, and does nothing else.
#include <windows.h>

#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t log[MAX_PATH], path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"PLANT_LOG", log, MAX_PATH)) return TRUE;
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    if (FILE* out = _wfopen(log, L"a")) {
        std::fprintf(out, "loaded %ls\n", path);
        std::fclose(out);
    }
    return TRUE;
}
