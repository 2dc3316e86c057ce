// The log's time: local time with its offset from UTC, as ISO 8601.
#include <gtest/gtest.h>

#include <windows.h>

#include "windows/fleet_shell.h"

namespace kestrel {
namespace {

TEST(LocalTimeText, LocalTimeWithItsOffset)
{
    const struct {
        SYSTEMTIME local;
        long bias;  // UTC minus local time, in minutes
        const char* text;
    } cases[] = {
        {{2026, 12, 2, 8, 14, 5, 9, 0}, -60, "2026-12-08T14:05:09+01:00"},
        {{2026, 1, 4, 1, 0, 0, 0, 0}, 0, "2026-01-01T00:00:00+00:00"},
        {{1999, 7, 0, 31, 23, 59, 59, 999}, 300, "1999-07-31T23:59:59-05:00"},
        {{2027, 3, 1, 15, 9, 30, 0, 0}, -330, "2027-03-15T09:30:00+05:30"},  // India
        {{2027, 3, 1, 15, 9, 30, 0, 0}, 210, "2027-03-15T09:30:00-03:30"},   // Newfoundland
        {{2027, 3, 1, 15, 9, 30, 0, 0}, -765, "2027-03-15T09:30:00+12:45"},  // the Chatham Islands
    };
    for (const auto& c : cases) EXPECT_EQ(LocalTimeText(c.local, c.bias), c.text);
}

}  // namespace
}  // namespace kestrel
