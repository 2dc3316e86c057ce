#include "processes.h"

#include <tlhelp32.h>

#include "../run_outcome.h"
#include "dll_search.h"
#include "handle.h"

namespace kestrel::check {

namespace {

// Each running process of the machine, from one snapshot; false when the
// snapshot cannot be had.
template <typename Visit>
bool EachProcess(Visit&& visit)
{
    const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        visit(entry);
    return true;
}

// The process's image by its full path; empty when it cannot be read.
// QueryFullProcessImageNameW is Vista's; XP has psapi's GetModuleFileNameExW.
std::wstring ImageOf(HANDLE process)
{
    using FullNameFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    using ModuleNameFunction = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (const auto fullName =
            ExportOf<FullNameFunction>(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW"))
        return fullName(process, 0, path, &size) ? std::wstring(path, size) : std::wstring();
    const auto moduleName = ExportOf<ModuleNameFunction>(LoadSystemLibrary(L"psapi.dll"), "GetModuleFileNameExW");
    const DWORD n = moduleName ? moduleName(process, nullptr, path, MAX_PATH * 2) : 0;
    return std::wstring(path, n);
}

// PROCESS_QUERY_LIMITED_INFORMATION is Vista's; XP knows only the full right.
Handle OpenToRead(DWORD id, DWORD more = 0)
{
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | more, FALSE, id));
    if (!process)
        process = Handle(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE | more, FALSE, id));
    return process;
}

}  // namespace

ULONGLONG CreatedAt(HANDLE process)
{
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!process || !GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool ChildNotYetSeen(const std::vector<TreeMember>& members)
{
    bool found = false;
    EachProcess([&](const PROCESSENTRY32W& entry) {
        bool member = false;
        const TreeMember* parent = nullptr;
        for (const TreeMember& m : members) {
            member = member || m.id == entry.th32ProcessID;
            if (m.id == entry.th32ParentProcessID) parent = &m;
        }
        if (member || !parent) return;
        const Handle child = OpenToRead(entry.th32ProcessID);
        // Made after its parent: not an older process that has the id of a
        // parent gone since. One that cannot be opened counts.
        const ULONGLONG created = CreatedAt(child.get());
        found = found || !child || created == 0 || created >= parent->created;
    });
    return found;
}

std::vector<std::wstring> EndScratchProcesses(const std::vector<std::wstring>& scratch)
{
    std::vector<std::wstring> ended;
    EachProcess([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID == GetCurrentProcessId() || entry.th32ProcessID == 0) return;
        const Handle process = OpenToRead(entry.th32ProcessID, PROCESS_TERMINATE);
        const std::wstring image = process ? ImageOf(process.get()) : std::wstring();
        if (image.empty() || PlantedImages({image}, scratch, L"").empty()) return;
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), 5000);
        ended.push_back(image);
    });
    return ended;
}

}  // namespace kestrel::check
