// Where a box can be seen: whether someone looks at this process's window
// station and session.
#pragma once

namespace kestrel {

// Where this process would show a box: whether its window station is one
// that a user sees, and its session beside the active console's.
struct BoxSeat {
    bool stationVisible = false;  // WSF_VISIBLE; false when unreadable
    bool sessionKnown = false;    // ProcessIdToSessionId answered
    unsigned long processSession = 0;
    unsigned long consoleSession = 0;  // 0xFFFFFFFF: no one at the console
    // This session's connect state (WTSQuerySessionInformationW,
    // WTSConnectState): whether it could be read, and whether it is
    // WTSActive, a user connected and looking at it.
    bool stateKnown = false;
    bool active = false;
};

// Whether a box shown here is seen by someone. The window station must be
// visible, and the session active: a disconnected Remote Desktop session, a
// user switched away from, or XP's session 0 with nobody logged on is not,
// and XP's session 0 taken over by Remote Desktop is. Where the state cannot
// be read, the session must be known and the process not in session 0 while
// the console is another session: from Vista on, session 0 is the services'
// and nobody looks at it ("Services cannot directly interact with a user as
// of Windows Vista", Microsoft, "Interactive Services"), though its WinSta0
// is as visible as any; on XP the console user shares session 0 and sees
// it. Everywhere else the message goes to the console session.
bool BoxSeen(const BoxSeat& seat);

// This process's seat, as the system tells it.
BoxSeat ThisBoxSeat();

}  // namespace kestrel
