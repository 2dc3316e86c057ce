// Test helper: makes a kernel object under a name, as a standard user could
// make it, and holds it for a while: the object's owner is a user's SID (not
// the Administrators group, which such a user cannot set), and the DACL is
// the one given.
//   squatter mutex|event|job|semaphore|timer NAME SECONDS [DACL]
// DACL in SDDL; by default that of a standard user's objects: the user and
// SYSTEM only. Prints "held" once the object is made, then waits.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: squatter mutex|event|job|semaphore|timer NAME SECONDS [DACL]\n");
        return 64;
    }
    const std::wstring user = L"S-1-5-21-1004336348-1177238915-682003330-1001";
    const std::wstring dacl = argc > 4 ? argv[4] : L"(A;;GA;;;" + user + L")(A;;GA;;;SY)";
    const std::wstring sddl = L"O:" + user + L"D:" + dacl;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
        std::printf("bad security descriptor: error %lu\n", GetLastError());
        return 2;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
    const std::wstring kind = argv[1];
    HANDLE object = nullptr;
    if (kind == L"mutex") object = CreateMutexW(&attributes, TRUE, argv[2]);
    else if (kind == L"event") object = CreateEventW(&attributes, TRUE, FALSE, argv[2]);
    else if (kind == L"job") object = CreateJobObjectW(&attributes, argv[2]);
    else if (kind == L"semaphore") object = CreateSemaphoreW(&attributes, 0, 1, argv[2]);
    else if (kind == L"timer") object = CreateWaitableTimerW(&attributes, TRUE, argv[2]);
    if (!object || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::printf("not made: error %lu\n", GetLastError());
        return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(DWORD(_wtoi(argv[3])) * 1000);
    CloseHandle(object);
    return 0;
}
