// The probe: a DLL planted under system DLL names beside a program and in its
// current folder. When its code runs it appends "loaded DLL into PROGRAM"
// (both full paths, UTF-8) to the file that the environment variable
// PLANT_LOG names, and does nothing else. The release check sees its loads
// as a debugger and sets no log; the tests' planted cases read it.
#include <windows.h>

namespace {

// `text` appended to `out` as UTF-8.
void Append(char* out, int& used, int room, const wchar_t* text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out + used, room - used, nullptr, nullptr);
    used = n > 0 ? used + n - 1 : room;  // without the terminating null; full on failure
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t log[MAX_PATH], path[MAX_PATH], program[MAX_PATH];
    if (!GetEnvironmentVariableW(L"PLANT_LOG", log, MAX_PATH)) return TRUE;
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    const DWORD m = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH) return TRUE;
    char line[4 * 2 * MAX_PATH + 16];
    int used = 0;
    const int room = int(sizeof line) - 1;
    Append(line, used, room, L"loaded ");
    Append(line, used, room, path);
    Append(line, used, room, L" into ");
    Append(line, used, room, program);
    Append(line, used, room, L"\n");
    if (used >= room) return TRUE;
    const HANDLE out = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return TRUE;
    DWORD written = 0;
    // Nothing to do about a record that cannot be written.
    WriteFile(out, line, DWORD(used), &written, nullptr);
    CloseHandle(out);
    return TRUE;
}
