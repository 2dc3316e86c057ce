// Whether the flash utility is a program this system can start, and whether
// a started one got past its loader: what a run that decides only (/check)
// and a run that starts it must agree on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// How many of a program's first bytes are read for its headers.
inline constexpr std::size_t kImageHeadBytes = 4096;

// Whether `head`, the first bytes of a file of `size` bytes (all of them, or
// the first kImageHeadBytes), begins a PE image of a program for the GUI or
// the console (not a DLL, not an EFI application: neither starts a process)
// whose headers and every section's raw data lie within the file: a copy cut
// short does not.
bool ImageWhole(std::string_view head, std::uint64_t size);

// Whether the file at `path` is a program image that CreateProcessW can map:
// an image section can be made of it, as CreateProcessW makes one before
// anything runs ("SEC_IMAGE ... Specifies that the file that the hFile
// parameter specifies is an executable image file", CreateFileMappingW,
// Microsoft Learn), and it is whole (ImageWhole). An empty file, text, or an
// image cut short is not. No view of it is mapped (that would be a load of
// code from the utility's folder into kestrel), nothing is started, and the
// file is not held.
bool MapsAsImage(const std::wstring& path);

// Whether `status` is one that the loader ends a process with before any of
// the program's own code runs: a DLL or an export of one missing, a DLL
// whose start failed, an image of the wrong kind, a side-by-side
// configuration that cannot be built (NTSTATUS values, Microsoft Learn).
bool LoaderStatus(std::uint32_t status);

// How long a started utility is watched for its loader's end. The loader
// maps and starts the program's DLLs in milliseconds (Wine ends one whose DLL
// is missing some 100 ms after the start); the wait ends as soon as the
// process does. Short, too, because a run that does not wait must end while
// the utility runs on.
inline constexpr DWORD kLoaderMilliseconds = 750;

// Whether the started process `process` got past its loader: false only when
// it ended within kLoaderMilliseconds with a LoaderStatus. A process still
// running then, or one that ended with any other status, ran; so does one
// whose handle is not known (null).
bool PastLoader(HANDLE process);

}  // namespace kestrel
