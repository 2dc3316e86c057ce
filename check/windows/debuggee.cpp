#include "debuggee.h"

#include "../report.h"
#include "files.h"
#include "text.h"
#include "warning_icon.h"

namespace kestrel::check {

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr UINT kAskTimeoutMs = 1000;
constexpr DWORD kLayoutMs = 200;  // a new box is read once it has laid itself out

// A window's text, asked with a time limit: the debuggee may be stopped at a
// debug event this thread has not yet continued.
bool TextOf(HWND window, std::wstring& text)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAskTimeoutMs, &length)) return false;
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kAskTimeoutMs, &copied))
        return false;
    buffer.resize(copied < buffer.size() ? copied : buffer.size() - 1);
    text = buffer;
    return true;
}

struct BoxSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    wchar_t name[16] = {};
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid && IsWindowVisible(window) && GetClassNameW(window, name, 16) &&
        std::wstring(name) == L"#32770")
        search->found.push_back(window);
    return TRUE;
}

// What the boxes of one run are: each seen once, read once laid out, then
// its OK pressed.
class BoxReader {
public:
    explicit BoxReader(DWORD pid) : pid_(pid) {}

    void Look(std::vector<Box>& boxes)
    {
        BoxSearch search{pid_, {}};
        EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
        for (const HWND box : search.found) {
            bool done = false;
            for (const HWND d : done_) done = done || d == box;
            if (done) continue;
            std::size_t i = 0;
            while (i < pending_.size() && pending_[i].box != box) ++i;
            if (i == pending_.size()) {
                pending_.push_back({box, GetTickCount()});
                continue;
            }
            if (GetTickCount() - pending_[i].since < kLayoutMs) continue;
            std::wstring caption, text;
            const HWND label = GetDlgItem(box, 0xFFFF);
            if (!TextOf(box, caption) || (label && !TextOf(label, text))) continue;  // asked again next time
            boxes.push_back({Utf8(caption), Utf8(text), ShowsWarningIcon(box)});
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            done_.push_back(box);
            pending_.erase(pending_.begin() + std::ptrdiff_t(i));
        }
    }

private:
    struct Pending {
        HWND box;
        DWORD since;
    };
    DWORD pid_;
    std::vector<HWND> done_;
    std::vector<Pending> pending_;
};

}  // namespace

namespace {

// A process of the tree: its handle (the system's, valid until its exit is
// continued) and its image.
struct Member {
    DWORD id;
    HANDLE process;
    std::wstring image;
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

}  // namespace

DebugRun RunDebuggee(const std::wstring& program, const std::wstring& arguments, const std::wstring& cwd, WORD show,
                     const std::vector<std::wstring>& scratch)
{
    DebugRun run;
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr,
                        cwd.c_str(), &startup, &process)) {
        run.seen.startError = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
        return run;
    }
    DebugSetProcessKillOnExit(TRUE);
    BoxReader boxes(process.dwProcessId);
    std::vector<Member> tree;
    std::vector<DWORD> breakpoints;  // the processes whose loader breakpoint has come
    const auto member = [&](DWORD id) -> Member* {
        for (Member& m : tree)
            if (m.id == id) return &m;
        return nullptr;
    };
    const auto live = [&] {
        for (const Member& m : tree)
            if (!m.ended && !m.surrogate) return true;
        return false;
    };
    const DWORD start = GetTickCount();
    bool terminated = false, first = true;
    while (first || live()) {
        if (!terminated && GetTickCount() - start > kRunTimeoutMs) {
            for (const Member& m : tree)
                if (!m.ended) TerminateProcess(m.process, 99);
            terminated = run.seen.timedOut = true;
        }
        if (terminated && GetTickCount() - start > kRunTimeoutMs + 10000) break;  // it will not end
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 50)) {
            if (!terminated) boxes.Look(run.seen.boxes);
            continue;
        }
        DWORD answer = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT: {
            const auto& info = event.u.CreateProcessInfo;
            const std::wstring image = PathOfOpenImage(info.hFile, info.hProcess, info.lpBaseOfImage);
            if (info.hFile) CloseHandle(info.hFile);
            const bool surrogate = !first && Surrogate(image, scratch);
            tree.push_back({event.dwProcessId, info.hProcess, image, false, surrogate});
            if (first) first = false;
            else if (!surrogate)
                run.started.push_back(image.empty() ? L"(a program whose file could not be named)" : image);
            break;
        }
        case LOAD_DLL_DEBUG_EVENT: {
            const Member* in = member(event.dwProcessId);
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
            if (Member* m = member(event.dwProcessId)) m->ended = true;
            if (event.dwProcessId == process.dwProcessId) run.seen.exit = event.u.ExitProcess.dwExitCode;
            break;
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    }
    // What would not end, and a surrogate kept for others: detached, so that
    // its events never reach the next run on this thread, and ended.
    for (const Member& m : tree) {
        if (m.ended) continue;
        DebugActiveProcessStop(m.id);
        TerminateProcess(m.process, 99);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

}  // namespace kestrel::check
