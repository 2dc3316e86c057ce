// kestrel for Linux: the start-up routine over the SMBIOS table, standard
// error and a spawn.
#include "../modMain.h"
#include "dmi_management.h"
#include "stderr_shell.h"

int main()
{
    kestrel::IgnoreBrokenPipes();
    char programDir[PATH_MAX];
    const bool known = kestrel::RunningProgramDir(programDir);
    kestrel::DmiManagement management;
    kestrel::StderrShell shell(known ? programDir : nullptr);
    return kestrel::Main(management, shell);
}
