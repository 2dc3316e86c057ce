// The check's files: its scratch folder under %TEMP%, what it writes there,
// and the paths the system gives for what it opened.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel::check {

// A folder of this run's own under %TEMP%, removed with all it holds when
// the check ends, whatever the checks found, and when it is stopped from its
// console. A stand-in that the program
// under check started may still hold its files for a moment: the removal
// waits for that, three seconds at most.
// Where a folder on %TEMP%'s way is a reparse point (a profile on a disk of
// its own mounted there, a junction), kestrel.exe rightly writes no log
// below it: the folder is made in the system drive's root instead, open to
// this account, SYSTEM and the administrators alone; where that cannot be
// had either, it stays under %TEMP% and Detour() says the logs cannot be
// written there.
class Scratch {
public:
    Scratch();
    ~Scratch() { Remove(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // True when nothing is left of it.
    bool Remove();
    bool Made() const { return !root_.empty(); }
    // A new folder inside, or an empty text.
    std::wstring Folder(const std::wstring& name) const;
    const std::wstring& Root() const { return root_; }
    // The root as the loader names what it maps from there (the final path,
    // long names, no 8.3 spelling), or the root itself where that cannot be
    // had.
    const std::wstring& LoaderRoot() const { return loaderRoot_; }
    // The reparse point on %TEMP%'s way, or empty where there is none.
    const std::wstring& Detour() const { return detour_; }
    // Whether the root itself lies beyond a reparse point: no log of
    // kestrel.exe can be written in it.
    bool ThroughReparsePoint() const { return through_; }

private:
    // Makes a root of this run's own in `folder`.
    void MakeRoot(const std::wstring& folder, SECURITY_ATTRIBUTES* attributes);

    std::wstring root_, loaderRoot_, detour_;
    bool through_ = false;
};

// The first folder on the way to the full path `path` (its last part aside)
// that is a reparse point, or whose attributes cannot be read, as
// kestrel.exe looks at a log's path; empty where there is none.
std::wstring ReparsePointOnWay(const std::wstring& path);

// Removes a folder and all it holds; false when something stayed. A link to
// another folder (a junction or symbolic link that a program under check
// might make) is removed itself, never followed.
bool RemoveTree(const std::wstring& folder);

bool WriteFileBytes(const std::wstring& path, const void* data, DWORD size);
// One of this program's RCDATA resources, written to `path`.
bool WriteResource(int id, const std::wstring& path);
// A file's bytes, at most 64 MiB.
std::optional<std::vector<unsigned char>> ReadFileBytes(const std::wstring& path);

// A file read once, then placed under other names, each a copy of its own
// with the source's bytes and last write time. Not a hard link, though that
// would be one file for a virus scanner to read where there are a thousand:
// a loader may take every name of one file for the module already mapped
// from it. Wine's does, and a gate that loads two planted names then never
// ends; Windows 8 and later compare the mapped files too
// (NtAreMappedFilesTheSame), so a second planted name would not be mapped
// as a DLL of its own. One file opened a copy, not CopyFileW's two: a check
// places thousands.
class FileCopies {
public:
    explicit FileCopies(const std::wstring& source);
    // False where the source could not be read, or the copy not written
    // whole (what was written of it goes).
    bool Place(const std::wstring& target) const;

private:
    std::optional<std::vector<unsigned char>> bytes_;
    FILETIME written_{};
};

// The path of an open file as the file system names it now: the final path
// from Vista on (GetFinalPathNameByHandleW), on XP the mapped section's
// name at `mapped` in `process` turned into a drive path. Empty when neither
// answers.
std::wstring PathOfOpenImage(HANDLE file, HANDLE process, const void* mapped);

}  // namespace kestrel::check
