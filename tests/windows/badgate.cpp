// The release check's negative controls: gates that do what kestrel.exe
// guards against. Built once for each fault:
//  - BADGATE_LOAD: loads a DLL by bare name with the default search, which
//    looks in its own folder first;
//  - BADGATE_MAP_ONLY: maps that DLL without running its code
//    (DONT_RESOLVE_DLL_REFERENCES), as a dependency whose imports cannot be
//    bound is mapped and then dropped;
//  - BADGATE_ERROR_ICON: loads nothing, but its box has the error icon;
//  - BADGATE_CHILD: starts a copy of itself, which loads that DLL;
//  - BADGATE_DRIVER: loads a driver (msacm32.drv) by bare name;
// each then shows the wrong-model box as kestrel.exe would for the tests'
// board and ends with its status. On the launch road:
//  - BADGATE_TWICE: starts the utility beside it twice (a retry that never
//    looked at the first start);
//  - BADGATE_CWD: starts the current folder's WinPhlash.exe when there is
//    one;
//  - BADGATE_WAITS: waits for the utility and ends with its status;
//  - BADGATE_JOB: puts the utility in a job that ends it when the job's last
//    handle, the gate's, goes, and ends once the utility has recorded its
//    start;
//  - BADGATE_UNQUOTED: names the utility's path unquoted, with no
//    application name, so that a folder with a space in it cuts the path;
//  - BADGATE_CMD: starts the utility through "cmd.exe /c start", cmd.exe by
//    its bare name;
//  - BADGATE_ABSENT_LOAD: without a utility beside it, loads a DLL by bare
//    name and ends with 3.
// On the wrong-model road:
//  - BADGATE_ABORT_RETRY_IGNORE: its box has Abort, Retry and Ignore, and
//    Ignore starts the utility;
//  - BADGATE_DATA_FILE: maps a DLL by bare name as a data file;
//  - BADGATE_ESCAPE: starts a copy of itself under its own parent, which
//    loads the DLL by bare name and stays a while;
//  - BADGATE_LOUD: reads no command line: its box shows under /quiet too;
//  - BADGATE_GLUED_LOG: under /log:FILE appends its line to the file as it
//    finds it, after a last line that has no line feed too.
//  - BADGATE_LOG_ZERO: ends with 0 when its /log:FILE cannot be opened;
//  - BADGATE_OWN_KEYS: appends whole lines, after a line feed where the file
//    lacks one, but of its own keys (no run, account, firmware, result);
//  - BADGATE_SPLIT_LINE: appends a line of every key (after a line feed where
//    the file lacks one; waiting its turn where another holds the file) in
//    two writes, sharing the file with other writers, and writes its second piece once another
//    writer has written after its first (or a few seconds on);
//  - BADGATE_DROP_LINE: appends a whole line of every key in one write, the
//    file shared with no other writer, and drops its line when another
//    writer holds the file (no retry).
// Each ends with 7 on a switch it does not know.
// On the launch road, each writing a line to /log:FILE:
//  - BADGATE_PROCESS_LOCK: no lock object: "another flash runs" (1618, with
//    the box unless /quiet) when a process of the utility's name runs;
//  - BADGATE_NO_BREAKAWAY: starts the utility in whatever job the gate is
//    in, so an agent's job that ends its processes takes the flash along;
//    it ends 2.5 s after the start.
//  - BADGATE_LOAD_1618: as BADGATE_PROCESS_LOCK, and on the 1618 road only
//    loads a DLL by bare name;
//  - BADGATE_WAIT_LOCK: a lock (a named job) that only a waiting run takes,
//    and every run looks at: the flash of a run that does not wait holds
//    none.
//  - BADGATE_ABSENT_BOX: a missing utility told in a box, under /quiet too;
//  - BADGATE_RETRY_CRASH: under /wait, starts the utility again once it has
//    crashed (an exception's status), and ends with the second's status;
//  - BADGATE_CHILD_GRACE: under /wait, waits for the utility's own process
//    and three seconds more, not for the processes it started.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace {

// The part of NtQueryInformationProcess's ProcessBasicInformation read here.
struct BasicInformation {
    LONG exitStatus;
    void* peb;
    ULONG_PTR affinity;
    LONG priority;
    ULONG_PTR id;
    ULONG_PTR parent;
};

