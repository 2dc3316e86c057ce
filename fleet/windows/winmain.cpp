// kestrel.exe: the start-up routine over WMI, message boxes and
// CreateProcessW, on the one user-interface thread.
#include <windows.h>
#include <objbase.h>

#include "../command_line.h"
#include "modMain.h"
#include "../run_log.h"
#include "activation_context.h"
#include "bitlocker.h"
#include "dll_search.h"
#include "flash_job.h"
#include "flash_start.h"
#include "fleet_shell.h"
#include "message_shell.h"
#include "program_path.h"
#include "wide.h"
#include "wmi_management.h"

#ifdef KESTREL_ELEVATION_SEAM
// A test build only: the plain start answers "elevation required" once.
#include "elevation_seam.h"
using Starter = kestrel::testing::ElevationRequiredOnce;
#else
using Starter = kestrel::WindowsStarter;
#endif

namespace {

// The board is not read: every bind fails, and the routine goes on to the
// privilege message.
class NoManagement final : public kestrel::Management {
public:
    std::unique_ptr<kestrel::ManagementService> Bind(std::u16string_view) override { return nullptr; }
};

// What a fleet run can be asked for (README.txt says what each switch does).
constexpr std::u16string_view kUsage =
    u"kestrel.exe [/check] [/quiet] [/wait [/timeout:MINUTES]] [/target:VERSION] [/from:V1,V2,...]"
    u" [/mincharge:PERCENT] [/bitlocker] [/log:FILE] [-- UTILITY ARGUMENTS]";

// The longest command line CreateProcessW takes, its terminating null
// included (CreateProcessW, lpCommandLine, Microsoft Learn).
constexpr std::size_t kLongestCommandLine = 32767;

// The run the command line asks for, once the DLL search is restricted: the
// plain routine without arguments, a fleet run with them.
int Run(const std::wstring& program, kestrel::Management& management)
{
    // Without COM (a foreign manifest) the provider's bind fails: protection
    // reads as unknown, and nothing is started under /bitlocker.
    kestrel::BitLocker bitlocker;
    // The program's own name is skipped in whatever spelling the line has it,
    // quoted or not, so that no path of it reads as an argument.
    const std::u16string path = kestrel::Utf16(program), shortPath = kestrel::ShortPathOnDisk(program);
    const auto invocation =
        kestrel::ParseWindowsCommandLine(kestrel::Utf16(GetCommandLineW()), kestrel::ProgramSpellings(path, shortPath));
    const std::wstring folder = kestrel::FolderOf(program);
    using Kind = kestrel::WindowsInvocation::Kind;
    // The utility joins the flash's job, which holds the machine's flash
    // lock, on every road; the plain one refuses only where another flash
    // provably runs. Another run's start is waited for half a minute.
    kestrel::FlashJob job(30000);
    // Without arguments: no arguments for the utility, nothing kept of it;
    // a fleet run keeps its process, to see it past its loader.
    Starter starter(folder, kestrel::Wide(invocation.utilityTail), invocation.kind != Kind::Plain, &job);
    kestrel::MessageShell boxes(folder, starter);
    if (invocation.kind == Kind::Plain) return kestrel::Main(management, boxes);
    const std::wstring log = kestrel::Wide(invocation.log);
    kestrel::WindowsFleetShell shell(boxes, starter, job, folder, log);
    const kestrel::RunFacts facts = shell.Facts();
    kestrel::FleetRequest request{.quiet = invocation.quiet,
                                  .wait = invocation.wait,
                                  .timeoutMinutes = invocation.timeoutMinutes,
                                  .check = invocation.check,
                                  .target = {},
                                  .bitlocker = invocation.bitlocker,
                                  .from = {},
                                  .minCharge = {}};
    if (invocation.hasTarget) request.target = invocation.target;
    if (invocation.hasFrom) request.from = invocation.from;
    if (invocation.minCharge != 0) request.minCharge = invocation.minCharge;
    // The utility's command line: its quoted path (the folder, a separator,
    // the name), a blank, the arguments.
    const std::size_t utilityLine = folder.size() + kestrel::kFlashUtility.size() + 4 + invocation.utilityTail.size();
    const kestrel::FleetResult result = [&] {
        if (invocation.kind == Kind::Help) return kestrel::RunHelp(shell, request, u"/?", kUsage);
        if (invocation.kind == Kind::Error) return kestrel::RunUsageError(shell, request, invocation.error, kUsage);
        if (utilityLine >= kLongestCommandLine)
            return kestrel::RunUsageError(shell, request, u"--", kUsage, u"Too long for WinPhlash.exe: what follows ");
        return kestrel::RunFleet(management, shell, bitlocker, request, facts);
    }();
    // The lock stays with the flash; nothing of it waits on the log.
    job.Release();
    shell.AppendLog(kestrel::LogLine(facts, request, result, shell.Ticks() - facts.ticks, kestrel::LogMoment::Ended));
    return result.status;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // No box of the system's own for a drive without a disk or a file that
    // cannot be opened (a program started from removable media or a share):
    // a failure is a failed step, told by the routine.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Which manifest governs, before anything can load a DLL through it.
    const std::wstring program = kestrel::RunningProgramPath();
    const bool foreignManifest = kestrel::ForeignManifestGoverns(kestrel::ProcessRootManifest(), program,
                                                                 kestrel::LongPathOnDisk, kestrel::SameFileOnDisk);
    // Before anything can load a DLL: System32 only, never the current folder.
    kestrel::RestrictDllSearch();

    if (foreignManifest) {
        // A manifest beside the program governs it, and could send the
        // management objects into a DLL of its choosing: COM is not started.
        NoManagement none;
        return Run(program, none);
    }
    // Apartment-threaded, without OLE1 DDE, as ShellExecuteEx's remarks ask
    // of a caller that may start a program through the shell.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    {
        // Without COM the bind fails, and the routine goes on to its message.
        kestrel::WmiManagement management;
        status = Run(program, management);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
