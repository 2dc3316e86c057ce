// A stand-in for the flash utility: records that it started, with the
// show-window state it was given, its working folder and the error mode it
// started with, in launched.txt beside itself, as UTF-8; with ends.txt
// beside it (below), it stays a while, as a flash does, and records its end. (Wine gives every
// process the default error mode; on Windows the mode shows whether the
// starter passed its own on.)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#ifdef STANDIN_ENDS
namespace {

// Appends `text` to the file at `path`, shared with the other writers.
bool Append(const wchar_t* path, const char* text, DWORD size)
{
    const HANDLE out = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = out != INVALID_HANDLE_VALUE && WriteFile(out, text, size, &written, nullptr) && written == size;
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return ok;
}

// Whether this process holds a handle to a job that it is in (the flash's
// lock) within five seconds: its handle table looked through, as nothing
// else tells it.
bool HoldsItsJob()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (ULONG_PTR value = 4; value < 0x1000; value += 4) {
            BOOL in = FALSE;
            if (IsProcessInJob(GetCurrentProcess(), reinterpret_cast<HANDLE>(value), &in) && in) return true;
        }
        Sleep(50);
    }
    return false;
}

// Starts a copy of itself with `arguments`, inheriting nothing.
HANDLE StartCopy(const wchar_t* self, const wchar_t* arguments)
{
    wchar_t line[MAX_PATH + 32] = {};
    _snwprintf(line, MAX_PATH + 31, L"\"%ls\" %ls", self, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(self, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

}  // namespace
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    wchar_t log[MAX_PATH + 16] = {};
    const DWORD n = GetModuleFileNameW(nullptr, log, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    wchar_t* slash = std::wcsrchr(log, L'\\');
    if (!slash) return 1;
    std::wcscpy(slash + 1, L"launched.txt");
#ifdef STANDIN_ENDS
    // The flash's own child (see below): it records only its end, and with
    // helpers whether it holds the lock. A helper records only that.
    if (arguments && std::wcsncmp(arguments, L"child ", 6) == 0) {
        wchar_t* end = nullptr;
        const unsigned long pause = std::wcstoul(arguments + 6, &end, 10);
        if (*end == L' ') {
            // Into a file of its own: nothing else writes there.
            wchar_t holds[MAX_PATH + 16];
            std::wcscpy(holds, log);
            std::wcscpy(holds + (slash + 1 - log), L"holds.txt");
            const bool held = HoldsItsJob();
            if (!Append(holds, held ? "child holds\n" : "child holds not\n", held ? 12 : 16)) return 1;
        }
        Sleep(pause);
        return Append(log, "child ended\n", 12) ? 0 : 1;
    }
    // A helper tells by its status alone.
    if (arguments && std::wcscmp(arguments, L"helper") == 0) return HoldsItsJob() ? 0 : 3;
#endif

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const UINT errorMode = SetErrorMode(0);
    // Wide to wide: no code page between the names and the record.
    wchar_t record[3 * MAX_PATH] = {};
    int length =
        _snwprintf(record, 3 * MAX_PATH - 1, L"started usestartup=%d show=%d args=[%ls] cwd=%ls errormode=%u\n",
                   (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0, int(startup.wShowWindow),
                   arguments ? arguments : L"", folder, errorMode);
    // A record too long for the buffer is kept cut short, but kept: a start
    // is never left unrecorded.
    if (length < 0) {
        length = 3 * MAX_PATH - 1;
        record[length - 1] = L'\n';
    }
    if (length == 0) return 1;
    char bytes[4 * 3 * MAX_PATH];
    const int size = WideCharToMultiByte(CP_UTF8, 0, record, length, bytes, int(sizeof bytes), nullptr, nullptr);
    if (size <= 0) return 1;
    // Two starts at once both append their line: the file is shared for
    // writing, and an append-only write lands whole at its end. A reader
    // that holds it a moment is waited for.
    HANDLE out = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && out == INVALID_HANDLE_VALUE; ++attempt) {
        out = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) return 1;
        if (out == INVALID_HANDLE_VALUE) Sleep(20);
    }
    if (out == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const bool ok = WriteFile(out, bytes, DWORD(size), &written, nullptr) && written == DWORD(size);
#ifdef STANDIN_ENDS
    // The tests' waiting stand-in: with "PAUSE_MS STATUS" in ends.txt beside
    // it, it records "ended" after the pause and exits with that status.
    // With "PAUSE_MS STATUS CHILD_MS" it first starts a copy of itself that
    // lives CHILD_MS and records "child ended", as a utility does that hands
    // the flash to a process of its own and ends. With "PAUSE_MS STATUS
    // CHILD_MS HELPERS" it first runs HELPERS copies, ten at a time, and
    // records "helpers held N of HELPERS" (a helper ends with 0 where it
    // holds the flash's lock), then the child, which records "child holds"
    // (or "child holds not") in holds.txt; none inherits a handle.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wcscpy(slash + 1, L"ends.txt");
    const HANDLE ends = CreateFileW(log, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char text[32] = {};
    DWORD got = 0;
    if (ends != INVALID_HANDLE_VALUE && ReadFile(ends, text, sizeof text - 1, &got, nullptr)) {
        CloseHandle(ends);
        unsigned long values[4] = {};
        int fields = 0;
        for (char* at = text; fields < 4;) {
            char* end = nullptr;
            values[fields] = std::strtoul(at, &end, 10);
            if (end == at) break;
            ++fields;
            at = end;
        }
        const unsigned long pause = values[0], status = values[1], child = values[2];
        unsigned long held = 0;
        for (unsigned long started = 0; fields == 4 && started < values[3];) {
            HANDLE batch[10];
            DWORD n = 0;
            for (; n < 10 && started < values[3]; ++n, ++started)
                if (!(batch[n] = StartCopy(self, L"helper"))) return 1;
            WaitForMultipleObjects(n, batch, TRUE, 30000);
            while (n > 0) {
                DWORD status = 1;
                if (GetExitCodeProcess(batch[--n], &status) && status == 0) ++held;
                CloseHandle(batch[n]);
            }
        }
        if (fields == 4) {
            char line[48];
            const int n = _snprintf(line, sizeof line, "helpers held %lu of %lu\n", held, values[3]);
            DWORD more = 0;
            if (n <= 0 || !WriteFile(out, line, DWORD(n), &more, nullptr)) return 1;
        }
        if (fields >= 3) {
            wchar_t arguments[32] = {};
            _snwprintf(arguments, 31, fields == 4 ? L"child %lu check" : L"child %lu", child);
            const HANDLE process = StartCopy(self, arguments);
            if (!process) return 1;
            CloseHandle(process);
        }
        if (fields >= 2) {
            // With hold.txt beside it, it first stays while that file is
            // there, a minute at most: a stage that starts other runs
            // meanwhile lets it go when they are done.
            std::wcscpy(slash + 1, L"hold.txt");
            for (int i = 0; i < 600 && GetFileAttributesW(log) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
            Sleep(pause);
            DWORD more = 0;
            const bool ended = WriteFile(out, "ended\n", 6, &more, nullptr) && more == 6;
            CloseHandle(out);
            return ok && ended ? int(status) : 1;
        }
    }
#endif
    return CloseHandle(out) && ok ? 0 : 1;
}
