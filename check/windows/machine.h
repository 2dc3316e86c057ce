// The facts of the machine that the checks depend on: the Windows version,
// the system's DLLs and KnownDLLs, and whether an external manifest wins.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dll_search.h"
#include "fleet.h"

namespace kestrel::check {

std::wstring SystemFolder();

// The DLLs a PE file imports, by name, read from its file.
std::optional<std::vector<std::string>> ImportsOf(const std::wstring& path);

// The DLL names the KnownDLLs key lists (its values that name a .dll), or
// nothing when the key cannot be read.
std::optional<std::vector<std::string>> KnownDlls();

// The name of every module image, PE or 16-bit NE (DLLs, drivers, controls,
// codecs, whatever starts as one; programs aside) in the system folder, its wbem folder and
// the Windows folder, each once, without regard to case; with `programs`,
// the programs' names (.exe) instead, WinPhlash.exe aside.
std::vector<std::wstring> SystemImageNames(bool programs = false);

// The folders on PATH that this account can write to: a program that loads
// or starts something by bare name may find it there.
std::vector<std::wstring> WritablePathFolders();

// Whether PreferExternalManifest is set, in either registry view on 64-bit
// Windows (the 64-bit and the 32-bit one).
bool PreferExternalManifest();

// "machine: Windows 6.1, WoW64 no, System32-only search ..."
std::string MachineLine(const WindowsVersion& version);

// "machine: power: ..., flash lock: ...": the mains state as the system
// reports it, with `onBattery` set where kestrel.exe would refuse a flash,
// and whether this account may take the flash lock (an elevated
// administrator, or SYSTEM).
std::string PowerLine(bool& onBattery);

// Where the programs this check starts (kestrel.exe's runs) stand with
// respect to a job the check itself runs in (an agent's, the Program
// Compatibility Assistant's), and where their utility will: outside any
// job; in one that lets the utility break away (Left); in one that lets
// nothing break away (Kept). `told` says which, for the report.
AgentJob JobOfRuns(std::string& told);

// Wine says who it is through ntdll; Windows has no such export.
bool OnWine();

}  // namespace kestrel::check
