// kestrel for Linux: the start-up routine over the SMBIOS table, standard
// error and a spawn.
#include "../modMain.h"
#include "dmi_management.h"
#include "stderr_shell.h"

int main()
{
    kestrel::DmiManagement management;
    kestrel::StderrShell shell(kestrel::RunningProgramDir());
    return kestrel::Main(management, shell);
}
