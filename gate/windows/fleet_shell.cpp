#include "fleet_shell.h"

#include "dll_search.h"
#include "program_path.h"
#include "wide.h"

namespace kestrel {

WindowsFleetShell::~WindowsFleetShell()
{
    if (!lock_) return;
    ReleaseMutex(lock_);
    CloseHandle(lock_);
}

bool WindowsFleetShell::ShowMessage(std::u16string_view text, int style, std::u16string_view caption)
{
    return boxes_.ShowMessage(text, style, caption);
}

bool WindowsFleetShell::HoldFlashLock()
{
    if (lock_) return true;
    const HANDLE lock = CreateMutexW(nullptr, FALSE, kFlashLockName);
    if (!lock) return false;
    const DWORD taken = WaitForSingleObject(lock, 0);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) {
        CloseHandle(lock);
        return false;
    }
    lock_ = lock;
    return true;
}

bool WindowsFleetShell::OnBattery()
{
    SYSTEM_POWER_STATUS power = {};
    return GetSystemPowerStatus(&power) && power.ACLineStatus == 0;
}

UtilityEnd WindowsFleetShell::Launch(std::u16string_view fileName, int windowState, bool wait)
{
    UtilityEnd end;
    if (folder_.empty()) return end;
    end.started = StartElevatingIfRequired(starter_, Utf16(InFolder(folder_, Wide(fileName))), windowState);
    const HANDLE process = starter_.process();
    DWORD status = 0;
    if (end.started && wait && process && WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process, &status))
        end.status = status;
    return end;
}

std::string LocalTimeText(const SYSTEMTIME& local, long biasMinutes)
{
    // The bias is UTC minus local time.
    const long offset = -biasMinutes;
    const unsigned minutes = unsigned(offset < 0 ? -offset : offset);
    const unsigned fields[] = {local.wYear,   local.wMonth,  local.wDay,   local.wHour,
                               local.wMinute, local.wSecond, minutes / 60, minutes % 60};
    // "YYYY-MM-DDThh:mm:ss+hh:mm": each field ends three places after the last.
    char text[25];
    for (std::size_t f = 0; f < 8; ++f) {
        const std::size_t last = 3 + 3 * f;
        unsigned value = fields[f];
        for (std::size_t digit = 0; digit < (f == 0 ? 4u : 2u); ++digit, value /= 10)
            text[last - digit] = char('0' + value % 10);
        if (f < 7) text[last + 1] = f < 2 ? '-' : f == 2 ? 'T' : f == 5 ? (offset < 0 ? '-' : '+') : ':';
    }
    return std::string(text, sizeof text);
}

RunFacts WindowsFleetShell::Facts()
{
    RunFacts facts;
    SYSTEMTIME local = {};
    GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone = {};
    const DWORD which = GetTimeZoneInformation(&zone);
    long bias = zone.Bias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    facts.time = LocalTimeText(local, bias);
    wchar_t name[257];
    DWORD size = 257;
    if (GetComputerNameW(name, &size)) facts.computer = Utf16(std::wstring_view(name, size));
    // GetUserNameW is advapi32's, loaded from System32 only; the size it
    // gives back counts the terminating null.
    using GetUserNameFunction = BOOL(WINAPI*)(LPWSTR, LPDWORD);
    const auto getUserName = ExportOf<GetUserNameFunction>(LoadSystemLibrary(L"advapi32.dll"), "GetUserNameW");
    size = 257;
    if (getUserName && getUserName(name, &size) && size > 0) facts.account = Utf16(std::wstring_view(name, size - 1));
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) facts.session = session;
    return facts;
}

bool WindowsFleetShell::AppendLog(std::string_view line)
{
    if (log_.empty()) return true;
    const HANDLE file = CreateFileW(log_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr) && written == line.size();
    CloseHandle(file);
    return whole;
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
