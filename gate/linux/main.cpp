// kestrel for Linux: the start-up routine over the SMBIOS table, standard
// error and a spawn.
#include <string_view>
#include <vector>

#include "../command_line.h"
#include "../modMain.h"
#include "dmi_management.h"
#include "fleet_shell.h"
#include "stderr_shell.h"

namespace {

constexpr std::u16string_view kUsage =
    u"kestrel [--quiet] [--wait] [--log=FILE] [-- ARGUMENTS FOR WinPhlash.exe]\n"
    u"--quiet: no message. --wait: end with WinPhlash.exe's status. --log: add a line on the run to FILE.";

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
    if (invocation.kind == Kind::Help) {
        shell.TellUsage(kUsage, false);
        return 0;
    }
    const kestrel::FleetRequest request{invocation.quiet, invocation.wait};
    // The argument not understood, its bytes outside ASCII as U+FFFD.
    const std::u16string error = kestrel::Ascii(invocation.error);
    const kestrel::FleetResult result = invocation.kind == Kind::Error
                                            ? kestrel::RunUsageError(shell, request, error, kUsage)
                                            : kestrel::RunFleet(management, shell, request);
    shell.AppendLog(kestrel::LogLine(shell.Facts(), result, request));
    return result.status;
}
