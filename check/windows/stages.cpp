#include "stages.h"

#include <windows.h>

#include "program_path.h"

namespace kestrel::check {

std::optional<Stage> MakeStage(const Scratch& scratch, const std::wstring& name, const std::wstring& program,
                               const std::wstring& standin)
{
    const std::wstring folder = scratch.Folder(name);
    if (folder.empty()) return std::nullopt;
    Stage stage{InFolder(folder, L"bin"), InFolder(folder, L"cwd"), {}};
    const std::wstring file = program.substr(program.find_last_of(L"\\/") + 1);
    stage.program = InFolder(stage.bin, file);
    if (!CreateDirectoryW(stage.bin.c_str(), nullptr) || !CreateDirectoryW(stage.cwd.c_str(), nullptr) ||
        !CopyFileW(program.c_str(), stage.program.c_str(), FALSE) ||
        !CopyFileW(standin.c_str(), InFolder(stage.bin, L"WinPhlash.exe").c_str(), FALSE))
        return std::nullopt;
    return stage;
}

std::string StandinRecord(const std::wstring& folder, bool expected)
{
    const std::wstring path = InFolder(folder, L"launched.txt");
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

DriveLetter::DriveLetter(const std::wstring& folder) : folder_(folder)
{
    const DWORD used = GetLogicalDrives();
    for (wchar_t letter = L'Z'; letter >= L'D' && device_.empty(); --letter) {
        const std::wstring device = std::wstring(1, letter) + L":";
        wchar_t target[MAX_PATH];
        if ((used & (1u << (letter - L'A'))) || QueryDosDeviceW(device.c_str(), target, MAX_PATH)) continue;
        if (DefineDosDeviceW(0, device.c_str(), folder_.c_str())) device_ = device;
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
    if (!device_.empty())
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, device_.c_str(), folder_.c_str());
}

}  // namespace kestrel::check
