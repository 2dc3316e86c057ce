// kestrel-check.exe: the release check of kestrel.exe on a real Windows
// machine, run once by a release engineer, as a standard user, with nothing
// else to copy. It changes nothing on the machine: everything happens in a
// scratch folder under %TEMP% that goes at the end, and no registry value is
// written.
//   kestrel-check.exe [--elevation] [PATH\kestrel.exe]
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "../pe_imports.h"
#include "../report.h"
#include "dll_search.h"
#include "message_shell.h"
#include "probe.h"
#include "program_path.h"
#include "update_gate.h"
#include "wide.h"
#include "window_reading.h"
#include "wmi_management.h"

using namespace kestrel;
using namespace kestrel::check;

namespace {

// The resources this program carries (kestrel-check.rc).
constexpr int kProbeResource = 1;
constexpr int kStandinResource = 2;
constexpr int kAdminStandinResource = 3;

constexpr DWORD kRunTimeoutMs = 60000;

void Say(const std::string& line)
{
    // A report nobody reads (a closed pipe) is no reason to stop checking.
    static_cast<void>(std::fputs(line.c_str(), stdout));
    static_cast<void>(std::fputc('\n', stdout));
    static_cast<void>(std::fflush(stdout));
}

std::string Text(const std::wstring& text) { return windows::Utf8(text); }
std::string Text(std::u16string_view text) { return windows::Utf8(Wide(text)); }

std::wstring Join(const std::wstring& folder, const std::wstring& name) { return InFolder(folder, name); }

// Removes a folder and all it holds; false when something stayed. A link to
// another folder (a junction or symbolic link that a program under check
// might make) is removed itself, never followed.
bool RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Join(folder, L"*").c_str(), &found);
    bool removed = true;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = Join(folder, name);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removed = RemoveDirectoryW(path.c_str()) && removed;
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removed = RemoveTree(path) && removed;
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                removed = DeleteFileW(path.c_str()) && removed;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryW(folder.c_str()) && removed;
}

// A folder of this run's own under %TEMP%, removed with all it holds when the
// check ends, whatever the checks found. A stand-in that the program under
// check started may still hold its files for a moment: the removal waits for
// that, three seconds at most.
class Scratch {
public:
    Scratch()
    {
        wchar_t temp[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH) return;
        const std::wstring base = std::wstring(temp, n) + L"kestrel-check-" + std::to_wstring(GetCurrentProcessId());
        for (int i = 0; i < 100 && root_.empty(); ++i) {
            const std::wstring candidate = base + L"-" + std::to_wstring(i);
            if (CreateDirectoryW(candidate.c_str(), nullptr)) root_ = candidate;
        }
    }
    ~Scratch() { Remove(); }
    // True when nothing is left of it.
    bool Remove()
    {
        if (root_.empty()) return true;
        for (int i = 0; i < 30; ++i) {
            if (RemoveTree(root_)) {
                root_.clear();
                return true;
            }
            Sleep(100);
        }
        return false;
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool Made() const { return !root_.empty(); }
    // A new folder inside, or an empty text.
    std::wstring Folder(const std::wstring& name) const
    {
        const std::wstring path = Join(root_, name);
        return CreateDirectoryW(path.c_str(), nullptr) ? path : std::wstring();
    }
    const std::wstring& Root() const { return root_; }

private:
    std::wstring root_;
};

bool WriteFileBytes(const std::wstring& path, const void* data, DWORD size)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    return CloseHandle(file) && ok;
}

// One of this program's RCDATA resources, written to `path`.
bool WriteResource(int id, const std::wstring& path)
{
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    const HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data && WriteFileBytes(path, data, SizeofResource(nullptr, found));
}

// A file's bytes, at most 64 MiB.
std::optional<std::vector<unsigned char>> ReadFileBytes(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::vector<unsigned char>> bytes;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart <= 64LL * 1024 * 1024) {
        std::vector<unsigned char> data(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        if (data.empty() || (ReadFile(file, data.data(), DWORD(data.size()), &read, nullptr) && read == data.size()))
            bytes = std::move(data);
    }
    CloseHandle(file);
    return bytes;
}