[[maybe_unused]] bool Start(std::wstring path, std::wstring commandLine, const wchar_t* folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

[[maybe_unused]] std::wstring OwnFolder()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// The utility beside the gate started shown, in the gate's folder: its
// process, or null.
[[maybe_unused]] HANDLE StartUtility(DWORD flags = 0)
{
    const std::wstring utility = OwnFolder() + L"\\WinPhlash.exe";
    std::wstring command = L"\"" + utility + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(utility.c_str(), command.data(), nullptr, nullptr, FALSE, flags, nullptr, OwnFolder().c_str(),
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

// The careless starts of the utility at `path`, in `folder`.
[[maybe_unused]] int CarelessStart(const std::wstring& path, const std::wstring& folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
#if defined(BADGATE_UNQUOTED)
    std::wstring line = path;
#elif defined(BADGATE_CMD)
    std::wstring line = L"cmd.exe /c start \"\" \"" + path + L"\"";
#else
    std::wstring line = L"\"" + path + L"\"";
#endif
    const wchar_t* application = nullptr;
#if defined(BADGATE_WAITS) || defined(BADGATE_JOB)
    application = path.c_str();
#endif
    DWORD flags = 0;
#if defined(BADGATE_JOB)
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    flags = CREATE_SUSPENDED;
#endif
    if (!CreateProcessW(application, line.data(), nullptr, nullptr, FALSE, flags, nullptr, folder.c_str(), &startup,
                        &process))
        return 3;
#if defined(BADGATE_JOB)
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    // Once the utility has recorded its start, the gate ends, and with it
    // the job's last handle.
    const std::wstring record = folder + L"\\launched.txt";
    for (int i = 0; i < 100 && GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
#endif
    DWORD status = 0;
#if defined(BADGATE_WAITS)
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
#endif
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(status);
}

// A copy of this program started with this program's own parent as its
// parent, so that it is no debuggee of whoever debugs this one.
[[maybe_unused]] void EscapeUnderParent()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" copy";
    BasicInformation info = {};
    using QueryFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || query(GetCurrentProcess(), 0, &info, sizeof info, nullptr) != 0) return;
    const HANDLE parent = OpenProcess(PROCESS_CREATE_PROCESS, FALSE, DWORD(info.parent));
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string buffer(size, '\0');
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    HANDLE from = parent;
    if (!parent || !InitializeProcThreadAttributeList(attributes, 1, 0, &size) ||
        !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &from, sizeof from, nullptr,
                                   nullptr))
        return;
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                       &startup.StartupInfo, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteProcThreadAttributeList(attributes);
    CloseHandle(parent);
}

// The file of a "/log:FILE" argument (quoted as a whole or not), or empty.
[[maybe_unused]] std::wstring LogOf(const std::wstring& arguments)
{
    const std::size_t at = arguments.find(L"/log:");
    if (at == std::wstring::npos) return {};
    const bool quoted = at > 0 && arguments[at - 1] == L'"';
    const std::size_t end = arguments.find(quoted ? L'"' : L' ', at + 5);
    return arguments.substr(at + 5, end == std::wstring::npos ? std::wstring::npos : end - at - 5);
}

// Appends `line` to the log named in `arguments`, as it finds the file; with
// `feed`, a line feed first where the file does not end in one.
[[maybe_unused]] void AppendLog(const std::wstring& arguments, const char* line, bool feed = false)
{
    const std::wstring log = LogOf(arguments);
    if (log.empty()) return;
    const HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char last = '\n';
    DWORD got = 0;
    if (feed && SetFilePointer(file, -1, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, &last, 1, &got, nullptr) && got == 1 && last != '\n')
        line = "\n";
    else if (feed) line = "";
    DWORD written = 0;
    WriteFile(file, line, DWORD(lstrlenA(line)), &written, nullptr);
    CloseHandle(file);
}

// Whether the command line holds a switch that is none of /quiet, /wait,
// /check and /log:FILE (read as a careless gate reads it: by blanks).
[[maybe_unused]] bool UnknownSwitch(const std::wstring& line)
{
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t end = line.find(L' ', at);
        std::wstring word = line.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
        at = end == std::wstring::npos ? line.size() : end + 1;
        if (!word.empty() && word[0] == L'"') word.erase(0, 1);
        if (word.empty() || word[0] != L'/') continue;
        if (word != L"/quiet" && word != L"/wait" && word != L"/check" && word.rfind(L"/log:", 0) != 0) return true;
    }
    return false;
}

// Whether a process of the utility's name runs.
[[maybe_unused]] bool UtilityProcessRuns()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool runs = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !runs; more = Process32NextW(snapshot, &entry))
        runs = lstrcmpiW(entry.szExeFile, L"WinPhlash.exe") == 0;
    CloseHandle(snapshot);
    return runs;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    UINT icon = MB_ICONWARNING;
#if defined(BADGATE_LOAD)
    LoadLibraryW(L"dwmapi.dll");
