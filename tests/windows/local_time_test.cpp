// The log's time: local time with its offset from UTC, as ISO 8601; what
// the power status counts as running on battery and as a charge; and the
// versions where a suspension is counted in restarts.
#include <gtest/gtest.h>

#include <windows.h>

#include "windows/bitlocker.h"
#include "windows/fleet_shell.h"
#include "windows/flash_job.h"

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

TEST(OnBatteryPower, OnlyABatteryWithTheMainsOff)
{
    // ACLineStatus: 0 offline, 1 online, 255 unknown. BatteryFlag: 1 high,
    // 2 low, 4 critical, 8 charging, 128 no system battery, 255 unknown.
    const struct {
        BYTE acLine, battery;
        bool onBattery;
    } cases[] = {
        {0, 1, true},    {0, 2, true},    {0, 4 | 2, true}, {0, 0, true},  // a battery, the mains off
        {1, 1, false},   {1, 8, false},   {255, 1, false},                 // the mains on, or unknown
        {0, 128, false}, {0, 255, false}, {1, 128, false},                 // no battery, or none known
    };
    for (const auto& c : cases)
        EXPECT_EQ(OnBatteryPower(c.acLine, c.battery), c.onBattery) << int(c.acLine) << " " << int(c.battery);
}

TEST(OnBatteryPower, AChargeOnlyFromAPercentageOfABatteryKnown)
{
    const struct {
        BYTE battery, percent;
        bool present;
        std::optional<unsigned> charge;
    } cases[] = {
        {2, 5, true, 5u},      {0, 50, true, 50u},   {8 | 1, 100, true, 100u}, {4 | 2, 0, true, 0u},  // a charge
        {1, 255, true, {}},    {0, 101, true, {}},                                                    // none known
        {255, 50, true, {}},   {255, 255, true, {}},  // the flag unknown
        {128, 255, false, {}},                        // no battery
    };
    for (const auto& c : cases) {
        const BatteryCharge got = ChargeOf(c.battery, c.percent);
        EXPECT_EQ(got.battery, c.present) << int(c.battery) << " " << int(c.percent);
        EXPECT_EQ(got.percent, c.charge) << int(c.battery) << " " << int(c.percent);
    }
}

TEST(RestartCount, ReliedOnFromWindows81On)
{
    const struct {
        DWORD major, minor;
        bool counted;
    } cases[] = {
        {5, 1, false}, {6, 0, false}, {6, 1, false}, {6, 2, false},  // XP, Vista, 7, 8
        {6, 3, true},  {10, 0, true},                                // 8.1, 10 and 11
    };
    for (const auto& c : cases)
        EXPECT_EQ(RestartCountDocumentedOn({c.major, c.minor}), c.counted) << c.major << "." << c.minor;
}

}  // namespace
}  // namespace kestrel
