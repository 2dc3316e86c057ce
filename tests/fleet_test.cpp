// The fleet run's command line, its statuses and its log line, over a
// scripted platform.
#include <gtest/gtest.h>

#include "command_line.h"
#include "fake/fake_platform.h"
#include "fleet.h"

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

class FakeFleetShell final : public FleetShell {
public:
    FlashLock lock = FlashLock::Held;
    bool onBattery = false, starts = true, needsElevation = false;
    std::optional<std::uint32_t> utilityStatus = 0u;
    int boxes = 0, launches = 0, takes = 0;
    bool waited = false;

    bool ShowMessage(std::u16string_view, int, std::u16string_view) override { return ++boxes, true; }
    FlashLock TakeFlashLock() override
    {
        ++takes;
        return lock;
    }
    FlashLock PeekFlashLock() override { return lock; }
    bool UtilityPresent(std::u16string_view fileName) override
    {
        EXPECT_EQ(fileName, u"WinPhlash.exe");
        return starts;
    }
    bool OnBattery() override { return onBattery; }
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                      bool mayPrompt) override
    {
        EXPECT_EQ(fileName, u"WinPhlash.exe");
        EXPECT_EQ(windowState, 1);
        ++launches;
        waited = wait;
        if (needsElevation && !mayPrompt) return {.needsElevation = true};
        if (!starts) return {};
        // The flash outlasts a limit of a minute.
        if (wait && timeoutMinutes == 1) return {.started = true, .timedOut = true};
        return {.started = true, .status = wait ? utilityStatus : std::nullopt};
    }
    void TellUsage(std::u16string_view, bool error) override { boxes += error ? 1 : 100; }
    RunFacts Facts() override { return {"2026-12-08T14:05:09+01:00", u"PC-01", u"NT AUTHORITY\\SYSTEM", 0u}; }
    bool AppendLog(std::string_view) override { return true; }
};

