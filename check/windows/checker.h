// The checks, one report line each: the machine's imports, the road the
// board takes, every system DLL name planted (with a careless gate as the
// control), a planted manifest, a hidden start, the root of a drive, and,
// with a person at the machine, the consent prompt.
#pragma once

#include <string>

#include "../report.h"
#include "../run_outcome.h"
#include "dll_search.h"
#include "files.h"
#include "stages.h"

namespace kestrel::check {

class Checker {
public:
    // `tools` holds what the tool carries: probe.dll, standin.exe,
    // standin-admin.exe and careless.exe.
    Checker(const Scratch& scratch, std::wstring program, std::wstring tools);

    void Machine();
    void Board();
    void Road();
    void PlantedDlls();
    void PlantedManifest();
    void UtilityBesideOnly();
    void HiddenStart();
    void RootOfDrive();
    void Elevation(bool asked);

    Report& report() { return report_; }

private:
    // Runs the program on the stage as the road says and reports the check:
    // the full account on the road's own line, and on the others only what
    // differs from it.
    void RunAndReport(const std::string& check, const Stage& stage, WORD show, Decision road);
    // What the road asks of the program here: where nobody sees a box on
    // this window station or session, no box on a box road (kestrel.exe
    // sends its message to the console session instead).
    static Expected ExpectedHere(Decision road);
    Seen RunOnStage(const std::wstring& program, const std::wstring& cwd, const std::wstring& utilityFolder, WORD show,
                    bool launches);
    // The scratch folder as the loader may name what it maps from there: its
    // final path, as made, and its 8.3 form (XP's loader names a file as it
    // opened it, and XP's %TEMP% is an 8.3 spelling).
    std::vector<std::wstring> ScratchSpellings() const;
    // The control: a careless gate in the planted stage loads `name` by its
    // bare name. True when the load was seen.
    bool Control(const Stage& stage, const std::wstring& name);

    const Scratch& scratch_;
    std::wstring program_, tools_;
    Report report_;
    WindowsVersion version_;
    Decision road_ = Decision::Privilege;
    Seen roadSeen_;
    bool roadRun_ = false;
    std::vector<std::string> known_;
    std::vector<std::wstring> names_;  // every system image name, planted
};

}  // namespace kestrel::check
