// kestrel.exe: the start-up routine over WMI, message boxes and
// CreateProcessW, on the one user-interface thread.
#include <windows.h>
#include <objbase.h>

#include "../modMain.h"
#include "dll_search.h"
#include "message_shell.h"
#include "wmi_management.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can load a DLL: System32 only, never the current folder.
    kestrel::RestrictDllSearch();
    // Apartment-threaded, without OLE1 DDE, as ShellExecuteEx's remarks ask
    // of a caller that may start a program through the shell.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    {
        // Without COM the bind fails, and the routine goes on to its message.
        kestrel::WmiManagement management;
        kestrel::MessageShell shell(kestrel::RunningProgramDir());
        status = kestrel::Main(management, shell);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
