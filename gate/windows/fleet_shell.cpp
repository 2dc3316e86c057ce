#include "fleet_shell.h"

#include <vector>

#include "../log_tail.h"
#include "admin_only.h"
#include "dll_search.h"
#include "handle.h"
#include "program_path.h"
#include "runtime.h"
#include "wide.h"

namespace kestrel {

bool WindowsFleetShell::ShowMessage(std::u16string_view text, int style, std::u16string_view caption)
{
    return boxes_.ShowMessage(text, style, caption);
}

bool WindowsFleetShell::UtilityPresent(std::u16string_view fileName)
{
    if (folder_.empty()) return false;
    const DWORD attributes = GetFileAttributesW(InFolder(folder_, Wide(fileName)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WindowsFleetShell::OnBattery()
{
    SYSTEM_POWER_STATUS power = {};
    return GetSystemPowerStatus(&power) && OnBatteryPower(power.ACLineStatus, power.BatteryFlag);
}

UtilityEnd WindowsFleetShell::Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                                     bool mayPrompt)
{
    UtilityEnd end;
    if (folder_.empty()) return end;
    const std::u16string path = Utf16(InFolder(folder_, Wide(fileName)));
    const ProcessStarter::Result started = StartElevatingIfRequired(starter_, path, windowState, mayPrompt);
    end.started = started == ProcessStarter::Result::Started;
    end.needsElevation = started == ProcessStarter::Result::ElevationRequired;
    end.keptInAgentJob = end.started && starter_.keptInAgentJob();
    if (!end.started || !wait) return end;
    // While the flash runs, and after it, kestrel's own failure ends with
    // what the run would have told.
    SetInternalFailureStatus(kExitUtilityStatusHidden);
    const HANDLE process = starter_.process();
    end.timedOut = !job_.Wait(process, timeoutMinutes * 60000);
    // Past the limit the flash keeps the lock through its own processes.
    job_.Release();
    if (end.timedOut) {
        SetInternalFailureStatus(kExitTimedOut);
        return end;
    }
    DWORD status = 0;
    if (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &status))
        end.status = status;
    SetInternalFailureStatus(unsigned(WaitedStatus(end.status)));
    return end;
}

namespace {

bool MoveTo(HANDLE file, std::uint64_t at)
{
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(at);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

// Cuts the file at `at`.
bool CutAt(HANDLE file, std::uint64_t at) { return MoveTo(file, at) && SetEndOfFile(file); }

// The full path of `path` (a relative one is the current folder's), with
// "." and ".." taken out; empty when it cannot be made.
std::wstring FullPath(const std::wstring& path)
{
    const DWORD room = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (room == 0) return {};
    std::vector<wchar_t> full(room);
    const DWORD n = GetFullPathNameW(path.c_str(), room, full.data(), nullptr);
    return n < room ? std::wstring(full.data(), n) : std::wstring();
}

// Whether a folder on the way to the full path `path` is a reparse point (a
// junction or a symbolic link that a user may have made where the log's
// folder was meant to be, to send the line into another file), or one whose
// attributes cannot be read (a device's name, a folder that is not there).
bool ThroughReparsePoint(std::wstring path)
{
    for (std::size_t at = RootLength(path); (at = path.find_first_of(L"\\/", at)) != std::wstring::npos; ++at) {
        const wchar_t separator = path[at];
        path[at] = L'\0';
        const DWORD attributes = GetFileAttributesW(path.c_str());
        path[at] = separator;
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    return false;
}

// Opens the log for this run alone: other writers are kept out (a reader may
// stay), and a run that finds another writing waits for it a while.
Handle OpenLog(const std::wstring& log)
{
    const std::wstring path = FullPath(log);
    if (path.empty() || ThroughReparsePoint(path)) return Handle();
    // Made by an administrator: for administrators and SYSTEM alone. A user
    // who could read it could also hold it open without sharing it for
    // writing, and so keep every run's line out.
    const SecurityDescriptor sd(RunsAsAdministrator() ? "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)" : nullptr);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The reparse point itself, if the name is one, so that it is seen
        // and refused rather than followed. A pipe's server may act as the
        // client only at identification level, never as this run: "the
        // server process can obtain information about the client, such as
        // security identifiers and privileges, but it cannot impersonate the
        // client" (SECURITY_IMPERSONATION_LEVEL, Microsoft Learn).
        Handle file(CreateFileW(
            path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, sd.get() ? &attributes : nullptr, OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
            nullptr));
        if (file || GetLastError() != ERROR_SHARING_VIOLATION) return file;
        Sleep(20);
    }
    return Handle();
}

}  // namespace

bool WindowsFleetShell::AppendLog(std::string_view line)
{
    if (log_.empty()) return true;
    const Handle file = OpenLog(log_);
    BY_HANDLE_FILE_INFORMATION info = {};
    // A device, a pipe, a link to another file, a reparse point: refused.
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
        info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    const std::uint64_t size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    char tail[kLogTailBytes];
    const DWORD want = DWORD(size < sizeof tail ? size : sizeof tail);
    DWORD got = 0;
    if (!MoveTo(file.get(), size - want) || !ReadFile(file.get(), tail, want, &got, nullptr) || got != want)
        return false;
    const LogMend mend = MendLogTail(std::string_view(tail, got), size);
    if (mend.keep != size && !CutAt(file.get(), mend.keep)) return false;
    if (!MoveTo(file.get(), mend.keep)) return false;
    // Nobody else writes to it meanwhile: two writes make one line.
    DWORD written = 0;
    if ((!mend.newline || (WriteFile(file.get(), "\n", 1, &written, nullptr) && written == 1)) &&
        WriteFile(file.get(), line.data(), DWORD(line.size()), &written, nullptr) && written == line.size())
        return true;
    // Part of it may be there: it goes, so that the log ends in a whole line.
    CutAt(file.get(), mend.keep);
    return false;
}

void WindowsFleetShell::TellUsage(std::u16string_view text, bool error)
{
    // Started from a console (cmd, PowerShell): the usage goes there.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        const bool told = console != INVALID_HANDLE_VALUE &&
                          WriteConsoleW(console, text.data(), DWORD(text.size()), &written, nullptr) &&
                          WriteConsoleW(console, L"\r\n", 2, &written, nullptr);
        // The console stays attached until the program ends, soon after.
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        if (told) return;
    }
    boxes_.ShowMessage(text, error ? kUsageErrorStyle : kUsageHelpStyle, kUsageCaption);
}

}  // namespace kestrel
