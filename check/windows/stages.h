// Where a run of the program under check takes place: a stage in the scratch
// folder, with the stand-in utility beside the program and the current
// folder elsewhere, or the root of a drive made for the run.
#pragma once

#include <optional>
#include <string>

#include "files.h"

namespace kestrel::check {

// The program (under its own name) and the stand-in as WinPhlash.exe in
// `bin`, the current folder `cwd` elsewhere, with a decoy WinPhlash.exe in
// it: a start of that one, which records itself in `cwd`, is the wrong one.
// The stage's folder holds a space, as users' folders do ("NAME x"), and a
// decoy program lies where a path left unquoted would be cut ("NAME.exe"
// beside it): a start of that one is a program the tree started.
struct Stage {
    std::wstring folder, bin, cwd, program;
};

// How long the stand-in stays in a stage, unless the stage says otherwise.
inline constexpr unsigned kStandinStayMs = 1000;
// The stand-in stays `stayMs` and ends with 0 (ends.txt beside it), as a
// flash does not end at once.
std::optional<Stage> MakeStage(const Scratch& scratch, const std::wstring& name, const std::wstring& program,
                               const std::wstring& standin, unsigned stayMs = kStandinStayMs);
// Writes ends.txt beside the stand-in in `bin`: it stays `stayMs`, having
// started a child that lives `childMs` when that is not 0, and ends with
// `status`. With `held`, it first stays while hold.txt is there (the run
// removes it once the program has ended: HoldUntilEnd).
bool SetStandinEnd(const std::wstring& bin, unsigned stayMs, unsigned long status, unsigned childMs = 0,
                   bool held = true);
// "the scratch folder could not be filled (error N)", with the system's error
// of the step that failed.
std::string NotFilled();

// The stand-in's record of its starts (launched.txt beside it, UTF-8, a line
// each). Where the utility may have been started outside the run's process
// tree (through the shell, elevated), a start that is expected is waited for
// up to ten seconds, and where none is, a second passes first, so that one
// made by mistake has the time to show; `wait` false reads it as it is.
std::string StandinRecord(const std::wstring& folder, bool expected, bool wait = true);

// A free drive letter standing for a folder (DefineDosDeviceW, which needs no
// rights), removed when this goes, whatever happened meanwhile.
class DriveLetter {
public:
    explicit DriveLetter(const std::wstring& folder);
    ~DriveLetter();
    DriveLetter(const DriveLetter&) = delete;
    DriveLetter& operator=(const DriveLetter&) = delete;

    // "Q:\", or empty when no letter could be had or the folder cannot be
    // reached through it; then Why() says which.
    const std::wstring& Root() const { return root_; }
    const std::string& Why() const { return why_; }

private:
    std::wstring folder_, device_, root_;
    std::string why_;
};

}  // namespace kestrel::check
