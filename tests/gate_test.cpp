// The gate's decision, and whole runs of the start-up routine over a
// scripted platform: which message, which launch, which exit status.
#include <gtest/gtest.h>

#include "fake/fake_platform.h"
#include "modMain.h"
#include "elevation.h"
#include "update_gate.h"

namespace kestrel {
namespace {

using testing::BoardScript;
using testing::FakeManagement;
using testing::FakeShell;
using testing::V;

struct DecisionCase {
    BoardPrefix prefix;
    Decision expected;
};

TEST(Gate, DecidesFromThePrefixAlone)
{
    const DecisionCase cases[] = {
        {BoardPrefix(), Decision::Privilege},
        {BoardPrefix::LeftTwo(u""), Decision::Privilege},
        {BoardPrefix::Null(), Decision::Privilege},
        {BoardPrefix::LeftTwo(u"3"), Decision::WrongModel},
        {BoardPrefix::LeftTwo(u"4"), Decision::WrongModel},
        {BoardPrefix::LeftTwo(u"43"), Decision::WrongModel},
        {BoardPrefix::LeftTwo(u"35"), Decision::WrongModel},
        {BoardPrefix::LeftTwo(u"x3"), Decision::WrongModel},
        {BoardPrefix::LeftTwo(u" 3"), Decision::WrongModel},
        {BoardPrefix::LeftTwo(u"\uFF13\uFF14"), Decision::WrongModel},  // full-width digits
        {BoardPrefix::LeftTwo(u"34"), Decision::Launch},
        {BoardPrefix::LeftTwo(u"3400"), Decision::Launch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.prefix.text()));
        EXPECT_EQ(Decide(c.prefix), c.expected);
    }
}

enum class Seen { Nothing, PrivilegeBox, WrongModelBox, Launch };

struct RunCase {
    const char* name;
    BoardScript script;
    bool launchSucceeds;
    Seen seen;
    int exitStatus;
};

class MainTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(MainTest, EndsInExactlyOneOutcome)
{
    const auto& c = GetParam();
    FakeManagement management(c.script);
    FakeShell shell;
    shell.launchSucceeds = c.launchSucceeds;

    EXPECT_EQ(Main(management, shell), c.exitStatus);
    EXPECT_EQ(management.live, 0);

