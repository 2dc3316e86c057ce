// The probe: a DLL planted under system DLL names beside a program and in its
// current folder. When it is loaded it appends "loaded DLL into PROGRAM" (both
// full paths) to the file that the environment variable PLANT_LOG names, and
// does nothing else.
#include <windows.h>

#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t log[MAX_PATH], path[MAX_PATH], program[MAX_PATH];
    if (!GetEnvironmentVariableW(L"PLANT_LOG", log, MAX_PATH)) return TRUE;
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    const DWORD m = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH) return TRUE;
    if (FILE* out = _wfopen(log, L"a")) {
        // Nothing to do about a record that cannot be written.
        static_cast<void>(std::fprintf(out, "loaded %ls into %ls\n", path, program));
        static_cast<void>(std::fclose(out));
    }
    return TRUE;
}