std::optional<std::vector<std::string>> ImportsOf(const std::wstring& path)
{
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return std::nullopt;
    return ImportedDlls(*bytes);
}

std::wstring SystemFolder()
{
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// The DLL names the KnownDLLs key lists (its values that name a .dll), or
// nothing when the key cannot be read.
std::optional<std::vector<std::string>> KnownDlls()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[256] = {};
        DWORD nameLength = 256, dataBytes = sizeof data - sizeof(wchar_t), type = 0;
        const LONG status =
            RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string value = Lower(Text(std::wstring(data)));
        if (value.size() > 4 && value.compare(value.size() - 4, 4, ".dll") == 0) names.push_back(value);
    }
    RegCloseKey(key);
    return names;
}

// Every DLL in the system folder, by name.
std::vector<std::wstring> SystemDllNames()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Join(SystemFolder(), L"*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Whether the box's icon, as it is on the screen, is the system's warning
// icon. An icon handle means nothing in another process, so the icon
// control's pixels are read from the screen and the warning icon is drawn
// over a copy of them: where the box shows the warning icon, the two differ
// in almost no pixel (the box may draw it from another image size), where it
// shows another icon, or none, in many.
bool ShowsWarningIcon(HWND box)
{
    const HWND control = windows::IconControlOf(box);
    RECT r = {};
    if (!control || !GetWindowRect(control, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || w > 256 || h > 256) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    const HDC screen = GetDC(nullptr);
    const HDC shownDc = CreateCompatibleDC(screen), drawnDc = CreateCompatibleDC(screen);
    void *shownBits = nullptr, *drawnBits = nullptr;
    const HBITMAP shown = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &shownBits, nullptr, 0);
    const HBITMAP drawn = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &drawnBits, nullptr, 0);
    bool warning = false;
    if (shownDc && drawnDc && shown && drawn) {
        const HGDIOBJ oldShown = SelectObject(shownDc, shown), oldDrawn = SelectObject(drawnDc, drawn);
        if (BitBlt(shownDc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) &&
            BitBlt(drawnDc, 0, 0, w, h, shownDc, 0, 0, SRCCOPY) &&
            DrawIconEx(drawnDc, 0, 0, LoadIconW(nullptr, IDI_WARNING), w, h, 0, nullptr, DI_NORMAL)) {
            GdiFlush();
            const auto* a = static_cast<const unsigned char*>(shownBits);
            const auto* b = static_cast<const unsigned char*>(drawnBits);
            int differing = 0;
            for (int i = 0; i < w * h; ++i) {
                int most = 0;
                for (int c = 0; c < 3; ++c) {
                    const int d =
                        a[4 * i + c] > b[4 * i + c] ? a[4 * i + c] - b[4 * i + c] : b[4 * i + c] - a[4 * i + c];
                    most = d > most ? d : most;
                }
                differing += most > 48 ? 1 : 0;
            }
            warning = differing * 20 <= w * h;  // at most 5% of the pixels
        }
        SelectObject(shownDc, oldShown);
        SelectObject(drawnDc, oldDrawn);
    }
    if (shown) DeleteObject(shown);
    if (drawn) DeleteObject(drawn);
    if (shownDc) DeleteDC(shownDc);
    if (drawnDc) DeleteDC(drawnDc);
    ReleaseDC(nullptr, screen);
    return warning;
}

// What one run of the program showed and how it ended.
struct Box {
    std::string caption, text;
    bool warning = false;
};
struct Run {
    DWORD startError = 0;  // set when it could not be started
    bool timedOut = false;
    DWORD exit = 0;
    std::vector<Box> boxes;
};

