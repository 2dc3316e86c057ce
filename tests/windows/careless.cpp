// Test builds of kestrel.exe only: the release check's controls, kestrel.exe
// careless in one way each and itself in every other. The build renames some
// of the program's calls (definitions given to its compiler, nothing in its
// sources), which this file answers: GetCommandLineW, GetExitCodeProcess,
// GetSystemPowerStatus, WriteFile and SysStringLen, and wWinMain, which it
// wraps. The fault is the one KESTREL_CARELESS names in the environment
// (none: kestrel.exe as it is):
//  - no_target: /target: passed over;
//  - no_timeout: /timeout: passed over;
//  - no_tail: "--" and what follows never read;
//  - check_first: /check honoured only as the first argument;
//  - misspelt: a switch with a value that is none of kestrel's passed over
//    (/taget:, /timout:, /lg:);
//  - status_1641: the utility's 1641 (the installer started a restart) read
//    as 0;
//  - status_crash: an exception's status (0xC0000005 and the like) read as 0;
//  - own_statuses: the utility's status passed on where it is one of
//    kestrel's own added later (10, 11, 12, 1618) or STILL_ACTIVE (259);
//  - battery_wait: the power looked at only by a run that does not wait;
//  - no_starting: no line "starting" before the utility starts;
//  - late_starting: the line "starting" held back and written just before
//    the run's last (the log's bytes as kestrel.exe's, but a run ended during
//    the flash leaves no line);
//  - number: the board's version read as a number ("034A" as 34).
#undef GetCommandLineW
#undef GetExitCodeProcess
#undef GetSystemPowerStatus
#undef WriteFile
#undef SysStringLen
#undef wWinMain
#include <windows.h>
#include <oleauto.h>

