#include "fleet_shell.h"

#include <vector>

#include <winternl.h>

#include "../log_tail.h"
#include "admin_only.h"
#include "handle.h"
#include "late_bound.h"
#include "program_path.h"
#include "runtime.h"
#include "utility_start.h"
#include "wide.h"

namespace kestrel {

bool WindowsFleetShell::ShowMessage(std::u16string_view text, int style, std::u16string_view caption)
{
    return boxes_.ShowMessage(text, style, caption);
}

bool WindowsFleetShell::UtilityPresent(std::u16string_view fileName)
{
    if (folder_.empty()) return false;
    const std::wstring path = InFolder(folder_, Wide(fileName));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) && MapsAsImage(path);
}

bool WindowsFleetShell::OnBattery()
{
    SYSTEM_POWER_STATUS power = {};
    return GetSystemPowerStatus(&power) && OnBatteryPower(power.ACLineStatus, power.BatteryFlag);
}

BatteryCharge WindowsFleetShell::Charge()
{
    SYSTEM_POWER_STATUS power = {};
    return GetSystemPowerStatus(&power) ? ChargeOf(power.BatteryFlag, power.BatteryLifePercent) : BatteryCharge{};
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
    // A utility that the loader ended (a DLL of its missing) never ran: no
    // start, whether waited for or not.
    if (end.started && !PastLoader(starter_.process())) {
        end.started = false;
        SetInternalFailureStatus(kExitLaunchFailed);
    }
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

std::wstring NtName(const std::wstring& path)
{
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\??\\" + path;
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'.')
        return L"\\??\\UNC" + path.substr(1);
    return {};
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
// stay), and a run that finds another writing waits for it a while; never
// for a holder of an opportunistic lock, which could hold it for ever while
// this run holds the start of the flash: "FILE_COMPLETE_IF_OPLOCKED ...
// Complete this operation immediately with an alternate success code of
// STATUS_OPLOCK_BREAK_IN_PROGRESS if the target file is oplocked, rather
// than blocking the caller's thread" (NtCreateFile, Microsoft Learn). Such
// a log is somebody else's: refused.
Handle OpenLog(const std::wstring& log, bool administrator)
{
    const std::wstring path = FullPath(log);
    if (path.empty() || ThroughReparsePoint(path)) return Handle();
    std::wstring name = NtName(path);
    // NtCreateFile alone can open a file without waiting for an
    // opportunistic lock that another process holds on it to be given up.
    const auto create = LateBound(kNtCreateFile);
    if (name.empty() || name.size() > 32767 || !create) return Handle();
    // Made by an administrator: owned by the Administrators group, for
    // administrators and SYSTEM alone. A user who could read it could also
    // hold it open without sharing it for writing, and so keep every run's
    // line out.
    const SecurityDescriptor sd(administrator ? "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)" : nullptr);
    UNICODE_STRING text = {USHORT(name.size() * 2), USHORT(name.size() * 2), name.data()};
    // A pipe's server may act as the client only at identification level,
    // never as this run: "the server process can obtain information about
    // the client, such as security identifiers and privileges, but it cannot
    // impersonate the client" (SECURITY_IMPERSONATION_LEVEL, Microsoft Learn).
    SECURITY_QUALITY_OF_SERVICE quality = {sizeof quality, SecurityIdentification, SECURITY_STATIC_TRACKING, FALSE};
    OBJECT_ATTRIBUTES object = {sizeof object, nullptr, &text, OBJ_CASE_INSENSITIVE, sd.get(), &quality};
    constexpr ULONG kOpenIf = 3, kNonDirectory = 0x40, kSynchronous = 0x20, kCompleteIfOplocked = 0x100,
                    kReparsePoint = 0x200000;
    constexpr LONG kOplockBreakInProgress = 0x108, kSharingViolation = LONG(0xC0000043);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The reparse point itself, if the name is one, so that it is seen
        // and refused rather than followed.
        HANDLE opened = nullptr;
        IO_STATUS_BLOCK io = {};
        const LONG status = create(&opened, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &object, &io, nullptr,
                                   FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, kOpenIf,
                                   kNonDirectory | kSynchronous | kReparsePoint | kCompleteIfOplocked, nullptr, 0);
        Handle file(status >= 0 ? opened : nullptr);
        if (status >= 0 && status != kOplockBreakInProgress) return file;
        if (status != kSharingViolation) return Handle();
        Sleep(20);
    }
    return Handle();
}

// Appends `line` to the log (see AppendLog); `account` is the run's SID, or
// null.
bool AppendLine(const std::wstring& log, std::string_view line, const void* account)
{
    const bool administrator = RunsAsAdministrator();
    const Handle file = OpenLog(log, administrator);
    BY_HANDLE_FILE_INFORMATION info = {};
    // A device, a pipe, a link to another file, a reparse point: refused.
    // So is, for an administrator's run, a log that a standard user could
    // have made first, where users may make files: its lines would be that
    // user's to forge. Such a user can give a file neither the
    // Administrators group, nor SYSTEM, nor this run's account as its owner
    // (it takes a SID of the user's own token, or SeRestorePrivilege).
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
        info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (administrator && !OwnedByAdministrators(file.get(), account)))
        return false;
    const std::uint64_t size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    char last = 0;
    DWORD got = 0;
    if (size > 0 && (!MoveTo(file.get(), size - 1) || !ReadFile(file.get(), &last, 1, &got, nullptr) || got != 1))
        return false;
    // Nothing that stands there is taken away: a line another writer did not
    // end stays, and this one starts on a line of its own. Nobody else
    // writes to it meanwhile: two writes make one line.
    DWORD written = 0;
    if (MoveTo(file.get(), size) &&
        (!LineFeedFirst(std::string_view(&last, got)) ||
         (WriteFile(file.get(), "\n", 1, &written, nullptr) && written == 1)) &&
        WriteFile(file.get(), line.data(), DWORD(line.size()), &written, nullptr) && written == line.size())
        return true;
    // Part of it may be there: what this run wrote goes, so that the log
    // ends as it did.
    CutAt(file.get(), size);
    return false;
}

// On the console the program was started from, if any; true when told.
bool TellConsole(std::u16string_view text)
{
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    const Handle console(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    // The console stays attached until the program ends, soon after.
    return console && WriteConsoleW(console.get(), text.data(), DWORD(text.size()), &written, nullptr) &&
           WriteConsoleW(console.get(), L"\r\n", 2, &written, nullptr);
}

}  // namespace

bool WindowsFleetShell::AppendLog(std::string_view line)
{
    if (log_.empty() || AppendLine(log_, line, account_[0] == 1 ? account_ : nullptr)) return true;
    // Said once where someone may read it; the run's status stays its road's.
    if (!toldLog_) toldLog_ = TellConsole(u"kestrel: no line written to " + Utf16(FullPath(log_)));
    return false;
}

void WindowsFleetShell::TellUsage(std::u16string_view text, bool error)
{
    // Started from a console (cmd, PowerShell): the usage goes there.
    if (TellConsole(text)) return;
    boxes_.ShowMessage(text, error ? kUsageErrorStyle : kUsageHelpStyle, kUsageCaption);
}

}  // namespace kestrel
