#include "stages.h"

#include <windows.h>

#include <cwchar>

#include "../report.h"
#include "console_end.h"
#include "program_path.h"
#include "text.h"

namespace kestrel::check {

std::optional<Stage> MakeStage(const Scratch& scratch, const std::wstring& name, const std::wstring& program,
                               const std::wstring& standin, unsigned stayMs)
{
    const std::wstring folder = scratch.Folder(name + L" x");
    if (folder.empty()) return std::nullopt;
    Stage stage{folder, InFolder(folder, L"bin"), InFolder(folder, L"cwd"), {}};
    const std::wstring file = program.substr(program.find_last_of(L"\\/") + 1);
    stage.program = InFolder(stage.bin, file);
    if (!CreateDirectoryW(stage.bin.c_str(), nullptr) || !CreateDirectoryW(stage.cwd.c_str(), nullptr) ||
        !CopyFileW(program.c_str(), stage.program.c_str(), FALSE) ||
        !CopyFileW(standin.c_str(), InFolder(stage.bin, L"WinPhlash.exe").c_str(), FALSE) ||
        !CopyFileW(standin.c_str(), InFolder(stage.cwd, L"WinPhlash.exe").c_str(), FALSE) ||
        !CopyFileW(standin.c_str(), InFolder(scratch.Root(), name + L".exe").c_str(), FALSE) ||
        !SetStandinEnd(stage.bin, stayMs, 0))
        return std::nullopt;
    return stage;
}

bool SetStandinEnd(const std::wstring& bin, unsigned stayMs, unsigned long status, unsigned childMs, bool held)
{
    const std::wstring hold = InFolder(bin, L"hold.txt");
    if (held ? !WriteFileBytes(hold, "", 0) : (!DeleteFileW(hold.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND))
        return false;
    const std::string ends = std::to_string(stayMs) + " " + std::to_string(status) +
                             (childMs ? " " + std::to_string(childMs) : std::string()) + "\n";
    return WriteFileBytes(InFolder(bin, L"ends.txt"), ends.data(), DWORD(ends.size()));
}

std::string NotFilled()
{
    return "the scratch folder could not be filled (error " + std::to_string(GetLastError()) + ")";
}

std::string StandinRecord(const std::wstring& folder, bool expected, bool wait)
{
    const std::wstring path = InFolder(folder, L"launched.txt");
    if (wait && !expected) Sleep(1000);
    for (int i = 0; i < (wait && expected ? 100 : 1); ++i) {
        if (const auto bytes = ReadFileBytes(path); bytes && !bytes->empty()) {
            std::string record(bytes->begin(), bytes->end());
            while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
            return record;
        }
        if (wait && expected) Sleep(100);
    }
    return {};
}

DriveLetter::DriveLetter(const std::wstring& folder) : folder_(folder)
{
    const DWORD used = GetLogicalDrives();
    // Without DDD_NO_BROADCAST_SYSTEM every top-level window would be sent
    // WM_SETTINGCHANGE for the letter (DefineDosDeviceW, Microsoft Learn).
    // Another check may take the same free letter at the same moment: the
    // letter is this run's only when its newest definition is this folder;
    // otherwise this definition is taken back and the next letter tried.
    for (wchar_t letter = L'Z'; letter >= L'D' && device_.empty(); --letter) {
        const std::wstring device = std::wstring(1, letter) + L":";
        wchar_t target[MAX_PATH];
        if ((used & (1u << (letter - L'A'))) || QueryDosDeviceW(device.c_str(), target, MAX_PATH)) continue;
        if (!DefineDosDeviceW(DDD_NO_BROADCAST_SYSTEM, device.c_str(), folder_.c_str())) continue;
        const DWORD n = QueryDosDeviceW(device.c_str(), target, MAX_PATH);
        const std::wstring_view newest(target, n ? wcsnlen(target, n) : 0);
        if (newest.size() >= folder_.size() &&
            Lower(Utf8(newest.substr(newest.size() - folder_.size()))) == Lower(Utf8(folder_))) {
            device_ = device;
            RemoveOnConsoleEnd(device_, folder_);
        } else {
            DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE | DDD_NO_BROADCAST_SYSTEM,
                             device.c_str(), folder_.c_str());
        }
    }
    if (device_.empty()) {
        why_ = "the system gave no drive letter for the stage";
        return;
    }
    const std::wstring root = device_ + L"\\";
    if (GetFileAttributesW((root + L"WinPhlash.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
        why_ = "the stage cannot be reached through " + std::string(device_.begin(), device_.end());
        return;
    }
    root_ = root;
}

DriveLetter::~DriveLetter()
{
    RemoveOnConsoleEnd({}, {});
    if (!device_.empty())
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE | DDD_NO_BROADCAST_SYSTEM, device_.c_str(),
                         folder_.c_str());
}

}  // namespace kestrel::check
