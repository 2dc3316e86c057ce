// The facts of a fleet run that its log lines name.
#include <cstring>

#include "admin_only.h"
#include "late_bound.h"
#include "fleet_shell.h"
#include "wide.h"

namespace kestrel {

namespace {

// The account this process runs as: "DOMAIN\name" from its token's user,
// in the system's language ("NT-AUTORITÄT\SYSTEM" on a German Windows), and
// its SID as text ("S-1-5-18"), which no language changes; each empty when
// it cannot be told. advapi32 is loaded from System32 only.
void ReadAccount(RunFacts& facts, BYTE (&sid)[68])
{
    const auto openToken = LateBound(kOpenProcessToken);
    const auto getToken = LateBound(kGetTokenInformation);
    const auto lookup = LateBound(kLookupAccountSidW);
    HANDLE token = nullptr;
    if (!openToken || !getToken || !openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    // A TOKEN_USER and its SID: a SID is at most 68 bytes.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + 68];
    } owner;
    DWORD size = 0;
    const bool read = getToken(token, TokenUser, &owner, sizeof owner, &size);
    CloseHandle(token);
    if (!read) return;
    const auto* bytes = static_cast<const BYTE*>(owner.user.User.Sid);
    if (8 + 4 * std::size_t(bytes[1]) <= sizeof sid) std::memcpy(sid, bytes, 8 + 4 * std::size_t(bytes[1]));
    facts.accountSid = SidText(owner.user.User.Sid);
    // Names of up to 256 characters (UNLEN, DNLEN is less), as
    // LookupAccountSidW's page suggests for its buffers.
    wchar_t name[257], domain[257];
    DWORD nameSize = 257, domainSize = 257;
    SID_NAME_USE use;
    if (!lookup || !lookup(nullptr, owner.user.User.Sid, name, &nameSize, domain, &domainSize, &use)) return;
    facts.account = Utf16(std::wstring_view(domain, domainSize));
    if (!facts.account.empty()) facts.account += u'\\';
    facts.account += Utf16(std::wstring_view(name, nameSize));
}

}  // namespace

std::string LocalTimeText(const SYSTEMTIME& local, long biasMinutes)
{
    // The bias is UTC minus local time.
    const long offset = -biasMinutes;
    const unsigned minutes = unsigned(offset < 0 ? -offset : offset);
    char text[32];
    const int n =
        wsprintfA(text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02u:%02u", unsigned(local.wYear), unsigned(local.wMonth),
                  unsigned(local.wDay), unsigned(local.wHour), unsigned(local.wMinute), unsigned(local.wSecond),
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::string(text, n > 0 ? std::size_t(n) : 0);
}

RunFacts WindowsFleetShell::Facts()
{
    RunFacts facts;
    facts.ticks = GetTickCount();
    SYSTEMTIME local = {};
    GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone = {};
    const DWORD which = GetTimeZoneInformation(&zone);
    long bias = zone.Bias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    facts.started = LocalTimeText(local, bias);
    // A process's id is unique among the processes that run at one time,
    // and the time in 100 ns steps tells those apart that ran one after another.
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    facts.run = RunId(GetCurrentProcessId(), (std::uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    wchar_t name[257];
    DWORD size = 257;
    if (GetComputerNameW(name, &size)) facts.computer = Utf16(std::wstring_view(name, size));
    ReadAccount(facts, account_);
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) facts.session = session;
    return facts;
}

}  // namespace kestrel
