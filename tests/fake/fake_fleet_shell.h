// A scripted fleet platform: the flash lock, the power source, the
// utility's start and end, and the log's lines as they were written.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fleet.h"

namespace kestrel::testing {

class FakeFleetShell final : public FleetShell {
public:
    FlashLock lock = FlashLock::Held;
    AgentJob job = AgentJob::None;
    bool breakawayRefused = false;
    bool onBattery = false, present = true, starts = true, needsElevation = false;
    std::optional<std::uint32_t> utilityStatus = 0u;
    BatteryCharge charge{.battery = false, .percent = {}};
    int boxes = 0, launches = 0, takes = 0, chargeReads = 0;
    bool waited = false;
    std::vector<std::string> log;

    bool ShowMessage(std::u16string_view, int, std::u16string_view) override
    {
        ++boxes;
        return true;
    }
    FlashLock TakeFlashLock() override
    {
        ++takes;
        return lock;
    }
    FlashLock PeekFlashLock() override { return lock; }
    std::string_view LockSquatter() override { return "S-1-5-21-1-2-3-1001"; }
    AgentJob UtilityJob() override { return job; }
    bool UtilityPresent(std::u16string_view fileName) override
    {
        EXPECT_EQ(fileName, u"WinPhlash.exe");
        return present;
    }
    bool OnBattery() override { return onBattery; }
    BatteryCharge Charge() override
    {
        ++chargeReads;
        return charge;
    }
    UtilityEnd Launch(std::u16string_view fileName, int windowState, bool wait, unsigned timeoutMinutes,
                      bool mayPrompt) override
    {
        EXPECT_EQ(fileName, u"WinPhlash.exe");
        EXPECT_EQ(windowState, 1);
        ++launches;
        waited = wait;
        // The line before the start is there first.
        EXPECT_EQ(log.size(), 1u);
        if (needsElevation && !mayPrompt) return {.needsElevation = true};
        if (!starts) return {};
        // The flash outlasts a limit of a minute.
        UtilityEnd end{.started = true, .timedOut = wait && timeoutMinutes == 1};
        if (!end.timedOut && wait) end.status = utilityStatus;
        end.keptInAgentJob = job == AgentJob::Kept || breakawayRefused;
        return end;
    }
    void TellUsage(std::u16string_view, bool error) override { boxes += error ? 1 : 100; }
    RunFacts Facts() override
    {
        return {"2026-12-08T14:05:09+01:00",
                RunId(0x1234, 0x01DD67A1B2C3D4E5),
                1000,
                u"PC-01",
                u"NT AUTHORITY\\SYSTEM",
                "S-1-5-18",
                0u};
    }
    std::uint32_t Ticks() override { return 1250; }
    bool AppendLog(std::string_view line) override
    {
        log.emplace_back(line);
        return true;
    }
};

// Disk protection as scripted, with what was done to it.
class FakeEncryption final : public VolumeEncryption {
public:
    VolumeProtection state = VolumeProtection::Absent;
    bool countsRestarts = true, suspends = true, resumes = true;
    int reads = 0, suspensions = 0, resumptions = 0;

    VolumeProtection Protection() override
    {
        ++reads;
        return state;
    }
    bool CountsRestarts() override { return countsRestarts; }
    bool SuspendForOneRestart() override
    {
        ++suspensions;
        return suspends;
    }
    bool Resume() override
    {
        ++resumptions;
        return resumes;
    }
};

}  // namespace kestrel::testing
