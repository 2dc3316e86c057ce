// A fleet run's lines for its log, read by reporting tools: one JSON object
// a line, UTF-8, with the same keys in the same order on every road, null
// where a value is not known:
//
//   started     local time the run started, ISO 8601 with its offset
//   kestrel     kestrel's version
//   run         the run's id, shared by its lines
//   computer, account (with its domain), session
//   board       the board's version as read; boardNotRead: the step that
//               failed when none was read
//   bios        the firmware's version as read; biosNotRead: likewise
//   target      the version asked for with /target
//   bitlocker   what was done about disk protection, when asked
//   argument    what was not understood, on the usage road
//   decision    what the run decided ("starting" on the line before the start)
//   result      "succeeded", "failed", "unknown" or "not started"
//   status      kestrel's exit status (null before the start)
//   utility     the utility's exit status as a signed 32-bit number, as
//               management tools show it; utilityHex: the same in hex
//   durationMs  milliseconds since the run started
//   accountSid  the account's SID ("S-1-5-18"), which no language changes;
//               null where there is none (Linux)
//   agentJob    the job kestrel was started in (an agent's): "left" when
//               the utility broke away from it, "kept" when the job allows
//               none and its end ends the flash; null outside a job or
//               before a start
//   lockOwner   the SID of the owner of a user's object that holds the
//               flash lock's name ("lock squatted"), when it can be read
//   from        the versions given with /from, as a list
//   charge      with /mincharge, the battery's charge in percent as read
#pragma once

#include <cstdint>
#include <string>

#include "fleet.h"

namespace kestrel {

enum class LogMoment { Starting, Ended };

std::string LogLine(const RunFacts& facts, const FleetRequest& request, const FleetResult& result,
                    std::uint32_t durationMs, LogMoment moment);

}  // namespace kestrel