namespace {

enum class Fault {
    None,
    NoTarget,
    NoTimeout,
    NoTail,
    CheckFirst,
    Misspelt,
    Status1641,
    StatusCrash,
    OwnStatuses,
    BatteryWait,
    NoStarting,
    LateStarting,
    Number
};

// The fault named in the environment, read once.
int gFault = -1;

Fault TheFault()
{
    if (gFault >= 0) return Fault(gFault);
    const struct {
        const wchar_t* name;
        Fault fault;
    } names[] = {{L"no_target", Fault::NoTarget},
                 {L"no_timeout", Fault::NoTimeout},
                 {L"no_tail", Fault::NoTail},
                 {L"check_first", Fault::CheckFirst},
                 {L"misspelt", Fault::Misspelt},
                 {L"status_1641", Fault::Status1641},
                 {L"status_crash", Fault::StatusCrash},
                 {L"own_statuses", Fault::OwnStatuses},
                 {L"battery_wait", Fault::BatteryWait},
                 {L"no_starting", Fault::NoStarting},
                 {L"late_starting", Fault::LateStarting},
                 {L"number", Fault::Number}};
    wchar_t value[32] = {};
    const DWORD n = GetEnvironmentVariableW(L"KESTREL_CARELESS", value, 32);
    gFault = int(Fault::None);
    for (const auto& named : names)
        if (n > 0 && n < 32 && lstrcmpW(value, named.name) == 0) gFault = int(named.fault);
    return Fault(gFault);
}

constexpr int kLongest = 32768;
wchar_t gLine[kLongest];

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Whether the argument [from, to), its quotes left out, begins with `word`
// (a lower-case switch after its "/" or "-"), regardless of case; `whole`:
// is no more than it.
bool Names(const wchar_t* from, const wchar_t* to, const wchar_t* word, bool whole)
{
    while (from < to && *from == L'"') ++from;
    if (from == to || (*from != L'/' && *from != L'-')) return false;
    ++from;
    for (; *word; ++word, ++from) {
        while (from < to && *from == L'"') ++from;
        if (from == to) return false;
        const wchar_t c = *from >= L'A' && *from <= L'Z' ? wchar_t(*from - L'A' + L'a') : *from;
        if (c != *word) return false;
    }
    while (from < to && *from == L'"') ++from;
    return !whole || from == to;
}

// Whether the argument is one a careless gate passes over, `first` when it
// is the first after the program's name.
bool PassedOver(const wchar_t* from, const wchar_t* to, bool first)
{
    switch (TheFault()) {
    case Fault::NoTarget: return Names(from, to, L"target:", false);
    case Fault::NoTimeout: return Names(from, to, L"timeout:", false);
    case Fault::CheckFirst: return !first && Names(from, to, L"check", true);
    case Fault::Misspelt: {
        bool value = false;
        for (const wchar_t* at = from; at < to; ++at) value = value || *at == L':';
        return value && !Names(from, to, L"target:", false) && !Names(from, to, L"timeout:", false) &&
               !Names(from, to, L"from:", false) && !Names(from, to, L"mincharge:", false) &&
               !Names(from, to, L"log:", false);
    }
    default: return false;
    }
}

LPWSTR WINAPI CarelessLine()
{
    static bool made = false;
    if (made) return gLine;
    made = true;
    const wchar_t* in = GetCommandLineW();
    int out = 0;
    bool program = true, first = true;
    while (*in && out < kLongest - 2) {
        while (Blank(*in)) ++in;
        if (!*in) break;
        const wchar_t* from = in;
        bool quoted = false;
        for (; *in && (quoted || !Blank(*in)); ++in)
            if (*in == L'"') quoted = !quoted;
        const bool tail = !program && Names(from, in, L"-", true);
        if (tail && TheFault() == Fault::NoTail) break;
        // What follows "--" is the utility's: as it stands.
        if (tail) in = from + lstrlenW(from);
        if (!program && !tail && PassedOver(from, in, first)) {
            first = false;
            continue;
        }
        if (!program) first = false;
        program = false;
        if (out > 0) gLine[out++] = L' ';
        for (const wchar_t* at = from; at < in && out < kLongest - 1; ++at) gLine[out++] = *at;
    }
    gLine[out] = L'\0';
    return gLine;
}

// The utility's status as last read.
DWORD gUtilityStatus = 0;

BOOL WINAPI ReadStatusCarelessly(HANDLE process, LPDWORD status)
{
    const BOOL read = GetExitCodeProcess(process, status);
    if (!read) return read;
    gUtilityStatus = *status;
    if (TheFault() == Fault::Status1641 && *status == 1641) *status = 0;
    if (TheFault() == Fault::StatusCrash && *status >= 0xC0000000u) *status = 0;
    return read;
}

// Whether the program's own command line holds "/wait", in any case.
bool Waits()
{
    for (const wchar_t* at = GetCommandLineW(); *at; ++at) {
        const wchar_t* word = L"/wait";
        const wchar_t* c = at;
        for (; *word && *c && (*c | 0x20) == (*word | 0x20); ++word, ++c) {
        }
        if (!*word) return true;
    }
    return false;
}

BOOL WINAPI ReadPowerCarelessly(LPSYSTEM_POWER_STATUS power)
{
    const BOOL read = GetSystemPowerStatus(power);
    if (read && TheFault() == Fault::BatteryWait && Waits()) power->ACLineStatus = 1;
    return read;
}

// Whether `data` holds `text`.
bool Holds(const void* data, DWORD size, const char* text)
{
    const char* bytes = static_cast<const char*>(data);
    const DWORD n = DWORD(lstrlenA(text));
    for (DWORD at = 0; at + n <= size; ++at) {
        DWORD i = 0;
        while (i < n && bytes[at + i] == text[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

// The line "starting" held back (late_starting).
char gStarting[4096];
DWORD gStartingSize = 0;

BOOL WINAPI WriteCarelessly(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    const bool starting = Holds(data, size, "\"decision\":\"starting\"");
    if (TheFault() == Fault::LateStarting && starting && size <= sizeof gStarting) {
        CopyMemory(gStarting, data, size);
        gStartingSize = size;
    }
    if ((TheFault() == Fault::NoStarting || TheFault() == Fault::LateStarting) && starting) {
        if (written) *written = size;
        return TRUE;
    }
    if (TheFault() == Fault::LateStarting && gStartingSize > 0 && Holds(data, size, "\"decision\":")) {
        DWORD put = 0;
        const DWORD held = gStartingSize;
        gStartingSize = 0;
        if (!WriteFile(file, gStarting, held, &put, nullptr) || put != held) return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

// The version's leading digits as the number they make ("034A" as "34").
UINT WINAPI VersionCarelessly(BSTR text)
{
    const UINT length = SysStringLen(text);
    if (TheFault() != Fault::Number || !text || length == 0 || text[0] < L'0' || text[0] > L'9') return length;
    unsigned long number = 0;
    for (UINT i = 0; i < length && text[i] >= L'0' && text[i] <= L'9' && number < 100000000; ++i)
        number = number * 10 + (text[i] - L'0');
    wchar_t digits[16];
    const int n = wsprintfW(digits, L"%lu", number);
    for (int i = 0; i < n; ++i) text[i] = digits[i];
    return UINT(n);
}

}  // namespace

// The import slots the renamed calls read: the careless readers in place of
// the system's.
extern "C" __attribute__((used))
LPWSTR(WINAPI* const kCarelessLineSlot)(void) asm("__imp__CarelessCommandLine@0") = CarelessLine;
extern "C" __attribute__((used))
BOOL(WINAPI* const kCarelessExitSlot)(HANDLE, LPDWORD) asm("__imp__CarelessExitCode@8") = ReadStatusCarelessly;
extern "C" __attribute__((used))
BOOL(WINAPI* const kCarelessPowerSlot)(LPSYSTEM_POWER_STATUS) asm("__imp__CarelessPowerStatus@4") = ReadPowerCarelessly;
extern "C" __attribute__((used))
BOOL(WINAPI* const kCarelessWriteSlot)(HANDLE, LPCVOID, DWORD, LPDWORD,
                                       LPOVERLAPPED) asm("__imp__CarelessWriteFile@20") = WriteCarelessly;
extern "C" __attribute__((used))
UINT(WINAPI* const kCarelessStringSlot)(BSTR) asm("__imp__CarelessStringLen@4") = VersionCarelessly;

// kestrel.exe's own entry, renamed by the build.
extern "C" int WINAPI KestrelWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show);

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show)
{
    const int status = KestrelWinMain(instance, previous, arguments, show);
    // 6: the utility's status hidden as one of kestrel's own.
    const DWORD utility = gUtilityStatus;
    if (TheFault() == Fault::OwnStatuses && status == 6 &&
        (utility == 10 || utility == 11 || utility == 12 || utility == 259 || utility == 1618))
        return int(utility);
    return status;
}
