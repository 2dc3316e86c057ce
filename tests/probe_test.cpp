// The probe over a scripted platform: every failure road, and the
// references released on each.
#include <gtest/gtest.h>

#include "fake/fake_platform.h"
#include "probe.h"

namespace kestrel {

void PrintTo(const BoardPrefix& prefix, std::ostream* os)
{
    switch (prefix.kind()) {
    case BoardPrefix::Kind::Empty: *os << "Empty"; return;
    case BoardPrefix::Kind::Null: *os << "Null"; return;
    case BoardPrefix::Kind::Text: break;
    }
    *os << "Text(\"";
    for (const char16_t c : prefix.text()) *os << (c < 0x80 ? char(c) : '?');
    *os << "\")";
}

namespace {

using testing::BoardScript;
using testing::FakeManagement;
using testing::V;

const VersionRead kFail = VersionRead::Failed();
const VersionRead kNull = VersionRead::Null();
BoardPrefix P(std::u16string_view text) { return BoardPrefix::LeftTwo(text); }

struct ProbeCase {
    const char* name;
    BoardScript script;
    BoardPrefix expected;
};

class ProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, LeavesThePrefixAndReleasesEveryReference)
{
    const auto& c = GetParam();
    FakeManagement management(c.script);
    EXPECT_EQ(ProbeBoard(management), c.expected);
    EXPECT_EQ(management.live, 0);
}

BoardScript Boards(std::vector<VersionRead> boards) { return {.boards = std::move(boards)}; }

// A table of cases, laid out by hand.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Roads, ProbeTest,
    ::testing::Values(
        ProbeCase{"TakesTheFirstTwo", Boards({V(u"34A")}), P(u"34")},
        ProbeCase{"TakesAShortTextWhole", Boards({V(u"3")}), P(u"3")},
        ProbeCase{"KeepsAnEmptyTextAsText", Boards({V(u"")}), P(u"")},
        ProbeCase{"KeepsALeadingBlank", Boards({V(u" 34")}), P(u" 3")},
        ProbeCase{"NullVersionIsNull", Boards({kNull}), BoardPrefix::Null()},
        ProbeCase{"LastInstanceWins", Boards({V(u"34A"), V(u"12B")}), P(u"12")},
        ProbeCase{"NullThenTextTakesText", Boards({kNull, V(u"34")}), P(u"34")},
        ProbeCase{"TextThenNullTakesNull", Boards({V(u"34"), kNull}), BoardPrefix::Null()},
        ProbeCase{"FailedReadKeepsEarlierValue", Boards({V(u"34A"), kFail}), P(u"34")},
        ProbeCase{"FailedReadAloneLeavesEmpty", Boards({kFail}), BoardPrefix()},
        ProbeCase{"WalkGoesOnAfterFailedRead", Boards({kFail, V(u"12"), kFail}), P(u"12")},
        ProbeCase{"NoInstanceLeavesEmpty", Boards({}), BoardPrefix()},
        ProbeCase{"SurrogatePairIsTwoUnits", Boards({V(u"\U0001F600x")}), P(u"\U0001F600")},
        ProbeCase{"FailedBindLeavesEmpty", {.bindFails = true, .boards = {V(u"34")}}, BoardPrefix()},
        ProbeCase{"FailedQueryLeavesEmpty", {.queryFails = true, .boards = {V(u"34")}}, BoardPrefix()},
        ProbeCase{"FailedStartLeavesEmpty", {.enumerationFails = true, .boards = {V(u"34")}}, BoardPrefix()},
        ProbeCase{"FailedFirstAdvanceLeavesEmpty", {.boards = {V(u"34")}, .advanceFailsAt = 0}, BoardPrefix()},
        ProbeCase{"FailedAdvanceKeepsLastRead",
                  {.boards = {V(u"34A"), V(u"12B")}, .advanceFailsAt = 1}, P(u"34")}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Probe, AsksTheLocalNamespaceTheOneQuery)
{
    FakeManagement management(Boards({V(u"34")}));
    ProbeBoard(management);
    ASSERT_EQ(management.displayNames.size(), 1u);
    EXPECT_EQ(management.displayNames[0], u"winmgmts:\\\\.\\root\\cimv2");
    ASSERT_EQ(management.queries.size(), 1u);
    EXPECT_EQ(management.queries[0], u"Select * from WIN32_BaseBoard");
    EXPECT_EQ(management.queryFlags[0], 48);
}

TEST(Probe, ReadsEveryInstanceOnce)
{
    FakeManagement management(Boards({V(u"1"), kFail, kNull, V(u"34")}));
    ProbeBoard(management);
    EXPECT_EQ(management.versionReads, 4u);
}

}  // namespace
}  // namespace kestrel
