// The release check's logic: a PE file's import directory read from bytes
// that may be anything, the KnownDLL closure, the report's count and status.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "pe_imports.h"
#include "report.h"
#include "run_outcome.h"

namespace kestrel::check {
namespace {

// A PE32 image with one section at file offset and address 0x200 holding the
// import descriptors and the names.
std::vector<unsigned char> Image(const std::vector<std::string>& dlls)
{
    std::vector<unsigned char> image(0x400, 0);
    const auto put16 = [&](std::size_t at, std::uint32_t v) { image[at] = v & 0xFF, image[at + 1] = (v >> 8) & 0xFF; };
    const auto put32 = [&](std::size_t at, std::uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    put16(0, 0x5A4D);
    put32(0x3C, 0x40);
    put32(0x40, 0x00004550);
    put16(0x44 + 2, 1);           // one section
    put16(0x44 + 16, 0xE0);       // optional header size
    put16(0x58, 0x10B);           // PE32
    put32(0x58 + 92, 16);         // data directories
    put32(0x58 + 96 + 8, 0x200);  // the import directory
    const std::size_t section = 0x58 + 0xE0;
    put32(section + 8, 0x200);   // size
    put32(section + 12, 0x200);  // address
    put32(section + 16, 0x200);  // raw size
    put32(section + 20, 0x200);  // file offset
    std::size_t name = 0x200 + 20 * (dlls.size() + 1);
    for (std::size_t i = 0; i < dlls.size(); ++i) {
        put32(0x200 + 20 * i, 1);
        put32(0x200 + 20 * i + 12, std::uint32_t(name));
        put32(0x200 + 20 * i + 16, 1);
        for (const char c : dlls[i]) image[name++] = static_cast<unsigned char>(c);
        ++name;
    }
    return image;
}

TEST(ImportedDlls, ReadsTheNamesAndRefusesWhatLeadsOutside)
{
    const auto image = Image({"KERNEL32.dll", "msvcrt.dll"});
    EXPECT_EQ(ImportedDlls(image), (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
    // Each: one byte changed, the image cut short, or the names' bytes
    // overwritten to the end with no terminating NUL.
    const struct {
        const char* what;
        std::size_t at;
        unsigned char value;
        std::size_t length;
    } broken[] = {
        {"not MZ", 0, 'X', 0x400},
        {"header past the end", 0x3D, 0xFF, 0x400},
        {"unknown optional header", 0x58, 0x07, 0x400},
        {"import directory outside every section", 0x58 + 96 + 9, 0x70, 0x400},
        {"cut in the descriptors", 0, 'M', 0x210},
        {"a name that never ends", 0, 'M', 0},
    };
    for (const auto& b : broken) {
        auto bad = image;
        bad[b.at] = b.value;
        if (b.length) bad.resize(b.length);
        else std::fill(bad.begin() + 0x23C, bad.end(), 'x');
        EXPECT_EQ(ImportedDlls(bad), std::nullopt) << b.what;
    }
    EXPECT_EQ(ImportedDlls({}), std::nullopt);
}

TEST(KnownDllClosure, TakesDependenciesOnceWithoutRegardToCase)
{
    const std::map<std::string, std::vector<std::string>> imports = {
        {"ole32.dll", {"ADVAPI32.dll", "kernel32.dll"}},
        {"advapi32.dll", {"msvcrt.dll", "OLE32.dll"}},  // a cycle
        {"kernel32.dll", {}},
    };
    const auto closure = WithDependencies({"OLE32.DLL", "kernel32.dll"}, [&](const std::string& name) {
        const auto it = imports.find(name);
        return it == imports.end() ? std::vector<std::string>{} : it->second;
    });
    EXPECT_EQ(closure, (std::vector<std::string>{"kernel32.dll", "ole32.dll", "advapi32.dll", "msvcrt.dll"}));
    EXPECT_EQ(NotAmong({"MSVCRT.dll", "imm32.dll", "Kernel32.DLL"}, closure), std::vector<std::string>{"imm32.dll"});
}

TEST(Report, CountsApartAndFailsOnAnyFailure)
{
    Report report;
    EXPECT_EQ(report.Held("road", "launch"), "held     road: launch");
    report.Skipped("elevation", "needs a person");
    EXPECT_EQ(report.Closing(), (std::vector<std::string>{"1 skipped", "1 passed, 0 failed"}));
    EXPECT_EQ(report.ExitStatus(), kHeld);
    EXPECT_EQ(report.Failed("planted DLLs", "x.dll"), "FAILED   planted DLLs: x.dll");
    EXPECT_EQ(report.ExitStatus(), kFailed);
}

// Which images the loader mapped count as planted: under the scratch folder,
// however the path is spelt, and not the program itself.
TEST(PlantedImages, UnderTheScratchFolderOnly)
{
    const std::wstring scratch = L"C:\\Users\\Zoë\\Temp\\kestrel-check-7-0";
    const std::wstring program = scratch + L"\\planted\\bin\\kestrel.exe";
    const std::vector<std::wstring> images = {
        L"\\\\?\\C:\\Windows\\System32\\kernel32.dll",
        L"\\\\?\\C:\\Users\\Zoë\\Temp\\kestrel-check-7-0\\planted\\bin\\dwmapi.dll",  // final path
        L"c:/users/Zoë/temp/KESTREL-CHECK-7-0/planted/cwd/UXTHEME.DLL",               // other spelling
        L"C:\\Users\\Zoë\\Temp\\kestrel-check-7-0\\planted\\bin\\KESTREL.EXE",        // the program
        L"C:\\Users\\Zoë\\Temp\\kestrel-check-7-01\\x.dll",                           // a neighbour's folder
        L"C:\\Users\\Zoë\\Temp\\kestrel-check-7-0.dll",
    };
    EXPECT_EQ(PlantedImages(images, {scratch}, program), (std::vector<std::wstring>{images[1], images[2]}));
    EXPECT_EQ(PlantedImages(images, {L"\\\\?\\" + scratch + L"\\"}, program).size(), 2u);
    EXPECT_TRUE(PlantedImages(images, {L""}, program).empty());
    // A scratch folder on a share, as the final path names it.
    EXPECT_EQ(
        PlantedImages({L"\\\\?\\UNC\\srv\\home\\tmp\\planted\\dwmapi.dll"}, {L"\\\\srv\\home\\tmp"}, program).size(),
        1u);
    // XP names a mapped file as the loader opened it: in %TEMP%'s 8.3 form.
    const std::wstring xpScratch = L"C:\\Documents and Settings\\Zoë\\Local Settings\\Temp\\kestrel-check-7-0";
    const std::wstring xpShort = L"C:\\DOCUME~1\\Zo\u00eb\\LOCALS~1\\Temp\\KESTRE~1";
    const std::vector<std::wstring> xpImages = {xpShort + L"\\planted\\bin\\dwmapi.dll"};
    EXPECT_TRUE(PlantedImages(xpImages, {xpScratch}, program).empty());
    EXPECT_EQ(PlantedImages(xpImages, {xpScratch, xpShort}, program), xpImages);
}

// A run against its road, and the short account of a later run.
TEST(RunOutcome, MeetsItsRoadAndSaysOnlyWhatDiffers)
{
    const Expected wrong = ExpectedFor(Decision::WrongModel);
    const Seen box{0, false, 2, {{wrong.caption, wrong.text, true}}, "", {}};
    const Seen launch{0, false, 0, {}, "started usestartup=1 show=1 args=[] cwd=C:\\José\\bin errormode=0", {}};
    const struct {
        const char* what;
        Seen seen;
        Decision road;
        bool met;
    } cases[] = {
        {"the box", box, Decision::WrongModel, true},
        {"the box on another road", box, Decision::Privilege, false},
        {"a start in its own folder", launch, Decision::Launch, true},
        {"no icon", {0, false, 2, {{wrong.caption, wrong.text, false}}, "", {}}, Decision::WrongModel, false},
        {"two boxes", {0, false, 2, {box.boxes[0], box.boxes[0]}, "", {}}, Decision::WrongModel, false},
        {"a box and a start", {0, false, 2, box.boxes, launch.utility, {}}, Decision::WrongModel, false},
        {"a planted load", {0, false, 2, box.boxes, "", {L"x.dll"}}, Decision::WrongModel, false},
        {"hidden utility",
         {0, false, 0, {}, "started usestartup=1 show=0 args=[] cwd=C:\\José\\bin errormode=0", {}},
         Decision::Launch,
         false},
        {"another folder",
         {0, false, 0, {}, "started usestartup=1 show=1 args=[] cwd=C:\\José errormode=0", {}},
         Decision::Launch,
         false},
        {"timed out", {0, true, 2, box.boxes, "", {}}, Decision::WrongModel, false},
        {"not started", {2, false, 0, {}, "", {}}, Decision::Launch, false},
        {"started twice", {0, false, 0, {}, launch.utility + "\n" + launch.utility, {}}, Decision::Launch, false},
        {"hidden, then shown",
         {0, false, 0, {}, "started usestartup=1 show=0 args=[] cwd=C:\\José\\bin errormode=0\n" + launch.utility, {}},
         Decision::Launch,
         false},
        {"with arguments",
         {0, false, 0, {}, "started usestartup=1 show=1 args=[/s] cwd=C:\\José\\bin errormode=0", {}},
         Decision::Launch,
         false},
        {"without a show state",
         {0, false, 0, {}, "started usestartup=0 show=1 args=[] cwd=C:\\José\\bin errormode=0", {}},
         Decision::Launch,
         false},
        {"a record that does not parse",
         {0, false, 0, {}, "started show=1 cwd=C:\\José\\bin", {}},
         Decision::Launch,
         false},
        {"the decoy too", {0, false, 0, {}, launch.utility, {}, launch.utility}, Decision::Launch, false},
        {"the decoy instead", {0, false, 0, {}, "", {}, launch.utility}, Decision::Launch, false},
        {"the decoy on a box road", {0, false, 2, box.boxes, "", {}, launch.utility}, Decision::WrongModel, false},
        {"another program started", {0, false, 0, {}, launch.utility, {}, "", {"C:\\x.exe"}}, Decision::Launch, true},
    };
    for (const auto& c : cases) EXPECT_EQ(AsExpected(c.seen, ExpectedFor(c.road), "C:\\josé\\bin"), c.met) << c.what;
    // The error mode counts off Wine; a stage without the utility wants
    // nothing at all with status 3.
    Seen mode = launch;
    mode.utility = "started usestartup=1 show=1 args=[] cwd=C:\\José\\bin errormode=32769";
    EXPECT_TRUE(AsExpected(mode, ExpectedFor(Decision::Launch), "C:\\josé\\bin", false));
    EXPECT_FALSE(AsExpected(mode, ExpectedFor(Decision::Launch), "C:\\josé\\bin", true));
    const Expected absent{false, {}, {}, 3, false};
    EXPECT_TRUE(AsExpected({0, false, 3, {}, "", {}}, absent, "C:\\josé\\bin"));
    EXPECT_FALSE(AsExpected({0, false, 3, {}, "", {}, launch.utility}, absent, "C:\\josé\\bin"));
    EXPECT_FALSE(AsExpected({0, false, 3, box.boxes, "", {}}, absent, "C:\\josé\\bin"));
    const auto start = ParseStart("started usestartup=1 show=1 args=[a] cwd=b] cwd=C:\\a b errormode=0");
    ASSERT_TRUE(start.has_value());
    EXPECT_EQ(start->args, "a] cwd=b");
    EXPECT_EQ(start->cwd, "C:\\a b");

    EXPECT_EQ(DescribeAgainst(box, box), "as on the road");
    Seen other = launch;
    other.utility = "started usestartup=1 show=1 args=[] cwd=D:\\elsewhere errormode=0";
    EXPECT_EQ(DescribeAgainst(other, launch), "as on the road");  // the stage's folder is its own
    EXPECT_EQ(DescribeAgainst({0, false, 3, {}, "", {}}, box), "no box; exit status 3");
    EXPECT_EQ(DescribeAgainst({0, false, 0, {}, "started usestartup=1 show=0 args=[]", {}}, launch),
              "utility: started usestartup=1 show=0 args=[]");
    EXPECT_EQ(Describe(box),
              "box \"WinPhlash\": \"This BIOS is not for your Notebook PC.\" with the warning icon; "
              "exit status 2; utility not started");
    EXPECT_EQ(DescribeAgainst({0, false, 0, {}, "started a\nstarted b", {}, "started c", {"C:\\x.exe"}}, launch),
              "utility started 2 times: started a | started b; the current folder's WinPhlash.exe started: "
              "started c; also started: C:\\x.exe");
}

}  // namespace
}  // namespace kestrel::check
