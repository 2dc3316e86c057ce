#include "run_log.h"

#include "utf8.h"

#ifndef KESTREL_VERSION_TEXT
#error "the build names kestrel's version"
#endif

namespace kestrel {

namespace {

// A text as a JSON string: quotes, backslashes, control characters and the
// other line breaks (U+0085, U+2028, U+2029, at which some readers split
// lines) escaped, and a lone surrogate as its code, so that the text stands
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
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
                   (c >= 0xD800 && c <= 0xDFFF && !pair)) {
            line += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) line += "0123456789abcdef"[(c >> shift) & 0xF];
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

// A 32-bit status as the signed number that management tools show.
void Signed(std::string& line, std::uint32_t n)
{
    if (std::int32_t(n) < 0) {
        line += '-';
        n = 0u - n;
    }
    Number(line, n);
}

// `"key":` after a comma (none before the first).
void Key(std::string& line, std::string_view key)
{
    line += line.empty() ? '{' : ',';
    line += '"';
    line += key;
    line += "\":";
}

// An ASCII name as a JSON string, or null when empty.
void Name(std::string& line, std::string_view name)
{
    if (name.empty()) {
        line += "null";
        return;
    }
    line += '"';
    line += name;
    line += '"';
}

std::string_view StepName(ProbeStep step, std::string_view none)
{
    switch (step) {
    case ProbeStep::Bind: return "bind";
    case ProbeStep::Query: return "query";
    case ProbeStep::Enumeration: return "enumeration";
    case ProbeStep::Property: return "property";
    case ProbeStep::NoBoard: return none;
    case ProbeStep::Ambiguous: return "ambiguous";
    case ProbeStep::None: break;
    }
    return {};
}

// A version as read, then the step that stopped its reading.
void Version(std::string& line, std::string_view key, const BoardReport& report, std::string_view none)
{
    Key(line, key);
    if (report.version.status == VersionRead::Status::Text) Quote(line, report.version.text);
    else line += "null";
    Key(line, std::string(key) + "NotRead");
    Name(line, StepName(report.failedAt, none));
}

std::string_view ProtectionName(ProtectionStep step)
{
    switch (step) {
    case ProtectionStep::Absent: return "absent";
    case ProtectionStep::Off: return "off";
    case ProtectionStep::Suspended: return "suspended";
    case ProtectionStep::Resumed: return "resumed";
    case ProtectionStep::NotResumed: return "not resumed";
    case ProtectionStep::NoRestartCount: return "no restart count";
    case ProtectionStep::NotSuspended: return "not suspended";
    case ProtectionStep::Unknown: return "unknown";
    case ProtectionStep::On: return "on";
    case ProtectionStep::NotAsked: break;
    }
    return {};
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
    case FleetOutcome::AtTarget: return "at target";
    case FleetOutcome::Protected: return "protection on";
    case FleetOutcome::NotListed: return "not listed";
    case FleetOutcome::LowCharge: return "low charge";
    case FleetOutcome::LockSquatted: return "lock squatted";
    }
    return "usage";
}

// The run's result in a word: a flash seen to its end succeeded (with a
// restart asked for, 3010 or 1641) or failed; one started and not seen to
// its end is unknown; a machine already at the target needs nothing.
std::string_view ResultName(const FleetRequest& request, const FleetResult& result)
{
    if (result.outcome == FleetOutcome::AtTarget) return "succeeded";
    if (result.outcome == FleetOutcome::TimedOut) return "unknown";
    if (result.outcome != FleetOutcome::Launched) return "not started";
    if (!request.wait || !result.utility.status) return "unknown";
    const std::uint32_t status = *result.utility.status;
    return status == 0 || status == 3010 || status == 1641 ? "succeeded" : "failed";
}

}  // namespace

std::string LogLine(const RunFacts& facts, const FleetRequest& request, const FleetResult& result,
                    std::uint32_t durationMs, LogMoment moment)
{
    const bool ended = moment == LogMoment::Ended;
    std::string line;
    Key(line, "started");
    Name(line, facts.started);
    Key(line, "kestrel");
    Name(line, KESTREL_VERSION_TEXT);
    Key(line, "run");
    Name(line, facts.run);
    Key(line, "computer");
    Quote(line, facts.computer);
    Key(line, "account");
    Quote(line, facts.account);
    Key(line, "session");
    if (facts.session) Number(line, *facts.session);
    else line += "null";
    Version(line, "board", result.board, "no board");
    Version(line, "bios", result.bios, "no firmware");
    Key(line, "target");
    if (request.target) Quote(line, *request.target);
    else line += "null";
    Key(line, "bitlocker");
    Name(line, ProtectionName(result.protection));
    Key(line, "argument");
    if (result.outcome == FleetOutcome::Usage) Quote(line, result.argument);
    else line += "null";
    Key(line, "decision");
    Name(line, ended ? OutcomeName(result.outcome) : "starting");
    Key(line, "result");
    Name(line, ended ? ResultName(request, result) : "unknown");
    Key(line, "status");
    if (ended) Signed(line, std::uint32_t(result.status));
    else line += "null";
    const bool known = ended && result.utility.status;
    const std::uint32_t utility = known ? *result.utility.status : 0;
    Key(line, "utility");
    if (known) Signed(line, utility);
    else line += "null";
    Key(line, "utilityHex");
    if (known) {
        line += "\"0x";
        for (int shift = 28; shift >= 0; shift -= 4) line += "0123456789ABCDEF"[(utility >> shift) & 0xF];
        line += '"';
    } else {
        line += "null";
    }
    Key(line, "durationMs");
    Number(line, durationMs);
    Key(line, "accountSid");
    Name(line, facts.accountSid);
    Key(line, "agentJob");
    Name(line, result.job == AgentJob::Left ? "left" : result.job == AgentJob::Kept ? "kept" : "");
    Key(line, "lockOwner");
    Name(line, result.squatter);
    Key(line, "from");
    if (request.from) {
        // The list as the versions it holds.
        char open = '[';
        for (std::size_t from = 0; from <= request.from->size();) {
            std::size_t to = request.from->find(u',', from);
            if (to == std::u16string::npos) to = request.from->size();
            line += open;
            open = ',';
            Quote(line, std::u16string_view(*request.from).substr(from, to - from));
            from = to + 1;
        }
        line += ']';
    } else {
        line += "null";
    }
    Key(line, "charge");
    if (result.charge) Number(line, *result.charge);
    else line += "null";
    line += "}\n";
    return line;
}

}  // namespace kestrel
