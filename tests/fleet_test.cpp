// The fleet run's command line, its statuses and its log line, over a
// scripted platform.
#include <gtest/gtest.h>

#include "command_line.h"
#include "fake/fake_fleet_shell.h"
#include "fake/fake_platform.h"
#include "fleet.h"
#include "run_log.h"

namespace kestrel {
namespace {

using Kind = WindowsInvocation::Kind;

TEST(CommandLine, SplitsAsCommandLineToArgvW)
{
    struct Case {
        std::u16string_view line;
        std::vector<std::u16string> values;
    };
    const Case cases[] = {
        {u"k.exe", {u"k.exe"}},
        {u"\"C:\\a b\\k.exe\"  /quiet\t/wait ", {u"C:\\a b\\k.exe", u"/quiet", u"/wait"}},
        {u"k \"a b\" c\"d e\"f", {u"k", u"a b", u"cd ef"}},
        {u"k a\\\\b \\\\\"x y\" \\\"q", {u"k", u"a\\\\b", u"\\x y", u"\"q"}},
        {u"k \\\\\\\"a\\\\\\\\\"b c\"", {u"k", u"\\\"a\\\\b c"}},
        {u"k \"\" \"a\"\"\"b\" \"a\"\"b c\"", {u"k", u"", u"a\"b", u"a\"b", u"c"}},
        {u"k \"\"\"x\"\"\" y", {u"k", u"\"x\"", u"y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line.begin(), c.line.end()));
        std::size_t at = SkipProgramName(c.line);
        std::vector<std::u16string> got{std::u16string(c.line.substr(0, at))};
        for (std::u16string value; NextArgument(c.line, at, value);) got.push_back(value);
        if (!got[0].empty() && got[0].front() == u'"') got[0] = got[0].substr(1, got[0].size() - 2);
        EXPECT_EQ(got, c.values);
    }
}

TEST(CommandLine, ReadsTheSwitchesAndHandsTheRestOn)
{
    struct Case {
        std::u16string_view line;
        Kind kind;
        bool quiet, wait;
        std::u16string_view log, error, tail;
    };
    const Case cases[] = {
        {u"kestrel.exe", Kind::Plain, false, false, u"", u"", u""},
        {u"\"C:\\x y\\kestrel.exe\"   ", Kind::Plain, false, false, u"", u"", u""},
        {u"k /quiet /wait", Kind::Fleet, true, true, u"", u"", u""},
        {u"k -QUIET /Wait /quiet", Kind::Fleet, true, true, u"", u"", u""},
        {u"k \"/log:C:\\Logs\\Flash José 固件.log\" /quiet", Kind::Fleet, true, false, u"C:\\Logs\\Flash José 固件.log",
         u"", u""},
        {u"k /LOG:a.log", Kind::Fleet, false, false, u"a.log", u"", u""},
        {u"k -- /s /f \"x y.bin\"", Kind::Fleet, false, false, u"", u"", u"/s /f \"x y.bin\""},
        {u"k /wait --   a\\\"b  \"c d\" ", Kind::Fleet, false, true, u"", u"", u"a\\\"b  \"c d\" "},
        {u"k /quiet --", Kind::Fleet, true, false, u"", u"", u""},
        {u"k -- /bogus /?", Kind::Fleet, false, false, u"", u"", u"/bogus /?"},
        {u"k \"--\" x", Kind::Fleet, false, false, u"", u"", u"x"},
        {u"k /?", Kind::Help, false, false, u"", u"", u""},
        {u"k /bogus -?", Kind::Help, false, false, u"", u"/bogus", u""},
        {u"k /quiet /bogus /also", Kind::Error, true, false, u"", u"/bogus", u""},
        {u"k /log", Kind::Error, false, false, u"", u"/log", u""},
        {u"k /log:", Kind::Error, false, false, u"", u"/log:", u""},
        {u"k /log:a /log:b", Kind::Error, false, false, u"a", u"/log:b", u""},
        {u"k \"\"", Kind::Error, false, false, u"", u"", u""},
        {u"k quiet", Kind::Error, false, false, u"", u"quiet", u""},
        {u"k --quiet", Kind::Error, false, false, u"", u"--quiet", u""},
        {u"k /qu\u0130et", Kind::Error, false, false, u"", u"/qu\u0130et", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line.begin(), c.line.end()));
        const auto got = ParseWindowsCommandLine(c.line);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.quiet, c.quiet);
        EXPECT_EQ(got.wait, c.wait);
        EXPECT_EQ(got.hasLog, !c.log.empty());
        EXPECT_EQ(got.log, c.log);
        EXPECT_EQ(got.error, c.error);
        EXPECT_EQ(got.utilityTail, c.tail);
    }
}

TEST(CommandLine, LinuxTakesTheSameWordsAfterTwoDashes)
{
    using LinuxKind = LinuxInvocation::Kind;
    struct Case {
        std::vector<std::string_view> arguments;
        LinuxKind kind;
        bool quiet, wait;
        std::string_view log;
        std::vector<std::string> utility;
    };
    const Case cases[] = {
        {{}, LinuxKind::Plain, false, false, "", {}},
        {{"--quiet", "--wait", "--log=/var/log/k.log", "--", "--quiet", ""},
         LinuxKind::Fleet,
         true,
         true,
         "/var/log/k.log",
         {"--quiet", ""}},
        {{"--help"}, LinuxKind::Help, false, false, "", {}},
        {{"--QUIET"}, LinuxKind::Error, false, false, "", {}},
        {{"/quiet"}, LinuxKind::Error, false, false, "", {}},
        {{"--log="}, LinuxKind::Error, false, false, "", {}},
    };
    for (const auto& c : cases) {
        const auto got = ParseLinuxArguments(c.arguments);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.quiet, c.quiet);
        EXPECT_EQ(got.wait, c.wait);
        EXPECT_EQ(got.log, c.log);
        EXPECT_EQ(got.utilityArguments, c.utility);
    }
}

TEST(Fleet, AWaitedStatusNeverPassesForOneOfOurOwn)
{
    const std::pair<std::optional<std::uint32_t>, int> cases[] = {
        {0u, 0}, {5u, 5},  {8u, 8},  {64u, 64},  {3010u, 3010}, {0xC0000005u, int(0xC0000005u)},
        {1u, 6}, {2u, 6},  {3u, 6},  {4u, 6},    {6u, 6},       {7u, 6},
        {9u, 6}, {10u, 6}, {70u, 6}, {1618u, 6}, {259u, 6},     {std::nullopt, 6},
    };
    for (const auto& [utility, status] : cases) EXPECT_EQ(WaitedStatus(utility), status);
}

TEST(Fleet, EachRoadEndsInItsStatusAndLogLine)
{
    const auto V = [](std::u16string_view text) { return VersionRead::Text(text); };
    struct Case {
        const char* name;
        testing::BoardScript script;
        FleetRequest request;
        void (*setUp)(testing::FakeFleetShell&);
        int status, boxes, launches;
        std::string_view line;  // after the facts
    };
    const auto none = [](testing::FakeFleetShell&) {};
    // clang-format off
    const Case cases[] = {
        {"launched", {.boards = {V(u"34B")}}, {}, none, 0, 0, 1, R"("board":"34B","boardNotRead":null,"decision":"launched","result":"unknown","status":0,"utility":null)"},
        {"waited", {.boards = {V(u"34B")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.utilityStatus = 5u; }, 5, 0, 1, R"("board":"34B","boardNotRead":null,"decision":"launched","result":"failed","status":5,"utility":5)"},
        {"waited, ours", {.boards = {V(u"34B")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.utilityStatus = 2u; }, 6, 0, 1, R"("board":"34B","boardNotRead":null,"decision":"launched","result":"failed","status":6,"utility":2)"},
        {"waited, unknown", {.boards = {V(u"34B")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.utilityStatus = std::nullopt; }, 6, 0, 1, R"("board":"34B","boardNotRead":null,"decision":"launched","result":"unknown","status":6,"utility":null)"},
        {"not started", {.boards = {V(u"34")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.starts = false; }, 3, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launch failed","result":"not started","status":3,"utility":null)"},
        {"busy", {.boards = {V(u"34")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.lock = FlashLock::FlashRunning; }, 1618, 0, 0, R"("board":"34","boardNotRead":null,"decision":"flash running","result":"not started","status":1618,"utility":null)"},
        {"not an administrator", {.boards = {V(u"34")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.lock = FlashLock::NoRights; }, 1, 1, 0, R"("board":"34","boardNotRead":null,"decision":"needs administrator","result":"not started","status":1,"utility":null)"},
        {"quiet, the utility needs elevation", {.boards = {V(u"34")}}, {.quiet = true}, [](testing::FakeFleetShell& s) { s.needsElevation = true; }, 1, 0, 1, R"("board":"34","boardNotRead":null,"decision":"needs administrator","result":"not started","status":1,"utility":null)"},
        {"the utility needs elevation: never through consent", {.boards = {V(u"34")}}, {}, [](testing::FakeFleetShell& s) { s.needsElevation = true; }, 1, 1, 1, R"("board":"34","boardNotRead":null,"decision":"needs administrator","result":"not started","status":1,"utility":null)"},
        {"a user's object holds the lock's name", {.boards = {V(u"34")}}, {.wait = true}, [](testing::FakeFleetShell& s) { s.lock = FlashLock::Squatted; }, 1618, 0, 0, R"("board":"34","boardNotRead":null,"decision":"lock squatted","result":"not started","status":1618,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":"S-1-5-21-1-2-3-1001","from":null,"charge":null})"},
        {"only deciding, a user's object", {.boards = {V(u"34")}}, {.check = true}, [](testing::FakeFleetShell& s) { s.lock = FlashLock::Squatted; }, 1618, 0, 0, R"("board":"34","boardNotRead":null,"decision":"lock squatted","result":"not started","status":1618)"},
        {"an agent's job it breaks away from", {.boards = {V(u"34")}}, {}, [](testing::FakeFleetShell& s) { s.job = AgentJob::Left; }, 0, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launched","result":"unknown","status":0,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":"left","lockOwner":null,"from":null,"charge":null})"},
        {"an agent's job that keeps it", {.boards = {V(u"34")}}, {}, [](testing::FakeFleetShell& s) { s.job = AgentJob::Kept; }, 0, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launched","result":"unknown","status":0,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":"kept","lockOwner":null,"from":null,"charge":null})"},
        // Windows 7 has no nested jobs ("The ability to nest jobs was added
        // in Windows 8", Job Objects, Microsoft Learn): a utility kept in the
        // agent's job cannot join the flash's there, and holds the lock by
        // its own handle alone; one that broke away joins it.
        {"an agent's job, the utility not started", {.boards = {V(u"34")}}, {}, [](testing::FakeFleetShell& s) { s.job = AgentJob::Kept, s.starts = false; }, 3, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launch failed","result":"not started","status":3,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":null,"charge":null})"},
        {"breakaway refused though the job allows it", {.boards = {V(u"34")}}, {}, [](testing::FakeFleetShell& s) { s.job = AgentJob::Left, s.breakawayRefused = true; }, 0, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launched","result":"unknown","status":0,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":"kept","lockOwner":null,"from":null,"charge":null})"},
        {"waited past the time limit", {.boards = {V(u"34")}}, {.wait = true, .timeoutMinutes = 1}, none, 9, 0, 1, R"("board":"34","boardNotRead":null,"decision":"timed out","result":"unknown","status":9,"utility":null)"},
        {"a time limit it did not reach", {.boards = {V(u"34")}}, {.wait = true, .timeoutMinutes = 2}, none, 0, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launched","result":"succeeded","status":0,"utility":0)"},
        {"only deciding, would start", {.boards = {V(u"34B")}}, {.check = true}, none, 10, 0, 0, R"("board":"34B","boardNotRead":null,"decision":"would start","result":"not started","status":10,"utility":null)"},
        {"only deciding, wrong model: no box", {.boards = {V(u"12B")}}, {.check = true}, none, 2, 0, 0, R"("board":"12B","boardNotRead":null,"decision":"wrong model","result":"not started","status":2,"utility":null)"},
        {"only deciding, no utility", {.boards = {V(u"34B")}}, {.check = true}, [](testing::FakeFleetShell& s) { s.present = false; }, 3, 0, 0, R"("board":"34B","boardNotRead":null,"decision":"launch failed","result":"not started","status":3,"utility":null)"},
        {"only deciding, a flash runs", {.boards = {V(u"34B")}}, {.check = true}, [](testing::FakeFleetShell& s) { s.lock = FlashLock::FlashRunning; }, 1618, 0, 0, R"("board":"34B","boardNotRead":null,"decision":"flash running","result":"not started","status":1618,"utility":null)"},
        {"only deciding, on battery", {.boards = {V(u"34B")}}, {.check = true}, [](testing::FakeFleetShell& s) { s.onBattery = true; }, 4, 0, 0, R"("board":"34B","boardNotRead":null,"decision":"on battery","result":"not started","status":4,"utility":null)"},
        {"battery", {.boards = {V(u"34")}}, {}, [](testing::FakeFleetShell& s) { s.onBattery = true; }, 4, 0, 0, R"("board":"34","boardNotRead":null,"decision":"on battery","result":"not started","status":4,"utility":null)"},
        {"wrong model, escaped", {.boards = {V(u"1\"\\\t\x01\u00e9\U0001F600\xD800")}}, {}, none, 2, 1, 0, "\"board\":\"1\\\"\\\\\\u0009\\u0001\xC3\xA9\xF0\x9F\x98\x80\\ud800\",\"boardNotRead\":null," "\"decision\":\"wrong model\",\"result\":\"not started\",\"status\":2"},
        {"quiet wrong model", {.boards = {V(u"12B")}}, {.quiet = true}, none, 2, 0, 0, R"("board":"12B","boardNotRead":null,"decision":"wrong model","result":"not started","status":2,"utility":null)"},
        {"null", {.boards = {VersionRead::Null()}}, {}, none, 1, 1, 0, R"("board":null,"boardNotRead":null,"decision":"privilege","result":"not started","status":1,"utility":null)"},
        {"bind", {.bindFails = true}, {.quiet = true}, none, 1, 0, 0, R"("board":null,"boardNotRead":"bind","decision":"privilege","result":"not started","status":1,"utility":null)"},
        {"query", {.queryFails = true}, {}, none, 1, 1, 0, R"("board":null,"boardNotRead":"query","decision":"privilege","result":"not started","status":1,"utility":null)"},
        {"walk", {.enumerationFails = true}, {}, none, 1, 1, 0, R"("board":null,"boardNotRead":"enumeration","decision":"privilege","result":"not started","status":1,"utility":null)"},
        {"property", {.boards = {VersionRead::Failed()}}, {}, none, 1, 1, 0, R"("board":null,"boardNotRead":"property","decision":"privilege","result":"not started","status":1,"utility":null)"},
        {"no board", {}, {}, none, 1, 1, 0, R"("board":null,"boardNotRead":"no board","decision":"privilege","result":"not started","status":1,"utility":null)"},
        {"last read wins", {.boards = {V(u"34"), VersionRead::Failed()}}, {}, none, 0, 0, 1, R"("board":"34","boardNotRead":null,"decision":"launched","result":"unknown","status":0,"utility":null)"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakeManagement management(c.script);
        testing::FakeFleetShell shell;
        c.setUp(shell);
        NoEncryption encryption;
        const FleetResult result = RunFleet(management, shell, encryption, c.request, shell.Facts());
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(shell.boxes, c.boxes);
        EXPECT_EQ(shell.launches, c.launches);
        EXPECT_EQ(shell.log.size(), std::size_t(c.launches));
        if (c.request.check) {
            EXPECT_EQ(shell.takes, 0);  // deciding takes no lock
        }
        EXPECT_EQ(management.live, 0);
        // The board as read, then what was decided: the rest is the same on
        // every road.
        const std::string line = LogLine(shell.Facts(), c.request, result, 250, LogMoment::Ended);
        const std::size_t decision = c.line.find(R"(,"decision")");
        EXPECT_NE(line.find(c.line.substr(0, decision)), std::string::npos) << line;
        EXPECT_NE(line.find(c.line.substr(decision)), std::string::npos) << line;
    }
}

// Windows gives a process id again once its process has ended ("Until the
// process terminates, the process identifier uniquely identifies the process
// throughout the system", GetCurrentProcessId, Microsoft Learn): a new
// process of the flash with an earlier one's id still gets the lock's
// handle, and so does every process past the 64th.
TEST(Fleet, EveryProcessOfTheFlashIsKnownByItsIdAndStart)
{
    FlashMembers members;
    for (std::uint32_t id = 4; id < 4 + 4 * 70; id += 4) {
        EXPECT_FALSE(members.Holds(id, 1000 + id));
        members.Add(id, 1000 + id);
    }
    const struct {
        std::uint32_t id;
        std::uint64_t start;
        bool holds;
    } cases[] = {
        {4, 1004, true},     // the first
        {280, 1280, true},   // the 70th
        {4, 2004, false},    // the first one's id, a later process
        {284, 1004, false},  // another id at the same start
        {1004, 4, false},
    };
    for (const auto& c : cases) EXPECT_EQ(members.Holds(c.id, c.start), c.holds) << c.id << " " << c.start;
}

TEST(Fleet, TheUsageAskedForIsNoSuccess)
{
    for (const bool quiet : {false, true}) {
        testing::FakeFleetShell shell;
        const FleetResult result = RunHelp(shell, {.quiet = quiet}, u"/?", u"usage");
        EXPECT_EQ(result.status, 7);
        EXPECT_EQ(shell.boxes, quiet ? 0 : 100);
        EXPECT_EQ(shell.launches, 0);
    }
}

TEST(Fleet, AUsageErrorStartsNothingAndNamesTheArgument)
{
    for (const bool quiet : {false, true}) {
        testing::FakeFleetShell shell;
        const FleetResult result = RunUsageError(shell, {.quiet = quiet}, u"/bögus", u"usage");
        EXPECT_EQ(result.status, 7);
        EXPECT_EQ(shell.boxes, quiet ? 0 : 1);
        EXPECT_EQ(shell.launches, 0);
        EXPECT_NE(
            LogLine(shell.Facts(), {}, result, 0, LogMoment::Ended)
                .find("\"argument\":\"/b\xC3\xB6gus\",\"decision\":\"usage\",\"result\":\"not started\",\"status\":7"),
            std::string::npos);
    }
}

}  // namespace
}  // namespace kestrel
