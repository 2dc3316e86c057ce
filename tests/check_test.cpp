// The release check's logic: a PE file's import directory read from bytes
// that may be anything, the KnownDLL closure, the report's count and status.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "clear_place.h"
#include "fleet_outcome.h"
#include "junit.h"
#include "log_lines.h"
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

// Text for the JUnit file: markup escaped, what XML cannot hold told as
// "\xNN", non-ASCII passed through as the UTF-8 it is.
TEST(Junit, EscapesMarkupControlsAndBytesThatAreNoUtf8)
{
    const struct {
        std::string_view text, xml;
    } rows[] = {
        {"plain", "plain"},
        {"a & b <c> \"d\" 'e'", "a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;"},
        {"]]>", "]]&gt;"},
        {"tab\tline\ncr\r", "tab&#9;line&#10;cr&#13;"},
        {std::string_view("nul\0!", 5), "nul\\x00!"},
        {"\x01\x1B\x7F", "\\x01\\x1B\\x7F"},
        {"Jos\xC3\xA9-\xE5\x9B\xBA\xE4\xBB\xB6 \xF0\x9F\x94\x92",
         "Jos\xC3\xA9-\xE5\x9B\xBA\xE4\xBB\xB6 \xF0\x9F\x94\x92"},
        {"\xEF\xBF\xBE", "\\xEF\\xBF\\xBE"},           // U+FFFE
        {"\xC3", "\\xC3"},                             // cut short
        {"\xC3(", "\\xC3("},                           // no continuation
        {"\x80!", "\\x80!"},                           // a stray continuation byte
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong '/'
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
    };
    for (const auto& row : rows) EXPECT_EQ(XmlText(row.text), row.xml) << row.text;
}

