// What the fleet switches' stages share.
#include "switch_runs.h"

#include "console_end.h"
#include "files.h"
#include "machine.h"
#include "program_path.h"

namespace kestrel::check {

Handle StartOutside(const std::wstring& program, const std::wstring& arguments, HANDLE job)
{
    std::wstring line = L"\"" + program + L"\" " + arguments;
    const std::wstring folder = SystemFolder();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, job ? CREATE_SUSPENDED : 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return Handle();
    Handle run(process.hProcess);
    EndOnConsoleEnd(run.get());
    if (job && !AssignProcessToJobObject(job, run.get())) {
        TerminateProcess(run.get(), 1);
        ForgetOnConsoleEnd(run.get());
        CloseHandle(process.hThread);
        return Handle();
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return run;
}

std::optional<unsigned long> EndOf(const Handle& run, DWORD ms)
{
    DWORD status = 0;
    const bool ended = WaitForSingleObject(run.get(), ms) == WAIT_OBJECT_0 && GetExitCodeProcess(run.get(), &status);
    if (!ended) TerminateProcess(run.get(), 1);
    ForgetOnConsoleEnd(run.get());
    if (!ended) return std::nullopt;
    return status;
}

std::string LiveRecord(const std::wstring& bin)
{
    const HANDLE file = CreateFileW(InFolder(bin, L"launched.txt").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string record;
    char buffer[4096];
    DWORD got = 0;
    while (record.size() < (1u << 20) && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        record.append(buffer, got);
    CloseHandle(file);
    return record;
}

std::string Text(const std::wstring& path)
{
    const auto bytes = ReadFileBytes(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

}  // namespace kestrel::check