TEST(Fleet, EachRoadEndsInItsStatusAndLogLine)
{
    const auto V = [](std::u16string_view text) { return VersionRead::Text(text); };
    struct Case {
        const char* name;
        testing::BoardScript script;
        FleetRequest request;
        void (*setUp)(FakeFleetShell&);
        int status, boxes, launches;
        std::string_view line;  // after the facts
    };
    const auto none = [](FakeFleetShell&) {};
    const Case cases[] = {
        {"launched", {.boards = {V(u"34B")}}, {}, none, 0, 0, 1, R"("board":"34B","decision":"launched","status":0})"},
        {"waited",
         {.boards = {V(u"34B")}},
         {.wait = true},
         [](FakeFleetShell& s) { s.utilityStatus = 5u; },
         5,
         0,
         1,
         R"("board":"34B","decision":"launched","status":5,"utility":5})"},
        {"waited, ours",
         {.boards = {V(u"34B")}},
         {.wait = true},
         [](FakeFleetShell& s) { s.utilityStatus = 2u; },
         6,
         0,
         1,
         R"("board":"34B","decision":"launched","status":6,"utility":2})"},
        {"waited, unknown",
         {.boards = {V(u"34B")}},
         {.wait = true},
         [](FakeFleetShell& s) { s.utilityStatus = std::nullopt; },
         6,
         0,
         1,
         R"("board":"34B","decision":"launched","status":6,"utility":null})"},
        {"not started",
         {.boards = {V(u"34")}},
         {.wait = true},
         [](FakeFleetShell& s) { s.starts = false; },
         3,
         0,
         1,
         R"("board":"34","decision":"launch failed","status":3})"},
        {"busy",
         {.boards = {V(u"34")}},
         {.wait = true},
         [](FakeFleetShell& s) { s.lock = FlashLock::FlashRunning; },
         1618,
         0,
         0,
         R"("board":"34","decision":"flash running","status":1618})"},
        {"not an administrator",
         {.boards = {V(u"34")}},
         {.wait = true},
         [](FakeFleetShell& s) { s.lock = FlashLock::NoRights; },
         1,
         1,
         0,
         R"("board":"34","decision":"needs administrator","status":1})"},
        {"quiet, the utility needs elevation",
         {.boards = {V(u"34")}},
         {.quiet = true},
         [](FakeFleetShell& s) { s.needsElevation = true; },
         1,
         0,
         1,
         R"("board":"34","decision":"needs administrator","status":1})"},
        {"the utility needs elevation, and may ask",
         {.boards = {V(u"34")}},
         {},
         [](FakeFleetShell& s) { s.needsElevation = true; },
         0,
         0,
         1,
         R"("board":"34","decision":"launched","status":0})"},
        {"waited past the time limit",
         {.boards = {V(u"34")}},
         {.wait = true, .timeoutMinutes = 1},
         none,
         9,
         0,
         1,
         R"("board":"34","decision":"timed out","status":9,"utility":null})"},
        {"a time limit it did not reach",
         {.boards = {V(u"34")}},
         {.wait = true, .timeoutMinutes = 2},
         none,
         0,
         0,
         1,
         R"("board":"34","decision":"launched","status":0,"utility":0})"},
        {"only deciding, would start",
         {.boards = {V(u"34B")}},
         {.check = true},
         none,
         10,
         0,
         0,
         R"("board":"34B","decision":"would start","status":10})"},
        {"only deciding, wrong model: no box",
         {.boards = {V(u"12B")}},
         {.check = true},
         none,
         2,
         0,
         0,
         R"("board":"12B","decision":"wrong model","status":2})"},
        {"only deciding, no utility",
         {.boards = {V(u"34B")}},
         {.check = true},
         [](FakeFleetShell& s) { s.starts = false; },
         3,
         0,
         0,
         R"("board":"34B","decision":"launch failed","status":3})"},
        {"only deciding, a flash runs",
         {.boards = {V(u"34B")}},
         {.check = true},
         [](FakeFleetShell& s) { s.lock = FlashLock::FlashRunning; },
         1618,
         0,
         0,
         R"("board":"34B","decision":"flash running","status":1618})"},
        {"only deciding, on battery",
         {.boards = {V(u"34B")}},
         {.check = true},
         [](FakeFleetShell& s) { s.onBattery = true; },
         4,
         0,
         0,
         R"("board":"34B","decision":"on battery","status":4})"},
        {"battery",
         {.boards = {V(u"34")}},
         {},
         [](FakeFleetShell& s) { s.onBattery = true; },
         4,
         0,
         0,
         R"("board":"34","decision":"on battery","status":4})"},
        {"wrong model, escaped",
         {.boards = {V(u"1\"\\\t\x01\u00e9\U0001F600\xD800")}},
         {},
         none,
         2,
         1,
         0,
         "\"board\":\"1\\\"\\\\\\u0009\\u0001\xC3\xA9\xF0\x9F\x98\x80\\ud800\",\"decision\":\"wrong "
         "model\",\"status\":2}"},
        {"quiet wrong model",
         {.boards = {V(u"12B")}},
         {.quiet = true},
         none,
         2,
         0,
         0,
         R"("board":"12B","decision":"wrong model","status":2})"},
        {"null",
         {.boards = {VersionRead::Null()}},
         {},
         none,
         1,
         1,
         0,
         R"("board":null,"decision":"privilege","status":1})"},
        {"bind",
         {.bindFails = true},
         {.quiet = true},
         none,
         1,
         0,
         0,
         R"("notRead":"bind","decision":"privilege","status":1})"},
        {"query", {.queryFails = true}, {}, none, 1, 1, 0, R"("notRead":"query","decision":"privilege","status":1})"},
        {"walk",
         {.enumerationFails = true},
         {},
         none,
         1,
         1,
         0,
         R"("notRead":"enumeration","decision":"privilege","status":1})"},
        {"property",
         {.boards = {VersionRead::Failed()}},
         {},
         none,
         1,
         1,
         0,
         R"("notRead":"property","decision":"privilege","status":1})"},
        {"no board", {}, {}, none, 1, 1, 0, R"("notRead":"no board","decision":"privilege","status":1})"},
        {"last read wins",
         {.boards = {V(u"34"), VersionRead::Failed()}},
         {},
         none,
         0,
         0,
         1,
         R"("board":"34","decision":"launched","status":0})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakeManagement management(c.script);
        FakeFleetShell shell;
        c.setUp(shell);
        const FleetResult result = RunFleet(management, shell, c.request);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(shell.boxes, c.boxes);
        EXPECT_EQ(shell.launches, c.launches);
        if (c.request.check) EXPECT_EQ(shell.takes, 0);  // deciding takes no lock
        EXPECT_EQ(management.live, 0);
        EXPECT_EQ(LogLine(shell.Facts(), result, c.request),
                  R"({"time":"2026-12-08T14:05:09+01:00","computer":"PC-01","account":"NT AUTHORITY\\SYSTEM",)"
                  R"("session":0,)" +
                      std::string(c.line) + "\n");
    }
}

TEST(Fleet, TheUsageAskedForIsNoSuccess)
{
    for (const bool quiet : {false, true}) {
        FakeFleetShell shell;
        const FleetResult result = RunHelp(shell, {.quiet = quiet}, u"/?", u"usage");
        EXPECT_EQ(result.status, 7);
        EXPECT_EQ(shell.boxes, quiet ? 0 : 100);
        EXPECT_EQ(shell.launches, 0);
    }
}

TEST(Fleet, AUsageErrorStartsNothingAndNamesTheArgument)
{
    for (const bool quiet : {false, true}) {
        FakeFleetShell shell;
        const FleetResult result = RunUsageError(shell, {.quiet = quiet}, u"/bögus", u"usage");
        EXPECT_EQ(result.status, 7);
        EXPECT_EQ(shell.boxes, quiet ? 0 : 1);
        EXPECT_EQ(shell.launches, 0);
        EXPECT_NE(LogLine(shell.Facts(), result, {})
                      .find("\"argument\":\"/b\xC3\xB6gus\",\"decision\":\"usage\",\"status\":7}"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace kestrel
