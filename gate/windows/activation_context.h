// Which manifest governs the process. From Windows Vista on, kestrel.exe's
// embedded manifest wins over a kestrel.exe.manifest beside it; on Windows XP
// an external manifest is searched first ("In Windows XP, Sxs searches
// external manifest before internal manifest", Microsoft's side-by-side
// assemblies blog), and from Vista on it is too where the system sets
// PreferExternalManifest. Such a manifest can send the management objects'
// COM class into a DLL of its own choosing, which would then decide the
// outcome. Nothing can take the process default activation context away,
// but the program can see what it was made from, and refuse to read the
// board through it.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// What the process default activation context says of its root manifest.
struct RootManifest {
    bool known = false;  // the query answered
    std::wstring path;   // empty when no manifest governs
};

// Asks the system: QueryActCtxW, ActivationContextDetailedInformation, on
// the process default context, which a null handle names
// (ACTCTX_PROCESS_DEFAULT in the SDK's winnt.h).
RootManifest ProcessRootManifest();

// Whether two paths name one file, as the file system answers; false when
// it cannot tell.
using SameFileQuery = bool (*)(std::wstring_view a, std::wstring_view b);
// A path's long form (GetLongPathNameW: no 8.3 name left in it), or the path
// as it is when that cannot be had.
using LongPathQuery = std::wstring (*)(const std::wstring& path);

// True when the board must not be read through the management objects: the
// root manifest is a file other than the program itself (a planted
// kestrel.exe.manifest that governs). The program's own embedded manifest
// names the program; no manifest at all names nothing. An unanswered query
// refuses too: the process default context always exists, so a failure to
// describe it is nothing the program can vouch for.
//  - A root manifest whose name ends in ".manifest" is an external manifest,
//    always foreign, whatever file it turns out to be: a planted manifest
//    that side by side has read may since have been replaced by a hard link
//    to the program, which has the program's volume, index, size and time.
//  - The two paths are compared by name, "\\?\" (and "\\?\UNC\") dropped, "/"
//    and "\" alike and without regard to the case of ASCII letters, first as
//    they are, then both in their long form (`longPath`).
//  - Only where the names still differ (Wine rewrites a path's spelling)
//    does `sameFile` decide, and a file it cannot vouch for is another file.
bool ForeignManifestGoverns(const RootManifest& root, std::wstring_view programPath, LongPathQuery longPath,
                            SameFileQuery sameFile);

// GetLongPathNameW's answer, or the path as it is.
std::wstring LongPathOnDisk(const std::wstring& path);

// The file system's answer: both open, on one volume (serial number), with
// one file index, size and last write time. The index alone is unique on
// NTFS and FAT; ReFS widens it to 128 bits, of which this call sees 64
// (BY_HANDLE_FILE_INFORMATION, Microsoft Learn), so the size and time must
// agree as well.
bool SameFileOnDisk(std::wstring_view a, std::wstring_view b);

}  // namespace kestrel
