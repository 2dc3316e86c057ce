// A stand-in for the flash utility: records that it started, with the
// show-window state it was given, its working folder and the error mode it
// started with, in launched.txt beside itself. (Wine gives every process the
// default error mode; on Windows the mode shows whether the starter passed
// its own on.)
#include <windows.h>

#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    wchar_t log[MAX_PATH + 16] = {};
    const DWORD n = GetModuleFileNameW(nullptr, log, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    wchar_t* slash = std::wcsrchr(log, L'\\');
    if (!slash) return 1;
    std::wcscpy(slash + 1, L"launched.txt");

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const UINT errorMode = SetErrorMode(0);
    FILE* out = _wfopen(log, L"a");
    if (!out) return 1;
    const bool written = std::fprintf(out, "started usestartup=%d show=%d args=[%ls] cwd=%ls errormode=%u\n",
                                      (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0, startup.wShowWindow,
                                      arguments ? arguments : L"", folder, errorMode) > 0;
    return std::fclose(out) == 0 && written ? 0 : 1;
}
