#include "machine.h"

#include <windows.h>

#include "../pe_imports.h"
#include "../report.h"
#include "admin_only.h"
#include "files.h"
#include "program_path.h"
#include "text.h"

namespace kestrel::check {

std::wstring SystemFolder()
{
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

std::optional<std::vector<std::string>> ImportsOf(const std::wstring& path)
{
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return std::nullopt;
    return ImportedDlls(*bytes);
}

std::optional<std::vector<std::string>> KnownDlls()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[256] = {};
        DWORD nameLength = 256, dataBytes = sizeof data - sizeof(wchar_t), type = 0;
        const LONG status =
            RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string value = Lower(Utf8(data));
        if (value.size() > 4 && value.compare(value.size() - 4, 4, ".dll") == 0) names.push_back(value);
    }
    RegCloseKey(key);
    return names;
}

namespace {

// Whether a file starts as a module's image: "MZ", then "PE\0\0" where the
// DOS header's e_lfanew points, within the first 4 KiB, or "NE": a 16-bit
// module's name (ver.dll, shell.dll) is a name on this machine too, and a
// 32-bit program that asks for it by bare name takes a file of that name in
// its own folder before the system's.
bool ModuleImage(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned char head[4096];
    DWORD got = 0;
    const bool read = ReadFile(file, head, sizeof head, &got, nullptr) != FALSE;
    CloseHandle(file);
    if (!read || got < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
    const DWORD at = DWORD(head[0x3C]) | DWORD(head[0x3D]) << 8 | DWORD(head[0x3E]) << 16 | DWORD(head[0x3F]) << 24;
    if (at > got - 4) return false;
    return (head[at] == 'P' && head[at + 1] == 'E' && head[at + 2] == 0 && head[at + 3] == 0) ||
           (head[at] == 'N' && head[at + 1] == 'E');
}

}  // namespace

std::vector<std::wstring> SystemImageNames(bool programs)
{
    std::vector<std::wstring> names;
    std::vector<std::string> lowered;
    const std::wstring system = SystemFolder();
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (system.empty()) return names;
    std::vector<std::wstring> folders{system, InFolder(system, L"wbem")};
    if (n > 0 && n < MAX_PATH) folders.emplace_back(windows, n);
    for (const std::wstring& folder : folders) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW(InFolder(folder, L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            const std::string name = Lower(Utf8(found.cFileName));
            // Programs are started, not loaded: planted apart; WinPhlash.exe
            // is the stand-in's.
            const bool program = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
            if (program != programs || name == "winphlash.exe") continue;
            bool seen = false;
            for (const std::string& known : lowered) seen = seen || known == name;
            if (seen || !ModuleImage(InFolder(folder, found.cFileName))) continue;
            names.emplace_back(found.cFileName);
            lowered.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return names;
}

std::vector<std::wstring> WritablePathFolders()
{
    std::vector<std::wstring> writable;
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return writable;
    std::wstring path(size, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), size));
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t end = std::min(path.find(L';', start), path.size());
        const std::wstring folder = path.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) continue;
        // A file of this run's own, made and gone at once.
        const std::wstring probe =
            InFolder(folder, L"kestrel-check-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
        const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        CloseHandle(file);
        writable.push_back(folder);
    }
    return writable;
}

bool PreferExternalManifest()
{
    // KEY_WOW64_64KEY and KEY_WOW64_32KEY name the two views of 64-bit
    // Windows; 32-bit Windows has one and ignores them ("Accessing an
    // Alternate Registry View", Microsoft Learn).
    bool set = false;
    for (const REGSAM view : {REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_WOW64_32KEY)}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide", 0,
                          KEY_READ | view, &key) != ERROR_SUCCESS)
            continue;
        DWORD value = 0, size = sizeof value;
        set = (RegQueryValueExW(key, L"PreferExternalManifest", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                &size) == ERROR_SUCCESS &&
               value != 0) ||
              set;
        RegCloseKey(key);
    }
    return set;
}

std::string MachineLine(const WindowsVersion& version)
{
    BOOL wow64 = FALSE;
    using IsWow64Function = BOOL(WINAPI*)(HANDLE, BOOL*);
    if (const auto isWow64 = ExportOf<IsWow64Function>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process"))
        isWow64(GetCurrentProcess(), &wow64);
    const bool system32Only = ExportOf<FARPROC>(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
    const char* search = !system32Only                       ? "not available"
                         : System32OnlySearchSafeOn(version) ? "available, asked for"
                                                             : "available, not asked for on this version";
    return "machine: Windows " + std::to_string(version.major) + "." + std::to_string(version.minor) + ", WoW64 " +
           (wow64 ? "yes" : "no") + ", System32-only search " + search;
}

}  // namespace kestrel::check

namespace kestrel::check {

std::string PowerLine(bool& onBattery)
{
    SYSTEM_POWER_STATUS power = {};
    const bool read = GetSystemPowerStatus(&power) != FALSE;
    // The mains off (0) with a battery there (BatteryFlag neither 128, "no
    // system battery", nor 255, "unknown status": SYSTEM_POWER_STATUS,
    // Microsoft Learn), as the table of statuses for deployers says.
    onBattery = read && power.ACLineStatus == 0 && power.BatteryFlag != 128 && power.BatteryFlag != 255;
    const char* mains = !read                     ? "cannot be read"
                        : onBattery               ? "on battery (kestrel.exe refuses a flash: 4)"
                        : power.ACLineStatus == 1 ? "on mains"
                        : power.BatteryFlag & 128 ? "no battery"
                                                  : "not on battery as kestrel.exe reads it";
    return std::string("machine: power ") + mains + "; flash lock " +
           (RunsAsAdministrator() ? "may be taken by this account (administrator)"
                                  : "needs an administrator: a fleet launch here ends with 1");
}

bool OnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

AgentJob JobOfRuns(std::string& told)
{
    // A process "is associated with a job" when it is in one
    // (IsProcessInJob, Microsoft Learn), and a process it creates is put in
    // that job too, unless the job sets JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK
    // ("any child process ... is not associated with the job") or the
    // creator asks for CREATE_BREAKAWAY_FROM_JOB under
    // JOB_OBJECT_LIMIT_BREAKAWAY_OK (JOBOBJECT_BASIC_LIMIT_INFORMATION,
    // Microsoft Learn). This check asks for no breakaway: its runs of
    // kestrel.exe are in its job, and kestrel.exe's utility leaves it only
    // where BREAKAWAY_OK is set.
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) {
        told = "machine: job: none";
        return AgentJob::None;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr)) {
        // Its limits unread, the job may be one that keeps the utility:
        // the wait is held to what kestrel.exe promises there.
        told = "machine: job: the check runs in one whose limits cannot be read (error " +
               std::to_string(GetLastError()) + "), taken as one that allows no breakaway";
        return AgentJob::Kept;
    }
    const DWORD flags = limits.BasicLimitInformation.LimitFlags;
    if (flags & JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK) {
        told = "machine: job: the check runs in one whose processes' children are outside it";
        return AgentJob::None;
    }
    if (flags & JOB_OBJECT_LIMIT_BREAKAWAY_OK) {
        told = "machine: job: the check runs in one that lets the utility break away";
        return AgentJob::Left;
    }
    told = "machine: job: the check runs in one that allows no breakaway: the utility stays in it";
    return AgentJob::Kept;
}

}  // namespace kestrel::check
