// Test helper: starts a program, reads every message box it shows (caption,
// text, icon, buttons), presses OK on each, and reports how the program ended.
//   boxdriver [--unseen] [--job=leave|--job=stay] PROGRAM WORKDIR [TIMEOUT_SECONDS [ARGUMENT...]]
// With --unseen the program starts on a window station of its own, which
// nobody sees, as a deployment agent or a service would start it. With
// --job it starts in a job that ends what it holds once it is closed, as an
// agent's job does on its time limit: one that lets a process break away
// (leave) or not (stay); the job is closed once the program has ended. An
// ARGUMENT "@FILE" stands for the ASCII text of FILE: a program's command
// line may be longer than the one boxdriver itself can be given.
// Prints, in UTF-8, a line per box ("box caption=... text=... icon=N
// buttons=N"), then "wow64=N" (1 when the program ran as a 32-bit process on
// 64-bit Windows) and "exit=N", or "timeout".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "window_reading.h"

using namespace kestrel::windows;

int wmain(int argc, wchar_t** argv)
{
    const bool unseen = argc > 1 && std::wstring(argv[1]) == L"--unseen";
    if (unseen) {
        --argc;
        ++argv;
    }
    const std::wstring jobKind = argc > 1 && std::wstring(argv[1]).rfind(L"--job=", 0) == 0 ? argv[1] + 6 : L"";
    if (!jobKind.empty()) {
        --argc;
        ++argv;
    }
    HANDLE job = nullptr;
    if (!jobKind.empty()) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (jobKind == L"leave" ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
        job = CreateJobObjectW(nullptr, nullptr);
        if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            std::printf("cannot make a job: error %lu\n", GetLastError());
            return 2;
        }
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: boxdriver PROGRAM WORKDIR [TIMEOUT_SECONDS]\n");
        return 64;
    }
    const DWORD timeoutMs = (argc > 3 ? _wtoi(argv[3]) : 60) * 1000;
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    for (int i = 4; i < argc; ++i) {
        std::wstring argument = argv[i];
        if (argument.size() > 1 && argument[0] == L'@') {
            FILE* file = _wfopen(argument.c_str() + 1, L"rb");
            if (!file) {
                std::printf("cannot read %ls\n", argument.c_str() + 1);
                return 2;
            }
            argument.clear();
            for (int c; (c = std::fgetc(file)) != EOF;) argument += wchar_t(c);
            std::fclose(file);
        }
        commandLine += L" " + argument;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // A desktop on a new window station; the handles stay open while the
    // program runs.
    std::wstring desktop = L"kestrel-unseen\\Default";
    if (unseen) {
        const HWINSTA own = GetProcessWindowStation();
        const HWINSTA station = CreateWindowStationW(L"kestrel-unseen", 0, WINSTA_ALL_ACCESS, nullptr);
        if (!station || !SetProcessWindowStation(station) ||
            !CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr) || !SetProcessWindowStation(own)) {
            std::printf("cannot make a window station: error %lu\n", GetLastError());
            return 2;
        }
        startup.lpDesktop = desktop.data();
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, job ? CREATE_SUSPENDED : 0, nullptr,
                        argv[2], &startup, &process) ||
        (job && (!AssignProcessToJobObject(job, process.hProcess) || ResumeThread(process.hThread) == DWORD(-1)))) {
        std::printf("cannot start: error %lu\n", GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);
    BOOL wow64 = FALSE;
    IsWow64Process(process.hProcess, &wow64);

    std::set<HWND> pressed;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.hProcess, 99);
            std::printf("timeout\n");
            return 1;
        }
        for (const HWND box : WindowsOf(process.dwProcessId, true)) {
            if (!pressed.insert(box).second) continue;
            Sleep(200);  // let the box finish laying itself out
            std::printf("%s\n", DescribeMessageBox(box).c_str());
            std::fflush(stdout);
            PressOk(box);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    // The agent's job ends: whatever is still in it ends with it.
    if (job) CloseHandle(job);
    CloseHandle(process.hProcess);
    std::printf("wow64=%d\nexit=%lu\n", wow64 ? 1 : 0, code);
    return 0;
}
