// The update gate: what the board version prefix allows.
#pragma once

#include <string_view>

#include "board_prefix.h"
#include "ports.h"

namespace kestrel {

// Each file that uses these has its own (constexpr, not inline): the shared
// copy of an inline one, dropped by kestrel.exe's link-time optimisation,
// left the linker a section without its symbol, and a warning.
constexpr std::u16string_view kAcceptedPrefix = u"34";
constexpr std::u16string_view kFlashUtility = u"WinPhlash.exe";
constexpr int kNormalWindow = 1;   // shown normal size and focused
constexpr int kWarningStyle = 48;  // OK button, exclamation icon

constexpr std::u16string_view kPrivilegeText =
    u"You must be logged in with administrator privilege in order to update the system BIOS.  "
    u"The system BIOS will not be updated.";
constexpr std::u16string_view kPrivilegeCaption = u"WinFlash";
constexpr std::u16string_view kWrongModelText = u"This BIOS is not for your Notebook PC.";
constexpr std::u16string_view kWrongModelCaption = u"WinPhlash";
// Where another flash runs: shown with the utility's caption.
constexpr std::u16string_view kFlashRunningText =
    u"A BIOS update is already running.  The system BIOS will not be updated.";

enum class Decision { Privilege, WrongModel, Launch };

// Empty, an empty text or null: the board was not readable. A text without
// "34" in it: another model. Only the text "34" lets the flash utility start.
Decision Decide(const BoardPrefix& prefix);

// The warning a decision shows: its text and caption (both empty on the
// launch road, which shows none).
struct Warning {
    std::u16string_view text;
    std::u16string_view caption;
};
Warning WarningOf(Decision decision);

// The program's exit status, one per way a run ends.
enum ExitStatus : int {
    kExitLaunched = 0,
    kExitPrivilege = 1,
    kExitWrongModel = 2,
    kExitLaunchFailed = 3,
    kExitFlashRunning = 1618,  // ERROR_INSTALL_ALREADY_RUNNING: another flash runs
};

// Shows the decided message or launches the flash utility; returns the exit
// status. Where the utility would start while another flash runs, the flash
// running message instead, and nothing starts.
int RunGate(const BoardPrefix& prefix, UserShell& shell);

}  // namespace kestrel
