// Whether the flash utility is a program this system can start, and whether
// a started one got past its loader: what a run that decides only (/check)
// and a run that starts it must agree on.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kestrel {

// Whether the file at `path` maps as a program image, as CreateProcessW maps
// it before anything runs: an empty file, text, or an image cut short does
// not ("SEC_IMAGE ... Specifies that the file that the hFile parameter
// specifies is an executable image file", CreateFileMappingW, Microsoft
// Learn). Nothing is started, and the file is not held.
bool MapsAsImage(const std::wstring& path);

// Whether `status` is one that the loader ends a process with before any of
// the program's own code runs: a DLL or an export of one missing, a DLL
// whose start failed, an image of the wrong kind, a side-by-side
// configuration that cannot be built (NTSTATUS values, Microsoft Learn).
bool LoaderStatus(std::uint32_t status);

// How long a started utility is watched for its loader's end. The loader
// maps and starts the program's DLLs in milliseconds; the wait ends as soon
// as the process does.
inline constexpr DWORD kLoaderMilliseconds = 2000;

// Whether the started process `process` got past its loader: false only when
// it ended within kLoaderMilliseconds with a LoaderStatus. A process still
// running then, or one that ended with any other status, ran; so does one
// whose handle is not known (null).
bool PastLoader(HANDLE process);

}  // namespace kestrel
