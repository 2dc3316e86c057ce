#include "files.h"

#include "admin_only.h"
#include "console_end.h"
#include "dll_search.h"
#include "program_path.h"

namespace kestrel::check {

bool RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(InFolder(folder, L"*").c_str(), &found);
    bool removed = true;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = InFolder(folder, name);
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

namespace {

using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using MappedFileNameFunction = DWORD(WINAPI*)(HANDLE, LPVOID, LPWSTR, DWORD);

std::wstring FinalPath(HANDLE file)
{
    const auto finalPath = ExportOf<FinalPathFunction>(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW");
    if (!finalPath || !file || file == INVALID_HANDLE_VALUE) return {};
    std::wstring path(MAX_PATH, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        const DWORD n = finalPath(file, path.data(), DWORD(path.size()), 0);  // FILE_NAME_NORMALIZED, VOLUME_NAME_DOS
        if (n == 0) return {};
        if (n < path.size()) return path.substr(0, n);
        path.resize(n + 1);
    }
    return {};
}

// "\Device\HarddiskVolume2\x" as "C:\x", through the drive letters' targets.
std::wstring DrivePathOf(const std::wstring& device)
{
    wchar_t drive[3] = L"A:";
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        drive[0] = letter;
        wchar_t target[MAX_PATH] = {};
        if (!QueryDosDeviceW(drive, target, MAX_PATH)) continue;
        const std::wstring prefix = std::wstring(target) + L"\\";
        if (device.compare(0, prefix.size(), prefix) == 0)
            return std::wstring(drive) + device.substr(prefix.size() - 1);
    }
    return {};
}

}  // namespace

std::wstring ReparsePointOnWay(const std::wstring& path)
{
    for (std::size_t at = RootLength(path); (at = path.find_first_of(L"\\/", at)) != std::wstring::npos; ++at) {
        std::wstring folder = path.substr(0, at);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return folder;
    }
    return {};
}

namespace {

// The system drive's root, "C:\", or empty.
std::wstring SystemDriveRoot()
{
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return n >= 3 && n < MAX_PATH && windows[1] == L':' ? std::wstring(windows, 3) : std::wstring();
}

// "D:P(A;OICI;FA;;;SID)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)": a folder for this
// account, SYSTEM and the administrators alone, nothing inherited from the
// root above it (where every signed-in user may change what is made); empty
// where the account's SID cannot be read.
std::string PrivateFolderSddl()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    union {
        TOKEN_USER user;
        unsigned char room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } owner = {};
    DWORD size = 0;
    const bool read = GetTokenInformation(token, TokenUser, &owner, sizeof owner, &size);
    CloseHandle(token);
    const std::string sid = read ? SidText(owner.user.User.Sid) : std::string();
    return sid.empty() ? std::string() : "D:P(A;OICI;FA;;;" + sid + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

}  // namespace

void Scratch::MakeRoot(const std::wstring& folder, SECURITY_ATTRIBUTES* attributes)
{
    const std::wstring base = folder + L"kestrel-check-" + std::to_wstring(GetCurrentProcessId());
    for (int i = 0; i < 100 && root_.empty(); ++i) {
        const std::wstring candidate = base + L"-" + std::to_wstring(i);
        if (CreateDirectoryW(candidate.c_str(), attributes)) root_ = candidate;
    }
}

Scratch::Scratch()
{
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH) return;
    const std::wstring temp(path, n);
    detour_ = ReparsePointOnWay(temp);
    if (detour_.empty()) {
        MakeRoot(temp, nullptr);
    } else {
        const std::wstring drive = SystemDriveRoot();
        const std::string sddl = PrivateFolderSddl();
        if (!drive.empty() && !sddl.empty()) {
            const SecurityDescriptor sd(sddl.c_str());
            SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
            if (sd.get()) MakeRoot(drive, &attributes);
        }
        if (root_.empty()) {
            through_ = true;
            MakeRoot(temp, nullptr);
        }
    }
    loaderRoot_ = root_;
    if (root_.empty()) return;
    RemoveScratchOnConsoleEnd(root_);
    const HANDLE folder = CreateFileW(root_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return;
    if (std::wstring final = FinalPath(folder); !final.empty()) loaderRoot_ = final;
    CloseHandle(folder);
    RemoveScratchOnConsoleEnd(root_, loaderRoot_);
    // XP: no final path; the long spelling of the root is what the mapped
    // sections' names turn into.
    if (loaderRoot_ == root_) {
        wchar_t longer[MAX_PATH];
        const DWORD m = GetLongPathNameW(root_.c_str(), longer, MAX_PATH);
        if (m > 0 && m < MAX_PATH) loaderRoot_ = longer;
        RemoveScratchOnConsoleEnd(root_, loaderRoot_);
    }
}

bool Scratch::Remove()
{
    if (root_.empty()) return true;
    for (int i = 0; i < 30; ++i) {
        if (RemoveTree(root_)) {
            RemoveScratchOnConsoleEnd({});
            root_.clear();
            return true;
        }
        Sleep(100);
    }
    return false;
}

std::wstring Scratch::Folder(const std::wstring& name) const
{
    const std::wstring path = InFolder(root_, name);
    return CreateDirectoryW(path.c_str(), nullptr) ? path : std::wstring();
}

bool WriteFileBytes(const std::wstring& path, const void* data, DWORD size)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    return CloseHandle(file) && ok;
}

bool WriteResource(int id, const std::wstring& path)
{
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    const HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data && WriteFileBytes(path, data, SizeofResource(nullptr, found));
}

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

FileCopies::FileCopies(const std::wstring& source)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data)) return;
    written_ = data.ftLastWriteTime;
    bytes_ = ReadFileBytes(source);
}

bool FileCopies::Place(const std::wstring& target) const
{
    if (!bytes_) return false;
    const HANDLE file =
        CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD wrote = 0;
    const bool whole = WriteFile(file, bytes_->data(), DWORD(bytes_->size()), &wrote, nullptr) &&
                       wrote == bytes_->size() && SetFileTime(file, nullptr, nullptr, &written_);
    CloseHandle(file);
    if (!whole) DeleteFileW(target.c_str());
    return whole;
}

std::wstring PathOfOpenImage(HANDLE file, HANDLE process, const void* mapped)
{
    if (std::wstring path = FinalPath(file); !path.empty()) return path;
    // XP: psapi's name of the section, a device path.
    const auto mappedName = ExportOf<MappedFileNameFunction>(LoadSystemLibrary(L"psapi.dll"), "GetMappedFileNameW");
    if (!mappedName || !mapped) return {};
    wchar_t device[MAX_PATH * 2] = {};
    const DWORD n = mappedName(process, const_cast<void*>(mapped), device, MAX_PATH * 2);
    return n == 0 ? std::wstring() : DrivePathOf(std::wstring(device, n));
}

}  // namespace kestrel::check
