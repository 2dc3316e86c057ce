#include "fleet.h"

#include "utf8.h"

namespace kestrel {

int WaitedStatus(std::optional<std::uint32_t> utility)
{
    if (!utility) return kExitUtilityStatusHidden;
    const std::uint32_t status = *utility;
    constexpr std::uint32_t kStillActive = 259;
    // 1 to 4, 6, 7, 9, 10, 70 and 1618 are kestrel's own.
    if ((status >= kExitPrivilege && status <= kExitOnBattery) || status == kExitUtilityStatusHidden ||
        status == kExitUsage || status == kExitTimedOut || status == kExitWouldStart ||
        status == kExitInternalFailure || status == kExitFlashRunning || status == kStillActive)
        return kExitUtilityStatusHidden;
    return static_cast<int>(status);
}

FleetResult RunFleet(Management& management, FleetShell& shell, const FleetRequest& request)
{
    FleetResult result;
    result.board = ReadBoard(management);
    Decision decision = Decide(result.board.prefix);
    // A run without the rights to the flash lock takes the privilege road:
    // its message says what is missing.
    // Only deciding: the lock is looked at, not taken.
    const FlashLock lock = decision != Decision::Launch ? FlashLock::Held
                           : request.check              ? shell.PeekFlashLock()
                                                        : shell.TakeFlashLock();
    if (lock == FlashLock::NoRights) decision = Decision::Privilege;
    if (decision != Decision::Launch) {
        const Warning warning = WarningOf(decision);
        if (!request.quiet && !request.check) shell.ShowMessage(warning.text, kWarningStyle, warning.caption);
        result.outcome = lock == FlashLock::NoRights        ? FleetOutcome::NeedsAdministrator
                         : decision == Decision::WrongModel ? FleetOutcome::WrongModel
                                                            : FleetOutcome::Privilege;
        result.status = decision == Decision::WrongModel ? kExitWrongModel : kExitPrivilege;
        return result;
    }
    if (lock == FlashLock::FlashRunning) {
        result.outcome = FleetOutcome::FlashRunning;
        result.status = kExitFlashRunning;
        return result;
    }
    if (shell.OnBattery()) {
        result.outcome = FleetOutcome::OnBattery;
        result.status = kExitOnBattery;
        return result;
    }
    if (request.check) {
        if (shell.UtilityPresent(kFlashUtility)) {
            result.outcome = FleetOutcome::WouldStart;
            result.status = kExitWouldStart;
        } else {
            result.outcome = FleetOutcome::LaunchFailed;
            result.status = kExitLaunchFailed;
        }
        return result;
    }
    result.utility = shell.Launch(kFlashUtility, kNormalWindow, request.wait, request.wait ? request.timeoutMinutes : 0,
                                  !request.quiet);
    if (result.utility.needsElevation) {
        result.outcome = FleetOutcome::NeedsAdministrator;
        result.status = kExitPrivilege;
    } else if (!result.utility.started) {
        result.outcome = FleetOutcome::LaunchFailed;
        result.status = kExitLaunchFailed;
    } else if (result.utility.timedOut) {
        // kestrel stops waiting; the flash goes on, and keeps the lock.
        result.outcome = FleetOutcome::TimedOut;
        result.status = kExitTimedOut;
    } else {
        result.outcome = FleetOutcome::Launched;
        result.status = request.wait ? WaitedStatus(result.utility.status) : kExitLaunched;
    }
    return result;
}

FleetResult RunUsageError(FleetShell& shell, const FleetRequest& request, std::u16string_view argument,
                          std::u16string_view usage, std::u16string_view why)
{
    FleetResult result;
    result.outcome = FleetOutcome::Usage;
    result.status = kExitUsage;
    result.argument = std::u16string(argument);
    if (request.quiet) return result;
    if (why.empty()) {
        shell.TellUsage(usage, false);
        return result;
    }
    std::u16string text(why);
    text += argument;
    text += u"\n";
    text += usage;
    shell.TellUsage(text, true);
    return result;
}

namespace {

// A text as a JSON string: quotes, backslashes and control characters
// escaped, and a lone surrogate as its code, so that the text stands
// exactly; the rest as UTF-8.
void Quote(std::string& line, std::u16string_view text)
{
    line += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool pair =
            c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (c == u'"' || c == u'\\') {
            line += '\\';
            line += char(c);
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF && !pair)) {
            line += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                const int digit = (c >> shift) & 0xF;
                line += char(digit < 10 ? '0' + digit : 'a' + digit - 10);
            }
        } else {
            ForEachUtf8(text.substr(i, pair ? 2 : 1),
                        [&line](const char* bytes, std::size_t n) { line.append(bytes, n); });
            if (pair) ++i;
        }
    }
    line += '"';
}

void Number(std::string& line, std::uint32_t n)
{
    char digits[10];
    std::size_t used = 0;
    do digits[used++] = char('0' + n % 10);
    while ((n /= 10) != 0);
    while (used > 0) line += digits[--used];
}

std::string_view StepName(ProbeStep step)
{
    switch (step) {
    case ProbeStep::Bind: return "bind";
    case ProbeStep::Query: return "query";
    case ProbeStep::Enumeration: return "enumeration";
    case ProbeStep::Property: return "property";
    case ProbeStep::NoBoard: return "no board";
    case ProbeStep::None: break;
    }
    return "none";
}

std::string_view OutcomeName(FleetOutcome outcome)
{
    switch (outcome) {
    case FleetOutcome::Privilege: return "privilege";
    case FleetOutcome::WrongModel: return "wrong model";
    case FleetOutcome::FlashRunning: return "flash running";
    case FleetOutcome::OnBattery: return "on battery";
    case FleetOutcome::LaunchFailed: return "launch failed";
    case FleetOutcome::Launched: return "launched";
    case FleetOutcome::Usage: return "usage";
    case FleetOutcome::NeedsAdministrator: return "needs administrator";
    case FleetOutcome::TimedOut: return "timed out";
    case FleetOutcome::WouldStart: return "would start";
    }
    return "usage";
}

}  // namespace

std::string LogLine(const RunFacts& facts, const FleetResult& result, const FleetRequest& request)
{
    std::string line = R"({"time":")";
    line += facts.time;
    line += '"';
    line += R"(,"computer":)";
    Quote(line, facts.computer);
    line += R"(,"account":)";
    Quote(line, facts.account);
    line += R"(,"session":)";
    if (facts.session) Number(line, *facts.session);
    else line += "null";
    if (result.outcome == FleetOutcome::Usage) {
        line += R"(,"argument":)";
        Quote(line, result.argument);
    } else if (result.board.version.status == VersionRead::Status::Failed) {
        line += R"(,"notRead":")";
        line += StepName(result.board.failedAt);
        line += '"';
    } else {
        line += R"(,"board":)";
        if (result.board.version.status == VersionRead::Status::Text) Quote(line, result.board.version.text);
        else line += "null";
    }
    line += R"(,"decision":")";
    line += OutcomeName(result.outcome);
    line += R"(","status":)";
    Number(line, static_cast<std::uint32_t>(result.status));
    if (request.wait && result.utility.started) {
        line += R"(,"utility":)";
        if (result.utility.status) Number(line, *result.utility.status);
        else line += "null";
    }
    line += "}\n";
    return line;
}

}  // namespace kestrel
