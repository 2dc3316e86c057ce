// The board identification probe.
#pragma once

#include <cstdint>
#include <string_view>

#include "board_prefix.h"
#include "ports.h"

namespace kestrel {

inline constexpr std::u16string_view kComputerName = u".";
inline constexpr std::u16string_view kBoardQuery = u"Select * from WIN32_BaseBoard";
// The firmware's own version: an instance's version is its SMBIOSBIOSVersion.
inline constexpr std::u16string_view kBiosQuery = u"Select * from Win32_BIOS";
// wbemFlagReturnImmediately (16) + wbemFlagForwardOnly (32).
inline constexpr std::int32_t kBoardQueryFlags = 48;

// Where the walk stopped when no Version was read.
enum class ProbeStep { None, Bind, Query, Enumeration, Property, NoBoard, Ambiguous };

// What the probe read: the prefix, the whole Version that set it (Failed
// when no read gave one), and, when none did, the step that stopped it.
struct BoardReport {
    BoardPrefix prefix;
    VersionRead version;
    ProbeStep failedAt = ProbeStep::None;
};

// The walk of ProbeBoard, with what it read.
BoardReport ReadBoard(Management& management);

// The same walk over the firmware's instances: its version (the prefix
// unused), or the step that stopped the walk. A machine has one firmware: a
// second instance (a malformed table) is Ambiguous, and no version is read,
// so that no run takes the machine for one at its target on its word.
BoardReport ReadBios(Management& management);

// Binds the local cimv2 namespace, queries the base boards and keeps the first
// two characters of the last Version read. Each failure leaves the prefix as
// it stood: a failed bind, query or start of the walk leaves it empty, a failed
// Version read skips that board, a failed advance ends the walk.
BoardPrefix ProbeBoard(Management& management);

}  // namespace kestrel
