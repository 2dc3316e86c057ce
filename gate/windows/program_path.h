// Paths of the running program and of what lies beside it. Pure text work,
// but for ProgramSpellingsOnDisk, which asks the file system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// The length of a full path's root, its closing separator included: "E:\",
// "\\server\share\", "\\?\E:\", "\\?\UNC\server\share\". 0 when the path
// has no complete root of its own (a relative path, "E:name", a share
// without its separator).
std::size_t RootLength(std::wstring_view path);

// The folder a full path names its file in: without a trailing separator,
// except at a root, which keeps it ("E:\kestrel.exe" gives "E:\": "E:" alone
// is "the current directory on drive E", Microsoft, "Naming Files, Paths,
// and Namespaces"). Empty when the path has no complete root or no file
// name after it: no folder is guessed.
std::wstring FolderOf(std::wstring_view path);

// `name` in `folder`, with exactly one separator between them ("E:\" and
// "WinPhlash.exe" give "E:\WinPhlash.exe"). Empty when the folder is.
std::wstring InFolder(std::wstring_view folder, std::wstring_view name);

// The running program's full path, or an empty text when it cannot be found.
std::wstring RunningProgramPath();

// The short form of the full path `program`, as GetShortPathNameW gives it;
// empty when the call fails.
std::u16string ShortPathOnDisk(const std::wstring& program);

}  // namespace kestrel