#elif defined(BADGATE_MAP_ONLY)
    LoadLibraryExW(L"dwmapi.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
#elif defined(BADGATE_DRIVER)
    LoadLibraryW(L"msacm32.drv");
#elif defined(BADGATE_ERROR_ICON)
    icon = MB_ICONERROR;
#elif defined(BADGATE_CHILD)
    if (arguments && std::wstring(arguments) == L"child") return LoadLibraryW(L"dwmapi.dll") ? 0 : 1;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    Start(self, L"\"" + std::wstring(self) + L"\" child", nullptr);
#elif defined(BADGATE_DATA_FILE)
    LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
#elif defined(BADGATE_ABORT_RETRY_IGNORE)
    if (MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"WinPhlash",
                    MB_ABORTRETRYIGNORE | MB_ICONWARNING) == IDIGNORE) {
        const std::wstring utility = OwnFolder() + L"\\WinPhlash.exe";
        return Start(utility, L"\"" + utility + L"\"", OwnFolder().c_str()) ? 0 : 3;
    }
    return 2;
#elif defined(BADGATE_ESCAPE)
    if (arguments && std::wstring(arguments) == L"copy") {
        LoadLibraryW(L"dwmapi.dll");
        Sleep(30000);
        return 0;
    }
    EscapeUnderParent();
#elif defined(BADGATE_GLUED_LOG) || defined(BADGATE_OWN_KEYS)
    const std::wstring line = arguments ? arguments : L"";
    if (UnknownSwitch(line)) return 7;
#if defined(BADGATE_OWN_KEYS)
    AppendLog(line, "", true);
#endif
    AppendLog(line, "{\"board\":\"12B\",\"decision\":\"wrong model\",\"status\":2}\n");
    if (line.find(L"/quiet") != std::wstring::npos) return 2;
#elif defined(BADGATE_SPLIT_LINE) || defined(BADGATE_DROP_LINE)
    const std::wstring line = arguments ? arguments : L"";
    if (UnknownSwitch(line)) return 7;
    const std::wstring log = LogOf(line);
    AppendLog(line, "", true);
#ifdef BADGATE_DROP_LINE
    const DWORD share = FILE_SHARE_READ;
    const int attempts = 1;
#else
    // Waits its turn, as kestrel.exe does, where another holds the file
    // shared with no writer: its one fault is the line in two pieces.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const int attempts = 200;
#endif
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int i = 0; i < attempts && !log.empty() && file == INVALID_HANDLE_VALUE; ++i) {
        if (i > 0) Sleep(20);
        file = CreateFileW(log.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) break;
    }
    if (file != INVALID_HANDLE_VALUE) {
        char text[512];
        const int n = wsprintfA(text,
                                "{\"started\":null,\"kestrel\":\"1.00\",\"run\":\"%lu\",\"computer\":null,"
                                "\"account\":null,\"session\":null,\"board\":\"12B\",\"boardNotRead\":null,"
                                "\"bios\":null,\"biosNotRead\":null,\"target\":null,\"bitlocker\":null,"
                                "\"argument\":null,\"decision\":\"wrong model\",\"result\":\"not started\","
                                "\"status\":2,\"utility\":null,\"utilityHex\":null,\"durationMs\":0,"
                                "\"accountSid\":null,\"agentJob\":null,\"lockOwner\":null,\"from\":null,"
                                "\"charge\":null}\n",
                                GetCurrentProcessId());
        DWORD written = 0;
#ifdef BADGATE_DROP_LINE
        WriteFile(file, text, DWORD(n), &written, nullptr);
        CloseHandle(file);
    }
    if (line.find(L"/quiet") != std::wstring::npos) return 2;
#else
        LARGE_INTEGER before = {}, now = {};
        WriteFile(file, text, DWORD(n / 2), &written, nullptr);
        GetFileSizeEx(file, &before);
        for (int i = 0; i < 100 && GetFileSizeEx(file, &now) && now.QuadPart == before.QuadPart; ++i) Sleep(50);
        WriteFile(file, text + n / 2, DWORD(n - n / 2), &written, nullptr);
        CloseHandle(file);
    }
    if (line.find(L"/quiet") != std::wstring::npos) return 2;
#endif
#elif defined(BADGATE_LOG_ZERO)
    const std::wstring line = arguments ? arguments : L"";
    if (UnknownSwitch(line)) return 7;
    const std::wstring log = LogOf(line);
    if (!log.empty()) {
        const HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 0;
        CloseHandle(file);
        AppendLog(line, "{\"board\":\"12B\",\"decision\":\"wrong model\",\"status\":2}\n");
    }
    if (line.find(L"/quiet") != std::wstring::npos) return 2;
#elif defined(BADGATE_RETRY_CRASH) || defined(BADGATE_CHILD_GRACE)
    const std::wstring line = arguments ? arguments : L"";
    DWORD status = 0;
    for (int start = 0; start < 2; ++start) {
        const HANDLE process = StartUtility();
        if (!process) return 3;
        if (line.find(L"/wait") != std::wstring::npos) {
            WaitForSingleObject(process, INFINITE);
            GetExitCodeProcess(process, &status);
#if defined(BADGATE_CHILD_GRACE)
            Sleep(3000);
#endif
        }
        CloseHandle(process);
#if defined(BADGATE_CHILD_GRACE)
        break;  // one start, whatever its end
#endif
        if (status < 0xC0000000u) break;
    }
    char text[96];
    wsprintfA(text, "{\"board\":\"34B\",\"decision\":\"launched\",\"status\":%d}\n", int(status));
    AppendLog(line, text);
    return int(status);