// Runs `program` in `cwd` with the show state, reads each message box it
// shows and presses OK on it, until the program ends (a minute at most).
Run RunProgram(const std::wstring& program, const std::wstring& cwd, WORD show)
{
    Run run;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &startup,
                        &process)) {
        run.startError = GetLastError();
        if (run.startError == 0) run.startError = ERROR_GEN_FAILURE;
        return run;
    }
    CloseHandle(process.hThread);
    std::vector<HWND> pressed;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > kRunTimeoutMs) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
            run.timedOut = true;
            break;
        }
        for (const HWND box : windows::WindowsOf(process.dwProcessId, true)) {
            bool seen = false;
            for (const HWND p : pressed) seen = seen || p == box;
            if (seen) continue;
            pressed.push_back(box);
            Sleep(200);  // let the box finish laying itself out
            const HWND text = GetDlgItem(box, 0xFFFF);
            run.boxes.push_back({Text(windows::TextOf(box)), text ? Text(windows::TextOf(text)) : std::string(),
                                 ShowsWarningIcon(box)});
            windows::PressOk(box);
        }
    }
    GetExitCodeProcess(process.hProcess, &run.exit);
    CloseHandle(process.hProcess);
    return run;
}

// What the program under check must do on a road.
struct Expected {
    bool launches = false;
    std::string caption, text;
    DWORD status = 0;
};

Expected ExpectedFor(Decision road)
{
    switch (road) {
    case Decision::Launch: return {true, {}, {}, kExitLaunched};
    case Decision::WrongModel: return {false, Text(kWrongModelCaption), Text(kWrongModelText), kExitWrongModel};
    case Decision::Privilege: break;
    }
    return {false, Text(kPrivilegeCaption), Text(kPrivilegeText), kExitPrivilege};
}

std::string RoadName(Decision road)
{
    switch (road) {
    case Decision::Launch: return "the launch road";
    case Decision::WrongModel: return "the wrong-model road";
    case Decision::Privilege: break;
    }
    return "the privilege road";
}

// One folder for one run: the program (under its own name) and the stand-in
// as WinPhlash.exe in bin\, and cwd\ as the current folder elsewhere.
struct Stage {
    std::wstring bin, cwd, program;
};

std::optional<Stage> MakeStage(const Scratch& scratch, const std::wstring& name, const std::wstring& program,
                               const std::wstring& standin)
{
    const std::wstring folder = scratch.Folder(name);
    if (folder.empty()) return std::nullopt;
    Stage stage{Join(folder, L"bin"), Join(folder, L"cwd"), {}};
    const std::wstring file = program.substr(program.find_last_of(L"\\/") + 1);
    stage.program = Join(stage.bin, file);
    if (!CreateDirectoryW(stage.bin.c_str(), nullptr) || !CreateDirectoryW(stage.cwd.c_str(), nullptr) ||
        !CopyFileW(program.c_str(), stage.program.c_str(), FALSE) ||
        !CopyFileW(standin.c_str(), Join(stage.bin, L"WinPhlash.exe").c_str(), FALSE))
        return std::nullopt;
    return stage;
}

// The stand-in's record of its start (launched.txt beside it). The program
// does not wait for the utility: a start that is expected is waited for up
// to ten seconds, and where none is, a second passes first, so that one
// made by mistake has the time to show.
std::string StandinRecord(const Stage& stage, bool expected)
{
    const std::wstring path = Join(stage.bin, L"launched.txt");
    if (!expected) Sleep(1000);
    for (int i = 0; i < (expected ? 100 : 1); ++i) {
        if (const auto bytes = ReadFileBytes(path); bytes && !bytes->empty()) {
            std::string record(bytes->begin(), bytes->end());
            while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
            return record;
        }
        if (expected) Sleep(100);
    }
    return {};
}

std::string Describe(const Run& run, const std::string& record)
{
    if (run.startError) return "could not be started (error " + std::to_string(run.startError) + ")";
    std::string seen;
    for (const Box& box : run.boxes)
        seen +=
            "box \"" + box.caption + "\": \"" + box.text + "\"" + (box.warning ? " with the warning icon" : "") + "; ";
    seen += run.timedOut ? "did not end within a minute" : "exit status " + std::to_string(run.exit);
    seen += record.empty() ? "; utility not started" : "; utility: " + record;
    return seen;
}

// Whether a run went as the road says: the box (title, text, warning icon)
// and no start, or no box and a start with a normal window in the utility's
// own folder; and the exit status.
bool AsExpected(const Run& run, const Expected& expected, const std::string& record, const Stage& stage)
{
    if (run.startError || run.timedOut || run.exit != expected.status) return false;
    if (expected.launches) {
        const std::string folder = "cwd=" + Text(stage.bin);
        return run.boxes.empty() && record.find("show=1 ") != std::string::npos &&
               Lower(record).find(Lower(folder) + " ") != std::string::npos;
    }
    return run.boxes.size() == 1 && run.boxes[0].caption == expected.caption && run.boxes[0].text == expected.text &&
           run.boxes[0].warning && record.empty();
}

