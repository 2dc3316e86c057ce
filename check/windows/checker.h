// The checks, one report line each: the machine's imports, the road the
// board takes, every system image name planted (with a careless gate as the
// control), a planted manifest, a hidden start, the root of a drive, the
// fleet mode, and, with a person at the machine, the consent prompt.
#pragma once

#include <map>
#include <string>

#include "../fleet_outcome.h"
#include "../report.h"
#include "../run_outcome.h"
#include "debuggee.h"
#include "dll_search.h"
#include "files.h"
#include "stages.h"

namespace kestrel::check {

class Checker {
public:
    // `tools` holds what the tool carries: probe.dll, standin.exe,
    // standin-admin.exe and careless.exe.
    // `stages` (Stages) says which stages run; the others are reported
    // skipped.
    Checker(const Scratch& scratch, std::wstring program, std::wstring tools, unsigned stages = kEveryStage);

    void Machine();
    void Board();
    void Road();
    void PlantedDlls();
    void PlantedManifest();
    void UtilityBesideOnly();
    void HiddenStart();
    void RootOfDrive();
    void Fleet();
    void FleetWaits();
    // The fleet switches, each on its own stage (fleet_switches.cpp).
    void FleetTarget();
    void FleetTimeLimit();
    void FleetTail();
    void FleetOldLog();
    void FleetBitLocker();
    // A user's object of the lock's name, before any stage's flash, and a
    // double-click during a flash: one stage, "lock".
    void FleetSquatter();
    void FleetLock();
    void FleetAgentJob();
    void Elevation(bool asked);

    Report& report() { return report_; }

private:
    // Whether this run asks for `stage`; where not, the check's line says so.
    bool Asked(unsigned stage, const char* check);
    // Whether the scratch folder lies through a reparse point, where
    // kestrel.exe rightly writes no log: then `check`, a stage that reads
    // one, says skipped and why.
    bool NoLogHere(const std::string& check);
    // Runs the program on the stage as the road says and reports the check:
    // the full account on the road's own line, and on the others only what
    // differs from it.
    void RunAndReport(const std::string& check, const Stage& stage, WORD show, Decision road);
    // What the road asks of the program here: where nobody sees a box on
    // this window station or session, no box on a box road (kestrel.exe
    // sends its message to the console session instead).
    static Expected ExpectedHere(Decision road);
    // One run of `program` with `arguments`, and what it did: the records
    // of the stand-in in `utilityFolder` and of the decoy in `cwd` read, the
    // images mapped from the scratch folder named, the other programs it
    // started. With `within`, a folder of the scratch folder, only what runs
    // from there counts (a run beside a flash of another stage that goes on).
    Seen RunOnStage(const std::wstring& program, const std::wstring& cwd, const std::wstring& utilityFolder, WORD show,
                    const std::wstring& arguments = {}, RunWatcher* watcher = nullptr, const std::wstring& within = {});
    // Every system image name planted in the stage, beside the program and
    // in its current folder: the probe under each module's name, the
    // stand-in under each program's. False when they could not be placed.
    // The folders of the stage planted before are taken over where they can
    // be (HandOver), the names copied where not.
    bool Plant(const Stage& stage);
    bool PlantIn(const std::wstring& folder, const std::wstring& holder);
    // Hands the planted names in `holder`, a folder an earlier stage
    // planted, to `folder`: what else that stage left in it goes, `folder`'s
    // own files move in, and the holder takes `folder`'s place. False, with
    // `folder` as it was, where a planted file has changed or gone, one of
    // `folder`'s names is a planted one, or a folder cannot be moved (a
    // process still in it).
    bool HandOver(const std::wstring& holder, const std::wstring& folder) const;
    // Whether a folder's entry is a planted name as it was placed: a file of
    // its source's size and last write.
    bool IsPlanted(const WIN32_FIND_DATAW& entry) const;
    // A fleet stage's run under `switches` and its line.
    void FleetLine(const std::string& check, const Stage& stage, const std::wstring& switches,
                   const FleetExpected& expected, const std::wstring& log = {});
    // The same, with what follows "--" (`tail`) expected at the utility, and
    // only the stage's own folder counted (RunOnStage's `within`).
    void SwitchLine(const std::string& check, const Stage& stage, const std::wstring& switches,
                    const FleetExpected& expected, const std::wstring& log, const std::wstring& tail = {});
    // The scratch folder as the loader may name what it maps from there: its
    // final path, as made, and its 8.3 form (XP's loader names a file as it
    // opened it, and XP's %TEMP% is an 8.3 spelling). With `within`, a folder
    // of it, that folder's spellings.
    std::vector<std::wstring> ScratchSpellings(const std::wstring& within = {}) const;
    // The control: a careless gate in the planted stage loads `name` by its
    // bare name. True when the load was seen.
    bool Control(const Stage& stage, const std::wstring& name);

    const Scratch& scratch_;
    std::wstring program_, tools_;
    unsigned stages_;
    Report report_;
    WindowsVersion version_;
    Decision road_ = Decision::Privilege;
    Seen roadSeen_;
    bool roadRun_ = false;
    std::vector<std::string> known_;
    std::vector<std::wstring> names_;     // every system module image name, planted
    std::vector<std::wstring> programs_;  // every system program name, planted
    // Every planted name in lower case, with its source's size and times.
    std::map<std::string, WIN32_FILE_ATTRIBUTE_DATA> planted_;
    std::vector<std::wstring> holders_;  // the folders that hold them now
    VersionRead versionRead_;            // the board's Version as this check read it
    VersionRead biosRead_;               // the firmware's (SMBIOSBIOSVersion), as kestrel reads it
    bool onBattery_ = false;
    AgentJob job_ = AgentJob::None;  // where kestrel.exe's runs stand with respect to a job (JobOfRuns)
};

}  // namespace kestrel::check
