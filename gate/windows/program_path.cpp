#include "program_path.h"

#include <windows.h>

#include <vector>

#include "wide.h"

namespace kestrel {

namespace {

bool Separator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool Letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "X:\" at `at`: the length up to its separator's end, or 0.
std::size_t DriveRoot(std::wstring_view path, std::size_t at)
{
    if (path.size() < at + 3 || !Letter(path[at]) || path[at + 1] != L':' || !Separator(path[at + 2])) return 0;
    return at + 3;
}

// "server\share\" at `at`: both names non-empty, the share's separator
// present.
std::size_t ShareRoot(std::wstring_view path, std::size_t at)
{
    std::size_t server = at;
    while (server < path.size() && !Separator(path[server])) ++server;
    if (server == at || server == path.size()) return 0;
    std::size_t share = server + 1;
    while (share < path.size() && !Separator(path[share])) ++share;
    if (share == server + 1 || share == path.size()) return 0;
    return share + 1;
}

bool UncWord(std::wstring_view path, std::size_t at)
{
    if (path.size() < at + 4) return false;
    const std::wstring_view word = path.substr(at, 3);
    return (word[0] == L'U' || word[0] == L'u') && (word[1] == L'N' || word[1] == L'n') &&
           (word[2] == L'C' || word[2] == L'c') && Separator(path[at + 3]);
}

}  // namespace

std::size_t RootLength(std::wstring_view path)
{
    if (path.size() >= 2 && Separator(path[0]) && Separator(path[1])) {
        // "\\?\" and "\\.\": a drive or "UNC\" follows.
        if (path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && Separator(path[3]))
            return UncWord(path, 4) ? ShareRoot(path, 8) : DriveRoot(path, 4);
        return ShareRoot(path, 2);
    }
    return DriveRoot(path, 0);
}

std::wstring FolderOf(std::wstring_view path)
{
    const std::size_t root = RootLength(path);
    const std::size_t last = path.find_last_of(L"\\/");
    if (root == 0 || last == std::wstring_view::npos || last + 1 < root || last + 1 == path.size()) return {};
    return std::wstring(path.substr(0, last + 1 == root ? root : last));
}

std::wstring InFolder(std::wstring_view folder, std::wstring_view name)
{
    if (folder.empty()) return {};
    std::wstring path(folder);
    if (!Separator(path.back())) path += L'\\';
    path += name;
    return path;
}

std::wstring RunningProgramPath()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return std::wstring(path.data(), n);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::u16string ShortPathOnDisk(const std::wstring& program)
{
    // The first call says how much room the short form takes, its null
    // included; the second writes it and gives its length.
    const DWORD room = GetShortPathNameW(program.c_str(), nullptr, 0);
    if (room == 0) return {};
    std::vector<wchar_t> shorter(room);
    const DWORD n = GetShortPathNameW(program.c_str(), shorter.data(), room);
    return n < room ? Utf16(std::wstring_view(shorter.data(), n)) : std::u16string();
}

}  // namespace kestrel
