// kestrel for Linux: the start-up routine over the SMBIOS table, standard
// error and a spawn.
#include <string_view>
#include <vector>

#include "../command_line.h"
#include "modMain.h"
#include "../run_log.h"
#include "dmi_management.h"
#include "fleet_shell.h"
#include "stderr_shell.h"

namespace {

constexpr std::u16string_view kUsage =
    u"kestrel [--check] [--quiet] [--wait [--timeout=MINUTES]] [--target=VERSION] [--from=V1,V2,...]"
    u" [--mincharge=PERCENT] [--log=FILE] [-- ARGUMENTS FOR WinPhlash.exe]\n"
    u"--check: decide only, start nothing (10: it would start).\n"
    u"--target: start nothing where the firmware's version is VERSION (11).\n"
    u"--from: start nothing where the firmware's version is none of those listed (15).\n"
    u"--mincharge: start nothing where a battery's charge is below PERCENT or unknown (4).\n"
    u"--quiet: no message. --wait: end with WinPhlash.exe's status. --timeout: stop waiting after MINUTES (9).\n"
    u"--log: add a line on the run to FILE.";

// The fleet run the arguments ask for.
kestrel::FleetResult RunAsked(const kestrel::LinuxInvocation& invocation, kestrel::Management& management,
                              kestrel::FleetShell& shell, const kestrel::FleetRequest& request,
                              const kestrel::RunFacts& facts)
{
    using Kind = kestrel::LinuxInvocation::Kind;
    if (invocation.kind == Kind::Help) return kestrel::RunHelp(shell, request, u"--help", kUsage);
    // The argument not understood, its bytes outside ASCII as U+FFFD.
    if (invocation.kind == Kind::Error)
        return kestrel::RunUsageError(shell, request, kestrel::Ascii(invocation.error), kUsage);
    // More than the utility can be given would fail only at its launch,
    // after the board was read, as if it were missing.
    if (invocation.utilityArguments.size() > kestrel::kMostUtilityArguments)
        return kestrel::RunUsageError(shell, request, u"--", kUsage, u"Too many arguments for WinPhlash.exe after: ");
    kestrel::NoEncryption none;
    return kestrel::RunFleet(management, shell, none, request, facts);
}

}  // namespace

int main(int argc, char** argv)
{
    kestrel::IgnoreBrokenPipes();
    char programDir[PATH_MAX];
    const bool known = kestrel::RunningProgramDir(programDir);
    kestrel::DmiManagement management;
    std::vector<std::string_view> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    const kestrel::LinuxInvocation invocation = kestrel::ParseLinuxArguments(arguments);
    using Kind = kestrel::LinuxInvocation::Kind;
    if (invocation.kind == Kind::Plain) {
        kestrel::StderrShell shell(known ? programDir : nullptr);
        return kestrel::Main(management, shell);
    }
    std::vector<const char*> utility;
    for (const auto& argument : invocation.utilityArguments) utility.push_back(argument.c_str());
    utility.push_back(nullptr);
    kestrel::LinuxFleetShell shell(known ? programDir : nullptr, utility.data(),
                                   invocation.hasLog ? invocation.log.c_str() : nullptr);
    const kestrel::RunFacts facts = shell.Facts();
    // The table's strings are bytes, one code unit each: so are the target
    // and the versions to flash from.
    const auto units = [](bool given, const std::string& bytes) {
        std::optional<std::u16string> text;
        if (!given) return text;
        text.emplace();
        for (const char c : bytes) text->push_back(static_cast<unsigned char>(c));
        return text;
    };
    const kestrel::FleetRequest request{
        .quiet = invocation.quiet,
        .wait = invocation.wait,
        .timeoutMinutes = invocation.timeoutMinutes,
        .check = invocation.check,
        .target = units(invocation.hasTarget, invocation.target),
        .bitlocker = false,
        .from = units(invocation.hasFrom, invocation.from),
        .minCharge = invocation.minCharge != 0 ? std::optional<unsigned>(invocation.minCharge) : std::nullopt};
    const kestrel::FleetResult result = RunAsked(invocation, management, shell, request, facts);
    // The status is the run's, whatever becomes of its line.
    shell.AppendLog(kestrel::LogLine(facts, request, result, shell.Ticks() - facts.ticks, kestrel::LogMoment::Ended));
    return result.status;
}
