// Where a box is shown and where its message goes to the console session
// instead.
#include <gtest/gtest.h>

#include "windows/message_shell.h"

namespace kestrel {
namespace {

TEST(BoxSeen, OnlyWhereSomeoneLooks)
{
    constexpr unsigned long kNoConsole = 0xFFFFFFFF;
    const struct {
        BoxSeat seat;
        bool seen;
    } cases[] = {
        {{true, true, 1, 1}, true},            // the console user's own run (Vista on; Wine)
        {{true, true, 0, 0}, true},            // XP: the console user shares session 0
        {{true, true, 2, 1}, true},            // a Remote Desktop user's own run
        {{true, true, 3, kNoConsole}, true},   // the same, no one at the console
        {{true, true, 0, 1}, false},           // session 0's WinSta0 from Vista on
        {{true, true, 0, kNoConsole}, false},  // session 0, the console between users
        {{false, true, 1, 1}, false},          // a window station nobody sees
        {{false, true, 0, 0}, false},          // the same, in session 0
        {{true, false, 0, 1}, false},          // the session unknown
        // With the session's connect state: only an active session sees a box.
        {{true, true, 1, 1, true, true}, true},           // the console user's own run
        {{true, true, 2, 1, true, false}, false},         // a disconnected Remote Desktop session
        {{true, true, 1, 2, true, false}, false},         // a user switched away from
        {{true, true, 0, 0, true, false}, false},         // XP's session 0, nobody logged on
        {{true, true, 0, kNoConsole, true, true}, true},  // XP's session 0 over Remote Desktop
        {{true, true, 0, 1, true, true}, true},           // session 0 with its user looking at it
        {{false, true, 1, 1, true, true}, false},         // a window station nobody sees
        {{true, false, 1, 1, true, true}, true},          // the session's number unknown, its state known
    };
    for (const auto& c : cases)
        EXPECT_EQ(BoxSeen(c.seat), c.seen)
            << c.seat.stationVisible << " " << c.seat.sessionKnown << " " << c.seat.processSession << " "
            << c.seat.consoleSession << " " << c.seat.stateKnown << c.seat.active;
}

}  // namespace
}  // namespace kestrel
