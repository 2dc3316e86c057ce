// The planted checks: the probe under every system image name beside the
// program and in the current folder, with a careless gate as the control;
// and a manifest beside the program that names them all.
#include <windows.h>

#include <algorithm>

#include "../report.h"
#include "checker.h"
#include "console.h"
#include "debuggee.h"
#include "machine.h"
#include "program_path.h"
#include "text.h"

namespace kestrel::check {

namespace {

// A system DLL name that the careless gate can load from its own folder: one
// that is not a KnownDLL (those come from the system whatever the search)
// and not in every process already.
std::wstring ControlName(const std::vector<std::wstring>& names, const std::vector<std::string>& known)
{
    const auto usable = [&](const std::wstring& name) {
        const std::string lower = Lower(Utf8(name));
        for (const char* always : {"ntdll.dll", "kernel32.dll", "kernelbase.dll", "msvcrt.dll"})
            if (lower == always) return false;
        for (const std::string& k : known)
            if (k == lower) return false;
        return true;
    };
    for (const std::wstring& name : names)
        if (Lower(Utf8(name)) == "dwmapi.dll" && usable(name)) return name;
    for (const std::wstring& name : names)
        if (usable(name)) return name;
    return {};
}

// A name as XML text in an attribute.
std::string XmlText(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

bool Checker::Control(const Stage& stage, const std::wstring& name)
{
    const std::wstring gate = InFolder(stage.bin, L"careless.exe");
    if (name.empty() || !CopyFileW(InFolder(tools_, L"careless.exe").c_str(), gate.c_str(), FALSE)) return false;
    const DebugRun run = RunDebuggee(gate, name, stage.cwd, SW_SHOWNORMAL);
    bool seen = false;
    for (const Loaded& loaded : run.images)
        seen = seen || !PlantedImages({loaded.image}, ScratchSpellings(), gate).empty();
    DeleteFileW(gate.c_str());
    return seen;
}

void Checker::PlantedDlls()
{
    names_ = SystemImageNames();
    programs_ = SystemImageNames(true);
    const auto& names = names_;
    // How many of each kind, by the name's ending.
    std::vector<std::pair<std::string, int>> kinds;
    for (const std::wstring& name : names) {
        const std::string lower = Lower(Utf8(name));
        const std::size_t dot = lower.find_last_of('.');
        const std::string kind = dot == std::string::npos ? "(none)" : lower.substr(dot);
        std::size_t i = 0;
        while (i < kinds.size() && kinds[i].first != kind) ++i;
        if (i == kinds.size()) kinds.emplace_back(kind, 0);
        ++kinds[i].second;
    }
    std::sort(kinds.begin(), kinds.end());
    std::string counts;
    for (const auto& [kind, count] : kinds) counts += (counts.empty() ? "" : ", ") + kind + " " + std::to_string(count);
    Say("planted DLL names: " + std::to_string(names.size()) + " (" + counts + ")");
    Say("planted program names: " + std::to_string(programs_.size()) +
        " (the stand-in under each: a start of one fails the stage)");
    if (!Asked(kPlantedStage, "planted DLLs")) return;
    const auto stage = MakeStage(scratch_, L"planted", program_, InFolder(tools_, L"standin.exe"));
    if (!stage || !Plant(*stage)) return Say(report_.Failed("planted DLLs", NotFilled()));
    // A careless gate first: where its load from its own folder is not seen,
    // no load of the program's would be either.
    const std::wstring control = ControlName(names, known_);
    const bool seen = Control(*stage, control);
    Say("control: a careless gate's load of " + Utf8(control) + " from its own folder " +
        (seen ? "was seen" : "was NOT seen"));
    if (!seen) {
        // The loader takes the program's folder as a list where it holds a
        // ';' (the DLL search path is one), and loads nothing from it.
        const std::string why = scratch_.Root().find(L';') != std::wstring::npos
                                    ? "; the scratch folder's path holds a ';' (" + Utf8(scratch_.Root()) +
                                          "): set TEMP to a folder without one"
                                    : "";
        return Say(report_.Failed("planted DLLs", "this machine cannot show a planted load: the control's load of " +
                                                      Utf8(control) + " was not seen" + why));
    }
    RunAndReport("planted DLLs", *stage, SW_SHOWNORMAL, road_);
}

void Checker::PlantedManifest()
{
    if (!Asked(kManifestStage, "planted manifest")) return;
    // Where the external manifest governs (XP, or PreferExternalManifest
    // set), the program must refuse to read the board through it. Its <file>
    // entry for uxtheme.dll, which a box loads, shows whether the system
    // then redirects a DLL into the program's folder.
    const bool externalGoverns = version_.major < 6 || PreferExternalManifest();
    const Decision road = externalGoverns ? Decision::Privilege : road_;
    if (externalGoverns && road_ == Decision::Privilege)
        return Say(report_.Skipped("planted manifest",
                                   "the external manifest governs here and the board already takes the privilege "
                                   "road: a gate that reads the board through the planted manifest would show the "
                                   "same box as one that refuses to"));
    const std::wstring probe = InFolder(tools_, L"probe.dll");
    // A <file> entry wins over the DLL search flags: one for every name
    // planted, each with the probe under it beside the program.
    std::string manifest =
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        " <assemblyIdentity type=\"win32\" name=\"Any.Name\" version=\"1.0.0.0\" processorArchitecture=\"x86\"/>\r\n"
        " <file name=\"wmiplant.dll\"><comClass clsid=\"{172BDDF8-CEEA-11D1-8B05-00600806D9B6}\""
        " threadingModel=\"Apartment\" progid=\"winmgmts\"/></file>\r\n";
    std::vector<std::wstring> names = names_;
    if (names.empty()) names.push_back(L"uxtheme.dll");
    for (const std::wstring& name : names) manifest += " <file name=\"" + XmlText(Utf8(name)) + "\"/>\r\n";
    manifest += "</assembly>\r\n";
    const auto stage = MakeStage(scratch_, L"manifest", program_, InFolder(tools_, L"standin.exe"));
    const FileCopies probes(probe);
    bool placed = stage && WriteFileBytes(stage->program + L".manifest", manifest.data(), DWORD(manifest.size())) &&
                  probes.Place(InFolder(stage->bin, L"wmiplant.dll"));
    for (std::size_t i = 0; placed && i < names.size(); ++i) placed = probes.Place(InFolder(stage->bin, names[i]));
    if (!placed) return Say(report_.Failed("planted manifest", NotFilled()));
    RunAndReport("planted manifest", *stage, SW_SHOWNORMAL, road);
}

}  // namespace kestrel::check
