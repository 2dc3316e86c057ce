#include "debuggee.h"

#include "../report.h"
#include "box_reader.h"
#include "console_end.h"
#include "files.h"
#include "processes.h"
#include "text.h"

namespace kestrel::check {

namespace {

constexpr DWORD kRunTimeoutMs = 60000;

// A process of the tree: its handle (the system's, valid until its exit is
// continued) and its image.
struct Member {
    DWORD id;
    HANDLE process;
    std::wstring image;
    ULONGLONG created;
    bool ended;
    bool surrogate;
};

// COM's surrogate (dllhost.exe from anywhere but the scratch folder), which
// Wine starts from the caller and keeps for other callers; Windows starts it
// from its own launcher, outside the tree.
bool Surrogate(const std::wstring& image, const std::vector<std::wstring>& scratch)
{
    const std::string file = Lower(Utf8(std::wstring_view(image).substr(image.find_last_of(L"\\/") + 1)));
    return file == "dllhost.exe" && PlantedImages({image}, scratch, L"").empty();
}

// The tree as the loop sees it.
class Tree {
public:
    Member* Find(DWORD id)
    {
        for (Member& m : members_)
            if (m.id == id) return &m;
        return nullptr;
    }
    void Add(Member member)
    {
        EndOnConsoleEnd(member.process);
        members_.push_back(std::move(member));
    }
    void End(Member& m)
    {
        m.ended = true;
        ForgetOnConsoleEnd(m.process);
    }
    // Whether a process of the tree, the surrogate aside, still runs (other
    // than `except`), or, with `utility`, a process of the utility.
    bool Live(DWORD except = 0, bool utility = false) const
    {
        for (const Member& m : members_)
            if (!m.ended && !m.surrogate && m.id != except && (!utility || IsUtilityImage(m.image))) return true;
        return false;
    }
    // Whether a process the tree made has yet to raise its first event.
    bool Unseen() const
    {
        std::vector<TreeMember> ids;
        for (const Member& m : members_) ids.push_back({m.id, m.created});
        return ChildNotYetSeen(ids);
    }
    // Whether the first process of the utility that the tree started (the
    // one the program started itself) has ended.
    bool UtilityEnded() const
    {
        for (const Member& m : members_)
            if (IsUtilityImage(m.image)) return m.ended;
        return false;
    }
    std::vector<Member>& members() { return members_; }

private:
    std::vector<Member> members_;
};

}  // namespace

bool IsUtilityImage(const std::wstring& image)
{
    const std::wstring_view file = std::wstring_view(image).substr(image.find_last_of(L"\\/") + 1);
    return Lower(Utf8(file)) == "winphlash.exe";
}

DebugRun RunDebuggee(const std::wstring& program, const std::wstring& arguments, const std::wstring& cwd, WORD show,
                     const std::vector<std::wstring>& scratch, RunWatcher* watcher)
{
    DebugRun run;
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process = {};
    if (ConsoleEnding() || !CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS,
                                           nullptr, cwd.c_str(), &startup, &process)) {
        run.seen.startError = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
        return run;
    }
    DebugSetProcessKillOnExit(TRUE);
    BoxReader boxes(process.dwProcessId);
    Tree tree;
    std::vector<DWORD> breakpoints;  // the processes whose loader breakpoint has come
    const DWORD start = GetTickCount();
    DWORD looked = start;
    bool terminated = false, first = true;
    // The tree looks empty: it is when no process it made is still to come.
    while (first || tree.Live() || tree.Unseen()) {
        if (!terminated && GetTickCount() - start > kRunTimeoutMs) {
            for (const Member& m : tree.members())
                if (!m.ended) TerminateProcess(m.process, 99);
            terminated = run.seen.timedOut = true;
        }
        if (terminated && GetTickCount() - start > kRunTimeoutMs + 10000) break;  // it will not end
        if (watcher && !terminated) watcher->Turn(process.hProcess, tree.Live(0, true));
        // The boxes are looked for every 50 ms whatever comes: a stream of
        // debug events (a gate that writes debug output without end) must
        // not hide one.
        if (!terminated && GetTickCount() - looked >= 50) {
            boxes.Look(run.seen.boxes);
            looked = GetTickCount();
        }
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 50)) continue;
        DWORD answer = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT: {
            const auto& info = event.u.CreateProcessInfo;
            const std::wstring image = PathOfOpenImage(info.hFile, info.hProcess, info.lpBaseOfImage);
            if (info.hFile) CloseHandle(info.hFile);
            const bool surrogate = !first && Surrogate(image, scratch);
            tree.Add({event.dwProcessId, info.hProcess, image, CreatedAt(info.hProcess), false, surrogate});
            if (first) first = false;
            else if (surrogate) run.seen.platform.push_back(Utf8(image));
            else run.started.push_back(image.empty() ? L"(a program whose file could not be named)" : image);
            break;
        }
        case LOAD_DLL_DEBUG_EVENT: {
            const Member* in = tree.Find(event.dwProcessId);
            const std::wstring path = PathOfOpenImage(event.u.LoadDll.hFile, in ? in->process : process.hProcess,
                                                      event.u.LoadDll.lpBaseOfDll);
            if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
            if (path.empty()) ++run.unnamed;
            else
                run.images.push_back({in ? in->image : std::wstring(), path, event.dwProcessId != process.dwProcessId});
            break;
        }
        case EXCEPTION_DEBUG_EVENT: {
            // Each process's loader breakpoint as it starts is the
            // debugger's. So is a closed handle that was not valid: "If the
            // application is running under a debugger, the function will
            // throw an exception if it receives either a handle value that
            // is not valid or a pseudo-handle value" (CloseHandle, Microsoft
            // Learn); without a debugger the call fails and the program
            // goes on, and so it does here. Every other exception is the
            // program's own.
            const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
            bool seen = false;
            for (const DWORD id : breakpoints) seen = seen || id == event.dwProcessId;
            if (!seen && code == EXCEPTION_BREAKPOINT) breakpoints.push_back(event.dwProcessId);
            else if (code != EXCEPTION_INVALID_HANDLE) answer = DBG_EXCEPTION_NOT_HANDLED;
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            if (Member* m = tree.Find(event.dwProcessId)) tree.End(*m);
            if (event.dwProcessId == process.dwProcessId) {
                run.seen.exit = event.u.ExitProcess.dwExitCode;
                run.seen.endedWhileUtilityRan = tree.Live(0, true);
                run.seen.endedLast = !tree.Live() && !tree.Unseen();
                run.seen.endedAfterUtility = tree.UtilityEnded();
            }
            break;
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    }
    // What would not end, and a surrogate kept for others: ended, then
    // detached, so that none of its events reaches the next run on this
    // thread. In that order: the handle the create event gave is the
    // system's, and Windows closes it as it detaches the process
    // (DebugActiveProcessStop); a TerminateProcess after that has no handle
    // to end it with, and the process outlives the check (Wine keeps it).
    for (Member& m : tree.members()) {
        if (m.ended) continue;
        TerminateProcess(m.process, 99);
        ForgetOnConsoleEnd(m.process);
        DebugActiveProcessStop(m.id);
    }
    if (!scratch.empty())
        for (const std::wstring& left : EndScratchProcesses(scratch)) run.seen.leftovers.push_back(Utf8(left));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

}  // namespace kestrel::check