// The planted DLLs that a process of the program loaded, from the probe's log.
std::vector<std::string> LoadsInto(const std::wstring& log, const std::wstring& program)
{
    std::vector<std::string> loads;
    const auto bytes = ReadFileBytes(log);
    if (!bytes) return loads;
    const std::string text(bytes->begin(), bytes->end());
    const std::string into = " into " + Lower(Text(program));
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t cut = Lower(line).rfind(into);
        if (line.rfind("loaded ", 0) == 0 && cut != std::string::npos && cut + into.size() == line.size())
            loads.push_back(line.substr(7, cut - 7));
        at = end + 1;
    }
    return loads;
}

std::string List(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return list;
}

// The whole check, with its report on standard output.
class Checker {
public:
    Checker(const Scratch& scratch, std::wstring program, std::wstring tools)
        : scratch_(scratch), program_(std::move(program)), tools_(std::move(tools))
    {
    }

    void Machine()
    {
        const WindowsVersion version = RunningWindowsVersion();
        BOOL wow64 = FALSE;
        using IsWow64Function = BOOL(WINAPI*)(HANDLE, BOOL*);
        if (const auto isWow64 = ExportOf<IsWow64Function>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process"))
            isWow64(GetCurrentProcess(), &wow64);
        const bool system32Only = ExportOf<FARPROC>(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
        const char* search = !system32Only                       ? "not available"
                             : System32OnlySearchSafeOn(version) ? "available, asked for"
                                                                 : "available, not asked for on this version";
        Say("machine: Windows " + std::to_string(version.major) + "." + std::to_string(version.minor) + ", WoW64 " +
            (wow64 ? "yes" : "no") + ", System32-only search " + search);
        version_ = version;

        const auto imports = ImportsOf(program_);
        if (!imports) {
            Say(report_.Failed("static imports", "the program's import directory cannot be read"));
            return;
        }
        const auto known = KnownDlls();
        if (!known || known->empty()) {
            Say(report_.Skipped("static imports", "this system has no KnownDLLs key"));
            return;
        }
        const std::wstring system = SystemFolder();
        const auto closure = WithDependencies(*known, [&](const std::string& name) {
            const std::wstring wide(name.begin(), name.end());
            return ImportsOf(Join(system, wide)).value_or(std::vector<std::string>{});
        });
        Say("machine: KnownDLLs " + std::to_string(known->size()) + " names, " + std::to_string(closure.size()) +
            " with their dependencies");
        const auto outside = NotAmong(*imports, closure);
        if (outside.empty())
            Say(report_.Held("static imports", List(*imports) + ": each a KnownDLL or a dependency of one"));
        else Say(report_.Failed("static imports", "not a KnownDLL nor a dependency of one: " + List(outside)));
    }

    // Reads the board as kestrel does and says which road the program must take.
    void Board()
    {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            WmiManagement management;
            const BoardPrefix prefix = ProbeBoard(management);
            road_ = Decide(prefix);
            const std::string version =
                prefix.kind() == BoardPrefix::Kind::Text
                    ? "begins with \"" + Text(prefix.text()) + "\""
                    : (prefix.kind() == BoardPrefix::Kind::Null ? "has no value" : "could not be read");
            Say("board: Win32_BaseBoard Version " + version + ": " + RoadName(road_));
        }
        if (SUCCEEDED(com)) CoUninitialize();
    }

    // The road, with the utility beside the program and the current folder
    // elsewhere; `prepare` adds what the check plants in the folders.
    template <typename Prepare>
    void RoadCheck(const std::string& check, const wchar_t* folder, WORD show, Decision road, Prepare&& prepare)
    {
        const auto stage = MakeStage(scratch_, folder, program_, Join(tools_, L"standin.exe"));
        if (!stage) {
            Say(report_.Failed(check, "the scratch folder could not be filled"));
            return;
        }
        const std::wstring log = Join(scratch_.Root(), std::wstring(folder) + L".log");
        SetEnvironmentVariableW(L"PLANT_LOG", log.c_str());
        if (!prepare(*stage)) {
            Say(report_.Failed(check, "the scratch folder could not be filled"));
            return;
        }
        const Run run = RunProgram(stage->program, stage->cwd, show);
        const Expected expected = ExpectedFor(road);
        const std::string record = StandinRecord(*stage, expected.launches && run.exit == expected.status);
        const auto loads = LoadsInto(log, stage->program);
        const std::string seen = Describe(run, record);
        if (!loads.empty()) Say(report_.Failed(check, "planted DLL loaded: " + List(loads) + "; " + seen));
        else if (!AsExpected(run, expected, record, *stage))
            Say(report_.Failed(check, RoadName(road) + " expected; " + seen));
        else Say(report_.Held(check, RoadName(road) + ": " + seen));
    }

    void Road()
    {
        RoadCheck("road", L"road", SW_SHOWNORMAL, road_, [](const Stage&) { return true; });
    }

    void PlantedDlls()
    {
        const std::wstring probe = Join(tools_, L"probe.dll");
        const auto names = SystemDllNames();
        Say("planted DLL names: " + std::to_string(names.size()));
        if (names.empty()) {
            Say(report_.Failed("planted DLLs", "no DLL found in the system folder"));
            return;
        }
        RoadCheck("planted DLLs", L"planted", SW_SHOWNORMAL, road_, [&](const Stage& stage) {
            for (const std::wstring& name : names)
                if (!CopyFileW(probe.c_str(), Join(stage.bin, name).c_str(), FALSE) ||
                    !CopyFileW(probe.c_str(), Join(stage.cwd, name).c_str(), FALSE))
                    return false;
            return true;
        });
    }

    void PlantedManifest()
    {
        // Where the external manifest governs (XP, or PreferExternalManifest
        // set), the program must refuse to read the board through it.
        const bool externalGoverns = version_.major < 6 || PreferExternalManifest();
        const Decision road = externalGoverns ? Decision::Privilege : road_;
        const std::wstring probe = Join(tools_, L"probe.dll");
        RoadCheck("planted manifest", L"manifest", SW_SHOWNORMAL, road, [&](const Stage& stage) {
            static constexpr char kManifest[] =
                "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
                " <assemblyIdentity type=\"win32\" name=\"Any.Name\" version=\"1.0.0.0\" "
                "processorArchitecture=\"x86\"/>\r\n"
                " <file name=\"wmiplant.dll\"><comClass clsid=\"{172BDDF8-CEEA-11D1-8B05-00600806D9B6}\""
                " threadingModel=\"Apartment\" progid=\"winmgmts\"/></file>\r\n"
                "</assembly>\r\n";
            return WriteFileBytes(stage.program + L".manifest", kManifest, sizeof kManifest - 1) &&
                   CopyFileW(probe.c_str(), Join(stage.bin, L"wmiplant.dll").c_str(), FALSE);
        });
    }

    void HiddenStart()
    {
        RoadCheck("hidden start", L"hidden", SW_HIDE, road_, [](const Stage&) { return true; });
    }

    // Needs a person: the consent prompt accepted once and declined once.
    void Elevation(bool asked)
    {
        if (!asked) {
            Say(report_.Skipped("elevation", "needs --elevation and a person at the machine"));
            return;
        }
        if (version_.major < 6) {
            Say(report_.Skipped("elevation", "Windows before Vista asks no consent"));
            return;
        }
        if (road_ != Decision::Launch) {
            Say(report_.Skipped("elevation", "this machine's board does not take the launch road"));
            return;
        }
        const struct {
            const char* check;
            const wchar_t* folder;
            const char* ask;
            DWORD status;
        } steps[] = {
            {"elevation accepted", L"accept", "ACCEPT the consent prompt that comes up next.", kExitLaunched},
            {"elevation declined", L"decline", "DECLINE the consent prompt that comes up next.", kExitLaunchFailed},
        };
        bool inFront = true;
        for (const auto& step : steps) {
            const auto stage = MakeStage(scratch_, step.folder, program_, Join(tools_, L"standin-admin.exe"));
            if (!stage) {
                Say(report_.Failed(step.check, "the scratch folder could not be filled"));
                continue;
            }
            Say(step.ask);
            const Run run = RunProgram(stage->program, stage->cwd, SW_SHOWNORMAL);
            const std::string record = StandinRecord(*stage, step.status == kExitLaunched);
            const bool held = !run.startError && !run.timedOut && run.exit == step.status && run.boxes.empty() &&
                              record.empty() == (step.status != kExitLaunched);
            Say(held ? report_.Held(step.check, Describe(run, record))
                     : report_.Failed(step.check, Describe(run, record)));
            inFront =
                Ask("Did the consent prompt come up in front (not as a flashing taskbar button)? [y/n]") && inFront;
        }
        Say(inFront ? report_.Held("consent prompt in front", "as the person saw it")
                    : report_.Failed("consent prompt in front", "the person saw it elsewhere"));
    }

    Report& report() { return report_; }

private:
    static bool PreferExternalManifest()
    {
        DWORD value = 0, size = sizeof value;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return false;
        const bool set = RegQueryValueExW(key, L"PreferExternalManifest", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                         value != 0;
        RegCloseKey(key);
        return set;
    }

    static bool Ask(const std::string& question)
    {
        Say(question);
        wchar_t answer[16] = {};
        DWORD read = 0;
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        if (!ReadConsoleW(input, answer, 15, &read, nullptr) || read == 0) return false;
        return answer[0] == L'y' || answer[0] == L'Y';
    }

    const Scratch& scratch_;
    std::wstring program_, tools_;
    Report report_;
    WindowsVersion version_;
    Decision road_ = Decision::Privilege;
};

// A person who double-clicked the tool must be able to read the report: the
// console stays open until a key is pressed when this process is the only one
// in it (Explorer made it for us), and not when the output is redirected.
void KeepConsoleOpen()
{
    DWORD processes[2];
    DWORD mode = 0;
    if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    Say("Press a key to close this window.");
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1)
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
}

int Finish(int status)
{
    KeepConsoleOpen();
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // As kestrel.exe: no box of the system's own for a missing disk, and no
    // DLL from the current folder or, where it can be had, from anywhere but
    // System32.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RestrictDllSearch();
    bool elevation = false;
    std::wstring program;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--elevation" && !elevation) elevation = true;
        else if (arg.rfind(L'-', 0) != 0 && program.empty()) program = arg;
        else {
            Say("usage: kestrel-check.exe [--elevation] [PATH\\kestrel.exe]");
            return Finish(kUsage);
        }
    }
    if (program.empty()) program = Join(FolderOf(RunningProgramPath()), L"kestrel.exe");
    // Full path: the runs copy it from another current folder.
    wchar_t full[MAX_PATH];
    const DWORD n = GetFullPathNameW(program.c_str(), MAX_PATH, full, nullptr);
    const DWORD attributes = n > 0 && n < MAX_PATH ? GetFileAttributesW(full) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Say("kestrel-check: cannot run: no such file: " + Text(program));
        return Finish(kCannotRun);
    }
    program = full;

    int status = kCannotRun;
    {
        Scratch scratch;
        const std::wstring tools = scratch.Made() ? scratch.Folder(L"tools") : std::wstring();
        if (tools.empty() || !WriteResource(kProbeResource, Join(tools, L"probe.dll")) ||
            !WriteResource(kStandinResource, Join(tools, L"standin.exe")) ||
            !WriteResource(kAdminStandinResource, Join(tools, L"standin-admin.exe"))) {
            Say("kestrel-check: cannot run: the scratch folder under %TEMP% could not be made");
        } else {
            Say("kestrel-check: checking " + Text(program));
            Checker checker(scratch, program, tools);
            checker.Machine();
            checker.Board();
            checker.Road();
            checker.PlantedDlls();
            checker.PlantedManifest();
            checker.HiddenStart();
            checker.Elevation(elevation);
            if (!scratch.Remove()) Say("note: still in use, left behind: " + Text(scratch.Root()));
            for (const std::string& line : checker.report().Closing()) Say(line);
            status = checker.report().ExitStatus();
        }
    }
    return Finish(status);
}