// One test case a line in the order run, the counts, the facts as
// properties; a failure's text as the console says it.
TEST(Junit, OneCaseALineWithTheConsolesText)
{
    Report report;
    report.Noted("machine: Windows 6.1 <x86>");
    EXPECT_EQ(report.Noted("no topic"), "no topic");
    report.Held("road", "the launch road: exit status 0");
    report.Failed("fleet /quiet", "exit status 7 & \"x\"");
    report.Skipped("elevation", "needs --elevation");
    EXPECT_EQ(ConsoleLine(report.lines()[1]), "FAILED   fleet /quiet: exit status 7 & \"x\"");
    EXPECT_EQ(JunitXml(report, "kestrel-check"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<testsuites>\n"
              "  <testsuite name=\"kestrel-check\" tests=\"3\" failures=\"1\" errors=\"0\" skipped=\"1\">\n"
              "    <properties>\n"
              "      <property name=\"machine\" value=\"Windows 6.1 &lt;x86&gt;\"/>\n"
              "      <property name=\"no topic\" value=\"\"/>\n"
              "    </properties>\n"
              "    <testcase name=\"road\" classname=\"kestrel-check\">\n"
              "      <system-out>held     road: the launch road: exit status 0</system-out>\n"
              "    </testcase>\n"
              "    <testcase name=\"fleet /quiet\" classname=\"kestrel-check\">\n"
              "      <failure message=\"exit status 7 &amp; &quot;x&quot;\">FAILED   fleet /quiet: exit status 7 &amp; "
              "&quot;x&quot;</failure>\n"
              "    </testcase>\n"
              "    <testcase name=\"elevation\" classname=\"kestrel-check\">\n"
              "      <skipped message=\"needs --elevation\"/>\n"
              "    </testcase>\n"
              "  </testsuite>\n"
              "</testsuites>\n");
    // A check that could not run: no line, one error.
    const std::string none = JunitXml(Report(), "kestrel-check", "no scratch folder");
    EXPECT_NE(none.find("tests=\"1\" failures=\"0\" errors=\"1\" skipped=\"0\""), std::string::npos) << none;
    EXPECT_NE(none.find("<error message=\"no scratch folder\"/>"), std::string::npos) << none;
    EXPECT_EQ(none.find("<properties>"), std::string::npos) << none;
}

// Where a box goes so that its icon, read from the screen, is clear of the
// windows over it: a 1280x1024 screen, a 300x150 box at its centre with its
// icon near the box's top-left corner.
TEST(ClearPlace, MovesTheBoxWhereItsIconIsClear)
{
    const Area frame{490, 437, 790, 587}, icon{510, 467, 542, 499};
    const Area centre{320, 256, 960, 768}, topBand{0, 0, 1280, 300}, all{0, 0, 1280, 1024};
    const struct {
        const char* what;
        std::vector<Area> covers;
        std::optional<Place> place;
    } rows[] = {
        {"nothing over it", {}, std::nullopt},
        {"a window beside it", {{0, 0, 100, 100}}, std::nullopt},
        {"a window over the centre", {centre}, Place{0, 0}},
        {"and one over the top", {centre, topBand}, Place{0, 874}},
        {"one over the icon's edge only", {{541, 498, 600, 560}}, Place{0, 0}},
        {"the whole screen", {all}, std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(ClearPlace(icon, frame, row.covers, 1280, 1024), row.place) << row.what;
    // A box larger than the screen fits nowhere.
    EXPECT_EQ(ClearPlace(icon, {0, 0, 2000, 150}, {centre}, 1280, 1024), std::nullopt);
}

// The stages a run is asked for: each name once; a list that names nothing,
// a stage not known, or one twice is no list.
TEST(Report, StagesAskedFor)
{
    const struct {
        std::string_view list;
        std::optional<unsigned> stages;
    } rows[] = {
        {"road", kRoadStage},
        {"wait,road", kWaitStage | kRoadStage},
        {"road,planted,manifest,beside,hidden,drive,fleet,wait,target,timeout,tail,oldlog,bitlocker,lock,agentjob",
         kEveryStage},
        {"agentjob,timeout", kAgentJobStage | kTimeoutStage},
        {"oldlog,lock,bitlocker,tail,target", kOldLogStage | kLockStage | kBitLockerStage | kTailStage | kTargetStage},
        {"road,planted,manifest,beside,hidden,drive,fleet,wait", (1u << 8) - 1},
        {"", std::nullopt},
        {"road,", std::nullopt},
        {",road", std::nullopt},
        {"road,road", std::nullopt},
        {"Road", std::nullopt},
        {"road planted", std::nullopt},
        {"elevation", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(ParseStages(row.list), row.stages) << row.list;
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
    Seen launch{0, false, 0, {}, "started usestartup=1 show=1 args=[] cwd=C:\\José\\bin errormode=0\nended", {}};
    launch.endedWhileUtilityRan = true;
    Seen waited = launch, killed = launch, buttons = box, left = box;
    waited.endedWhileUtilityRan = false;  // the program waited for the utility
    killed.utility = "started usestartup=1 show=1 args=[] cwd=C:\\José\\bin errormode=0";
    buttons.boxes[0].buttons = {"Abort", "Retry", "Ignore"};
    buttons.boxes[0].onlyOk = false;
    left.leftovers = {"C:\\t\\road x\\bin\\copy.exe"};
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
        {"another program started", {0, false, 0, {}, launch.utility, {}, "", {"C:\\x.exe"}}, Decision::Launch, false},
        {"the program waited for the utility", waited, Decision::Launch, false},
        {"the utility ended with the program", killed, Decision::Launch, false},
        {"Abort, Retry and Ignore", buttons, Decision::WrongModel, false},
        {"a process left running", left, Decision::WrongModel, false},
    };
    for (const auto& c : cases) EXPECT_EQ(AsExpected(c.seen, ExpectedFor(c.road), "C:\\josé\\bin"), c.met) << c.what;
    // The error mode counts off Wine; a stage without the utility wants
    // nothing at all with status 3.
    Seen mode = launch;
    mode.utility = "started usestartup=1 show=1 args=[] cwd=C:\\José\\bin errormode=32769\nended";
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
    other.utility = "started usestartup=1 show=1 args=[] cwd=D:\\elsewhere errormode=0\nended";
    EXPECT_EQ(DescribeAgainst(other, launch), "as on the road");  // the stage's folder is its own
    EXPECT_EQ(DescribeAgainst({0, false, 3, {}, "", {}}, box), "no box; exit status 3");
    EXPECT_EQ(DescribeAgainst({0, false, 0, {}, "started usestartup=1 show=0 args=[]", {}}, launch),
              "utility: started usestartup=1 show=0 args=[]; it was ended before its own end");
    EXPECT_EQ(Describe(box),
              "box \"WinPhlash\": \"This BIOS is not for your Notebook PC.\" with the warning icon; "
              "exit status 2; utility not started");
    EXPECT_EQ(DescribeAgainst({0, false, 0, {}, "started a\nstarted b", {}, "started c", {"C:\\x.exe"}}, launch),
              "utility started 2 times: started a | started b; it was ended before its own end; the current "
              "folder's WinPhlash.exe started: started c; also started: C:\\x.exe");
    EXPECT_EQ(Describe(buttons),
              "box \"WinPhlash\": \"This BIOS is not for your Notebook PC.\" with the warning icon with the buttons "
              "Abort, Retry, Ignore; exit status 2; utility not started");
    EXPECT_EQ(DescribeAgainst(waited, launch),
              "utility: " + StartLines(launch.utility)[0] + "; the program ended only after it");
}

// Each log line a whole JSON object naming the board as read; the last
// one's status the run's.
TEST(LogFault, ReadsEveryLineWholeAndTheLastStatus)
{
    const VersionRead read = VersionRead::Text(u"34\"B\u00e9");
    const std::string board = R"("board":"34\"B\u00e9")";
    const std::string started = "{\"run\":\"7\"," + board + ",\"decision\":\"launched\",\"status\":null}\n";
    const std::string ended = "{\"run\":\"7\"," + board + ",\"utility\":{\"status\":3010},\"status\":3010}\n";
    const struct {
        const char* what;
        std::string log;
        VersionRead board;
        unsigned long status;
        const char* fault;  // how the fault begins; "" for none
    } cases[] = {
        {"one line", ended, read, 3010, ""},
        {"a line at the start and one at the end", started + ended, read, 3010, ""},
        {"the board as written raw", "{\"board\":\"34\\\"B\xc3\xa9\",\"status\":0}\n", read, 0, ""},
        {"another status last", started + ended, read, 0, "the last line's status is 3010"},
        {"the status only on an earlier line", ended + started, read, 3010, "no status on the last line"},
        {"no line", "", read, 0, "no line"},
        {"a fragment at the end", ended + "{\"board\":", read, 3010, "the log's last line"},
        {"two objects on a line", "{\"status\":0}{\"status\":0}\n", read, 0, "not a whole JSON object"},
        {"an unquoted key", "{board:\"34\",\"status\":0}\n", read, 0, "not a whole JSON object"},
        {"another board", "{\"board\":\"34C\",\"status\":0}\n", read, 0, "does not name the board"},
        {"a board cut short", "{\"board\":\"34\",\"status\":0}\n", read, 0, "does not name the board"},
        {"null where the version held none", "{\"board\":null,\"status\":1}\n", VersionRead::Null(), 1, ""},
        {"text where it held none", "{\"board\":\"\",\"status\":1}\n", VersionRead::Null(), 1, "does not name"},
        {"notRead where none was read", "{\"notRead\":\"bind\",\"status\":1}\n", VersionRead::Failed(), 1, ""},
        {"every key, the step named", "{\"board\":null,\"boardNotRead\":\"bind\",\"status\":1}\n",
         VersionRead::Failed(), 1, ""},
        {"every key, no step", "{\"board\":null,\"boardNotRead\":null,\"status\":1}\n", VersionRead::Failed(), 1,
         "does not name"},
        {"a board where none was read", "{\"board\":\"34\",\"status\":1}\n", VersionRead::Failed(), 1, "does not name"},
        // A status past 2^31 as a signed 32-bit number, as Intune shows it.
        {"a crash's status", "{\"board\":\"34\\\"B\xc3\xa9\",\"status\":-1073741819}\n", read, 0xC0000005, ""},
        {"a crash's status unsigned", "{\"board\":\"34\\\"B\xc3\xa9\",\"status\":3221225477}\n", read, 0xC0000005,
         "the last line's status is 3221225477, the run's -1073741819"},
    };
    for (const auto& c : cases) {
        const std::string fault = LogFault(c.log, c.board, c.status);
        EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << c.what << ": " << fault;
        EXPECT_EQ(fault.empty(), std::string(c.fault).empty()) << c.what << ": " << fault;
    }
    const auto members = JsonObject(R"( {"a":"\ud83d\ude00\n","b":-1.5e3,"c":[1,{"d":true}],"e":null} )");
    ASSERT_TRUE(members.has_value());
    ASSERT_EQ(members->size(), 4u);
    EXPECT_EQ((*members)[0].value, "\xf0\x9f\x98\x80\n");
    EXPECT_EQ((*members)[1].value, "-1.5e3");
    EXPECT_EQ((*members)[2].kind, JsonMember::Kind::Other);
    EXPECT_EQ((*members)[3].kind, JsonMember::Kind::Null);
    for (const char* broken :
         {"{", "{\"a\":}", "{\"a\":1,}", "{\"a\":\"\x01\"}", "{\"a\":\"\\x\"}", "[1]", "{\"a\":tru}"})
        EXPECT_FALSE(JsonObject(broken).has_value()) << broken;
}

// What a fleet run must do on each road and machine, and the waited
// statuses as the table for deployers gives them.
TEST(FleetOutcome, FollowsTheRoadTheRightsThePowerAndTheWait)
{
    for (const unsigned long own : {1ul, 2ul, 3ul, 4ul, 6ul, 7ul, 9ul, 10ul, 11ul, 12ul, 70ul, 259ul, 1618ul})
        EXPECT_EQ(WaitedStatusFor(own), 6u) << own;
    for (const unsigned long passed : {0ul, 5ul, 8ul, 13ul, 1641ul, 3010ul, 0xC0000005ul})
        EXPECT_EQ(WaitedStatusFor(passed), passed) << passed;

    const FleetMachine admin{true, false}, user{false, false}, battery{true, true};
    EXPECT_EQ(FleetExpectedFor(Decision::WrongModel, admin).status, 2u);
    EXPECT_EQ(FleetExpectedFor(Decision::Privilege, admin).status, 1u);
    EXPECT_EQ(FleetExpectedFor(Decision::Launch, user).status, 1u);
    EXPECT_EQ(FleetExpectedFor(Decision::Launch, {false, true}).status, 1u);  // the lock before the power
    EXPECT_EQ(FleetExpectedFor(Decision::Launch, battery).status, 4u);
    EXPECT_FALSE(FleetExpectedFor(Decision::Launch, battery).starts);
    EXPECT_EQ(FleetExpectedFor(Decision::Launch, admin, true, 7).status, 6u);
    EXPECT_EQ(DecidingExpectedFor(Decision::Launch, admin).status, 10u);
    EXPECT_FALSE(DecidingExpectedFor(Decision::Launch, admin).starts);
    EXPECT_EQ(DecidingExpectedFor(Decision::Launch, battery).status, 4u);
    EXPECT_EQ(DecidingExpectedFor(Decision::WrongModel, admin).status, 2u);

    const std::string start = "started usestartup=1 show=1 args=[] cwd=C:\\a b\\bin errormode=0";
    Seen ranOn{0, false, 0, {}, start + "\nended", {}};
    ranOn.endedWhileUtilityRan = true;
    Seen waitedFor{0, false, 3010, {}, start + "\nended\nchild ended", {}};
    waitedFor.endedLast = true;
    Seen childLeft = waitedFor;
    childLeft.utility = start + "\nended";
    childLeft.endedLast = false;
    Seen shown{0, false, 2, {{"WinPhlash", "x", true}}, "", {}};
    Seen hidden = ranOn, handedOn = ranOn;
    hidden.utility = "started usestartup=1 show=0 args=[] cwd=C:\\a b\\bin errormode=0\nended";
    handedOn.utility = "started usestartup=1 show=1 args=[\"/quiet\"] cwd=C:\\a b\\bin errormode=0\nended";
    const FleetExpected quiet = FleetExpectedFor(Decision::Launch, admin);
    const FleetExpected wait = FleetExpectedFor(Decision::Launch, admin, true, 3010, true);
    const struct {
        const char* what;
        Seen seen;
        FleetExpected expected;
        bool met;
    } cases[] = {
        {"started, running on", ranOn, quiet, true},
        {"started hidden", hidden, quiet, false},
        {"handed the gate's own switches", handedOn, quiet, false},
        {"started, waited for", ranOn, wait, false},
        {"waited for with its child", waitedFor, wait, true},
        {"ended before the child", childLeft, wait, false},
        {"waited for where it should run on", waitedFor, quiet, false},
        {"a box under /quiet", shown, FleetExpectedFor(Decision::WrongModel, admin), false},
        {"nothing shown", {0, false, 2, {}, "", {}}, FleetExpectedFor(Decision::WrongModel, admin), true},
        {"a start on the wrong-model road", ranOn, FleetExpected{0}, false},
        {"a usage error", {0, false, 7, {}, "", {}}, FleetExpected{7}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(MeetsFleet(c.seen, c.expected, "C:\\A B\\bin"), c.met) << c.what;
    // What followed "--" reaches the utility exactly, and nothing else does.
    EXPECT_TRUE(MeetsFleet(handedOn, quiet, "C:\\A B\\bin", "\"/quiet\""));
    EXPECT_FALSE(MeetsFleet(handedOn, quiet, "C:\\A B\\bin", "\"/quiet\" "));
    EXPECT_FALSE(MeetsFleet(ranOn, quiet, "C:\\A B\\bin", "/s"));
    EXPECT_EQ(Wanted(wait), "exit status 3010 once the utility and its child had ended, no box");

    // Windows 7 and earlier with kestrel in a job that allows no breakaway:
    // the wait is for the utility's own process; its child may outlive it.
    const struct {
        unsigned long major, minor;
        AgentJob job;
        bool utilityOnly;
    } waits[] = {
        {6, 1, AgentJob::Kept, true},  {6, 0, AgentJob::Kept, true},   {5, 1, AgentJob::Kept, true},
        {6, 2, AgentJob::Kept, false}, {10, 0, AgentJob::Kept, false}, {6, 1, AgentJob::Left, false},
        {6, 1, AgentJob::None, false},
    };
    for (const auto& w : waits)
        EXPECT_EQ(UtilityOnlyWait(w.major, w.minor, w.job), w.utilityOnly) << w.major << "." << w.minor;
    const FleetExpected utilityOnly =
        FleetExpectedFor(Decision::Launch, {.administrator = true, .utilityOnlyWait = true}, true, 3010, true);
    EXPECT_TRUE(utilityOnly.utilityOnly);
    EXPECT_FALSE(utilityOnly.child);
    EXPECT_FALSE(FleetExpectedFor(Decision::Launch, {.administrator = true, .utilityOnlyWait = true}, true, 0)
                     .utilityOnly);  // no child: nothing to tell apart
    Seen utilityWaited = childLeft;
    utilityWaited.endedWhileUtilityRan = true;  // the child, of the utility's image, ran on
    utilityWaited.endedAfterUtility = true;
    Seen notWaited = ranOn;
    const struct {
        const char* what;
        Seen seen;
        FleetExpected expected;
        bool met;
    } inJob[] = {
        {"Windows 7 in a job: the utility waited for, its child not", utilityWaited, utilityOnly, true},
        {"Windows 7 in a job: waited for with its child too",
         [&] {
             Seen both = waitedFor;
             both.endedAfterUtility = true;
             return both;
         }(),
         utilityOnly, true},
        {"Windows 7 in a job: not waited for at all", notWaited, utilityOnly, false},
        {"Windows 8 in a job: the child not waited for", utilityWaited, wait, false},
    };
    for (const auto& c : inJob) EXPECT_EQ(MeetsFleet(c.seen, c.expected, "C:\\A B\\bin"), c.met) << c.what;

    EXPECT_TRUE(RefusedDuringFlash(ranOn, 1618, 1618));
    EXPECT_FALSE(RefusedDuringFlash(ranOn, 1618, 0));
    EXPECT_FALSE(RefusedDuringFlash(Seen{0, false, 1, {}, start, {}}, 1618, 1618));  // the flash ended with kestrel
}

// A waited run given a minute, whose utility outlives it: 9 about a minute
// after the utility's start, the utility started once and still running.
TEST(FleetOutcome, TimeLimitKept)
{
    const std::string start = "started usestartup=1 show=1 args=[] cwd=C:\\a b\\bin errormode=0";
    const struct {
        const char* what;
        unsigned long exit, afterMs;
        std::string record;
        bool ran;
        const char* fault;
    } cases[] = {
        {"kept", 9, 61000, start, true, ""},
        {"the limit ignored, the flash waited for", 0, 75000, start + "\nended", false, "exit status 0, not 9"},
        {"a second taken for a minute", 9, 1000, start, true, "ended before its time limit"},
        {"a limit of minutes read as hours", 9, 200000, start, true, "ended long after its time limit"},
        {"the utility ended with the wait", 9, 60000, start, false, "the utility was no longer running"},
        {"the utility's end recorded", 9, 60000, start + "\nended", true, "the utility was no longer running"},
        {"never started", 9, 60000, "", false, "the utility started 0 times"},
        {"started twice", 9, 60000, start + "\n" + start, true, "the utility started 2 times"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeLimitFault(c.exit, c.afterMs, 55000, 25000, c.record, c.ran), c.fault) << c.what;
}

// A log that others wrote to first: every earlier byte kept, a line feed
// where their text had none, then the run's own lines, whole.
TEST(LogFault, KeepsWhatOthersWrote)
{
    const VersionRead read = VersionRead::Text(u"34B");
    const std::string earlier =
        "{\"board\":\"12A\",\"status\":2}\r\nnote: Gr\xc3\xbc\xc3\x9f"
        "e";
    // A line with every key, null but the board and the status.
    std::string line = "{";
    for (const std::string_view key : kLogKeys)
        line += "\"" + std::string(key) + "\":" + (key == "board" ? "\"34B\"" : key == "status" ? "0" : "null") + ",";
    line.back() = '}';
    line += "\n";
    std::string changed = earlier;
    changed[12] = 'B';
    const struct {
        const char* what;
        std::string before, after;
        const char* fault;
    } cases[] = {
        {"kept, a line feed added", earlier, earlier + "\n" + line, ""},
        {"kept, ending in a line feed already", earlier + "\n", earlier + "\n" + line, ""},
        {"an empty log", "", line, ""},
        {"joined to the other text", earlier, earlier + line,
         "the run's first line joined to the earlier text's last: note: Gr"},
        {"truncated", earlier, line, "the earlier text changed from byte 2 of "},
        {"a byte of theirs changed", earlier, changed + "\n" + line, "the earlier text changed from byte 12 of "},
        {"their text taken away", earlier, "", "the earlier text changed from byte 0 of "},
        {"nothing of its own", earlier, earlier + "\n", "no line in the log"},
        {"its line cut", earlier, earlier + "\n" + line.substr(0, 10), "the log's last line has no line feed"},
        {"another status", earlier, earlier + "\n{\"board\":\"34B\",\"status\":4}\n", "the last line's status is 4"},
        {"a log of its own keys", earlier, earlier + "\n{\"board\":\"34B\",\"status\":0}\n",
         "a line without \"started\""},
        {"every key but the account", earlier,
         earlier + "\n" + line.substr(0, line.find("\"account\"")) + line.substr(line.find("\"session\"")),
         "a line without \"account\""},
    };
    for (const auto& c : cases) {
        const std::string fault = KeptLogFault(c.before, c.after, read, 0);
        EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << c.what << ": " << fault;
        EXPECT_EQ(fault.empty(), std::string(c.fault).empty()) << c.what << ": " << fault;
    }
}

// A line of every key, null but those given.
std::string LogLine(const std::vector<std::pair<std::string_view, std::string>>& values)
{
    std::string line = "{";
    for (const std::string_view key : kLogKeys) {
        std::string value = "null";
        for (const auto& [name, given] : values)
            if (name == key) value = given;
        line += "\"" + std::string(key) + "\":" + value + ",";
    }
    line.back() = '}';
    return line + "\n";
}

// A run that started the utility leaves "starting" before its end; runs
// writing into one log at once leave a whole line each.
TEST(LogFault, StartingLineAndRunsAtOnce)
{
    const std::string starting = LogLine({{"run", "\"a\""}, {"board", "\"34B\""}, {"decision", "\"starting\""}});
    const std::string ended = LogLine({{"run", "\"a\""}, {"board", "\"34B\""}, {"status", "0"}});
    const std::string other = LogLine({{"run", "\"b\""}, {"board", "\"34B\""}, {"status", "10"}});
    const struct {
        const char* what;
        std::string log;
        const char* fault;
    } starts[] = {
        {"starting, then the end", starting + ended, ""},
        {"the end alone", ended, "no line \"starting\" before the run's last"},
        {"starting after the end", ended + starting, "no line \"starting\" before"},
        {"another run's starting", starting + other, "the line \"starting\" is of another run"},
        {"starting with a status", LogLine({{"run", "\"a\""}, {"decision", "\"starting\""}, {"status", "0"}}) + ended,
         "the line \"starting\" holds a status"},
    };
    for (const auto& c : starts) {
        const std::string fault = StartingFault(c.log);
        EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << c.what << ": " << fault;
        EXPECT_EQ(fault.empty(), std::string(c.fault).empty()) << c.what << ": " << fault;
    }

    // A run ended by force during its flash: its line "starting" alone.
    const struct {
        const char* what;
        std::string log;
        bool holds;
    } forced[] = {
        {"starting alone", starting, true},
        {"after another writer's text", "text of another\n" + starting, true},
        {"nothing", "", false},
        {"starting with a status", LogLine({{"run", "\"a\""}, {"decision", "\"starting\""}, {"status", "0"}}), false},
        {"starting without a key", "{\"run\":\"a\",\"decision\":\"starting\",\"status\":null}\n", false},
        {"another decision", other, false},
    };
    for (const auto& c : forced) EXPECT_EQ(ForcedEndFault(c.log).empty(), c.holds) << c.what;

    const VersionRead read = VersionRead::Text(u"34B");
    const std::string third = LogLine({{"run", "\"c\""}, {"board", "\"34B\""}, {"status", "10"}});
    // Two runs' lines written in two pieces each, the pieces interleaved.
    const std::size_t half = ended.size() / 2, otherHalf = other.size() / 2;
    const std::string pieces =
        ended.substr(0, half) + other.substr(0, otherHalf) + ended.substr(half) + other.substr(otherHalf) + third;
    const struct {
        const char* what;
        std::string log;
        std::size_t runs;
        const char* fault;
    } shared[] = {
        {"a line each", ended + other + third, 3, ""},
        {"pieces interleaved", pieces, 3, "not a whole JSON object (two runs' pieces in one line?)"},
        {"a run without its line", ended + other, 3, "2 lines of 3 runs"},
        {"a run's line twice", ended + other + ended, 3, "two lines of the run \"a\""},
        {"a key missing", ended + other + "{\"run\":\"c\",\"board\":\"34B\",\"status\":10}\n", 3,
         "a line without \"started\""},
        {"the last line cut", ended + other + third.substr(0, 20), 3, "the log's last line has no line feed"},
        {"another board", ended + other + LogLine({{"run", "\"c\""}, {"board", "\"12B\""}}), 3,
         "does not name the board as read"},
    };
    for (const auto& c : shared) {
        const std::string fault = SharedLogFault(c.log, read, c.runs);
        EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << c.what << ": " << fault;
        EXPECT_EQ(fault.empty(), std::string(c.fault).empty()) << c.what << ": " << fault;
    }
}

}  // namespace
}  // namespace kestrel::check