    switch (c.seen) {
    case Seen::PrivilegeBox:
        ASSERT_EQ(shell.messages.size(), 1u);
        EXPECT_EQ(shell.messages[0].text,
                  u"You must be logged in with administrator privilege in order to update the system BIOS.  "
                  u"The system BIOS will not be updated.");
        EXPECT_EQ(shell.messages[0].caption, u"WinFlash");
        EXPECT_EQ(shell.messages[0].style, 48);
        EXPECT_TRUE(shell.launches.empty());
        break;
    case Seen::WrongModelBox:
        ASSERT_EQ(shell.messages.size(), 1u);
        EXPECT_EQ(shell.messages[0].text, u"This BIOS is not for your Notebook PC.");
        EXPECT_EQ(shell.messages[0].caption, u"WinPhlash");
        EXPECT_EQ(shell.messages[0].style, 48);
        EXPECT_TRUE(shell.launches.empty());
        break;
    case Seen::Launch:
    case Seen::Nothing:
        EXPECT_TRUE(shell.messages.empty());
        ASSERT_EQ(shell.launches.size(), 1u);
        EXPECT_EQ(shell.launches[0].fileName, u"WinPhlash.exe");
        EXPECT_EQ(shell.launches[0].windowState, 1);
        break;
    }
}

BoardScript Versions(std::vector<VersionRead> boards) { return {.boards = std::move(boards)}; }

// A table of cases, laid out by hand.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Runs, MainTest,
    ::testing::Values(
        RunCase{"Accepted", Versions({V(u"34B")}), true, Seen::Launch, 0},
        RunCase{"AcceptedExactly", Versions({V(u"34")}), true, Seen::Launch, 0},
        RunCase{"AcceptedLong", Versions({V(u"3400")}), true, Seen::Launch, 0},
        RunCase{"AcceptedButNoUtility", Versions({V(u"34A")}), false, Seen::Nothing, 3},
        RunCase{"OtherModel", Versions({V(u"12B")}), true, Seen::WrongModelBox, 2},
        RunCase{"OneCharacter", Versions({V(u"3")}), true, Seen::WrongModelBox, 2},
        RunCase{"Reversed", Versions({V(u"43")}), true, Seen::WrongModelBox, 2},
        RunCase{"LeadingBlank", Versions({V(u" 34")}), true, Seen::WrongModelBox, 2},
        RunCase{"LastBoardRejects", Versions({V(u"34A"), V(u"12B")}), true, Seen::WrongModelBox, 2},
        RunCase{"LastBoardAccepts", Versions({V(u"12B"), V(u"34A")}), true, Seen::Launch, 0},
        RunCase{"EmptyVersion", Versions({V(u"")}), true, Seen::PrivilegeBox, 1},
        RunCase{"NullVersion", Versions({VersionRead::Null()}), true, Seen::PrivilegeBox, 1},
        RunCase{"AcceptedThenNull", Versions({V(u"34"), VersionRead::Null()}), true, Seen::PrivilegeBox, 1},
        RunCase{"NoBoard", Versions({}), true, Seen::PrivilegeBox, 1},
        RunCase{"NoManagement", {.bindFails = true, .boards = {V(u"34")}}, true, Seen::PrivilegeBox, 1},
        RunCase{"QueryRefused", {.queryFails = true, .boards = {V(u"34")}}, true, Seen::PrivilegeBox, 1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Gate, AnotherFlashRunningStopsOnlyTheLaunch)
{
    struct Case {
        const char* name;
        BoardScript script;
        int status, looks;
        std::u16string_view caption;
    };
    const Case cases[] = {
        {"would launch", Versions({V(u"34B")}), 1618, 1, u"WinPhlash"},
        {"wrong model", Versions({V(u"12B")}), 2, 0, u"WinPhlash"},
        {"board not read", Versions({}), 1, 0, u"WinFlash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeManagement management(c.script);
        FakeShell shell;
        shell.flashRunning = true;
        EXPECT_EQ(Main(management, shell), c.status);
        EXPECT_EQ(shell.lockLooks, c.looks);
        EXPECT_TRUE(shell.launches.empty());
        ASSERT_EQ(shell.messages.size(), 1u);
        EXPECT_EQ(shell.messages[0].style, 48);
        EXPECT_EQ(shell.messages[0].caption, c.caption);
        if (c.status == 1618) {
            EXPECT_EQ(shell.messages[0].text,
                      u"A BIOS update is already running.  The system BIOS will not be updated.");
        }
    }
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// A process start whose plain road answers as scripted, and that counts
// each road's attempts.
class ScriptedStarter final : public ProcessStarter {
public:
    ScriptedStarter(Result plain, bool elevated) : plain_(plain), elevated_(elevated) {}

    Result Start(std::u16string_view path, int windowState) override
    {
        ++plainAttempts;
        seen.emplace_back(path, windowState);
        return plain_;
    }
    bool StartElevated(std::u16string_view path, int windowState) override
    {
        ++elevatedAttempts;
        seen.emplace_back(path, windowState);
        return elevated_;
    }

    int plainAttempts = 0;
    int elevatedAttempts = 0;
    std::vector<std::pair<std::u16string, int>> seen;

private:
    Result plain_;
    bool elevated_;
};

TEST(Elevation, OnlyAnElevationAnswerGetsOneElevatedAttempt)
{
    using Result = ProcessStarter::Result;
    struct Case {
        Result plain;
        bool elevated;
        bool mayPrompt;
        int elevatedAttempts;
        Result result;
    };
    const Case cases[] = {
        {Result::Started, true, true, 0, Result::Started},
        {Result::Failed, true, true, 0, Result::Failed},
        {Result::ElevationRequired, true, true, 1, Result::Started},
        {Result::ElevationRequired, false, true, 1, Result::Failed},             // consent declined
        {Result::ElevationRequired, true, false, 0, Result::ElevationRequired},  // nobody may be asked
        {Result::Started, true, false, 0, Result::Started},
    };
    for (const auto& c : cases) {
        ScriptedStarter starter(c.plain, c.elevated);
        EXPECT_EQ(StartElevatingIfRequired(starter, u"C:\\kestrel\\WinPhlash.exe", 1, c.mayPrompt), c.result);
        EXPECT_EQ(starter.plainAttempts, 1);
        EXPECT_EQ(starter.elevatedAttempts, c.elevatedAttempts);
        for (const auto& [path, state] : starter.seen) {
            EXPECT_EQ(path, u"C:\\kestrel\\WinPhlash.exe");
            EXPECT_EQ(state, 1);
        }
    }
}

}  // namespace
}  // namespace kestrel