#elif defined(BADGATE_PROCESS_LOCK) || defined(BADGATE_NO_BREAKAWAY) || defined(BADGATE_LOAD_1618) || \
    defined(BADGATE_WAIT_LOCK) || defined(BADGATE_ABSENT_BOX)
    const std::wstring line = arguments ? arguments : L"";
    const bool quiet = line.find(L"/quiet") != std::wstring::npos;
#if defined(BADGATE_ABSENT_BOX)
    if (GetFileAttributesW((OwnFolder() + L"\\WinPhlash.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
        MessageBoxW(nullptr, L"WinPhlash.exe was not found.", L"WinPhlash", MB_OK | MB_ICONWARNING);
        return 3;
    }
#endif
#if defined(BADGATE_WAIT_LOCK)
    const bool wait = line.find(L"/wait") != std::wstring::npos;
    const wchar_t* lockName = L"Global\\badgate-flash";
    HANDLE lock = wait ? CreateJobObjectW(nullptr, lockName) : OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, lockName);
    const bool busy = wait ? GetLastError() == ERROR_ALREADY_EXISTS : lock != nullptr;
#elif defined(BADGATE_PROCESS_LOCK) || defined(BADGATE_LOAD_1618)
    const bool busy = UtilityProcessRuns();
#endif
#if defined(BADGATE_PROCESS_LOCK) || defined(BADGATE_LOAD_1618) || defined(BADGATE_WAIT_LOCK)
    if (busy) {
#if defined(BADGATE_LOAD_1618)
        LoadLibraryW(L"dwmapi.dll");
#endif
        AppendLog(line, "{\"board\":\"34B\",\"decision\":\"flash running\",\"status\":1618}\n");
        if (!quiet)
            MessageBoxW(nullptr, L"A BIOS update is already running.  The system BIOS will not be updated.",
                        L"WinPhlash", MB_OK | MB_ICONWARNING);
        return 1618;
    }
    const DWORD flags = CREATE_BREAKAWAY_FROM_JOB;
#else
    const DWORD flags = 0;
#endif
    static_cast<void>(quiet);
    AppendLog(line, "{\"board\":\"34B\",\"decision\":\"launched\",\"status\":0}\n");
    HANDLE process = StartUtility(flags);
    if (!process) process = StartUtility();
    if (!process) return 3;
#if defined(BADGATE_WAIT_LOCK)
    // The waiting run holds its lock until the utility has ended.
    DWORD status = 0;
    if (wait) {
        WaitForSingleObject(process, INFINITE);
        GetExitCodeProcess(process, &status);
    }
    if (lock) CloseHandle(lock);
    CloseHandle(process);
    return int(status);
#else
#if defined(BADGATE_NO_BREAKAWAY)
    // It lingers a moment after the start (a status posted, a log flushed),
    // longer than the stand-in's flash stays when nothing holds it.
    Sleep(2500);
#endif
    CloseHandle(process);
    return 0;
#endif
#elif defined(BADGATE_TWICE) || defined(BADGATE_CWD) || defined(BADGATE_WAITS) || defined(BADGATE_JOB) || \
    defined(BADGATE_UNQUOTED) || defined(BADGATE_CMD) || defined(BADGATE_ABSENT_LOAD)
    const std::wstring folder = OwnFolder();
    std::wstring utility = folder + L"\\WinPhlash.exe";
#if defined(BADGATE_ABSENT_LOAD)
    if (GetFileAttributesW(utility.c_str()) == INVALID_FILE_ATTRIBUTES) {
        LoadLibraryW(L"dwmapi.dll");
        return 3;
    }
#endif
#if defined(BADGATE_WAITS) || defined(BADGATE_JOB) || defined(BADGATE_UNQUOTED) || defined(BADGATE_CMD)
    return CarelessStart(utility, folder);
#endif
#if defined(BADGATE_CWD)
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    if (GetFileAttributesW((std::wstring(cwd) + L"\\WinPhlash.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
        utility = std::wstring(cwd) + L"\\WinPhlash.exe";
#endif
    bool started = Start(utility, L"\"" + utility + L"\"", folder.c_str());
#if defined(BADGATE_TWICE)
    started = Start(utility, L"\"" + utility + L"\"", folder.c_str()) && started;
#endif
    return started ? 0 : 3;
#endif
    static_cast<void>(arguments);
    MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"WinPhlash", MB_OK | icon);
    return 2;
}
