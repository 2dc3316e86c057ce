#include "box_seat.h"

#include <windows.h>

#include <cstring>

#include "late_bound.h"

namespace kestrel {

namespace {

bool WindowStationVisible()
{
    // "To determine whether the service is running in an interactive
    // window station ... call the GetUserObjectInformation function with
    // UOI_FLAGS and check for WSF_VISIBLE" (Microsoft, Interactive
    // Services). The handle is the process's own and is not closed.
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

bool BoxSeen(const BoxSeat& seat)
{
    if (!seat.stationVisible) return false;
    if (seat.stateKnown) return seat.active;
    if (!seat.sessionKnown) return false;
    return !(seat.processSession == 0 && seat.consoleSession != 0);
}

BoxSeat ThisBoxSeat()
{
    BoxSeat seat;
    seat.stationVisible = WindowStationVisible();
    DWORD session = 0;
    seat.sessionKnown = ProcessIdToSessionId(GetCurrentProcessId(), &session) != FALSE;
    seat.processSession = session;
    seat.consoleSession = WTSGetActiveConsoleSessionId();
    // wtsapi32 from System32 only, looked up at run time like the message
    // that goes to the console session.
    const auto query = LateBound(kWTSQuerySessionInformationW);
    const auto release = LateBound(kWTSFreeMemory);
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (query && release && query(nullptr, WTS_CURRENT_SESSION, WTSConnectState, &buffer, &bytes) && buffer) {
        if (bytes >= sizeof(int)) {
            int state = 0;
            std::memcpy(&state, buffer, sizeof state);
            seat.stateKnown = true;
            seat.active = state == WTSActive;
        }
        release(buffer);
    }
    return seat;
}

}  // namespace kestrel
