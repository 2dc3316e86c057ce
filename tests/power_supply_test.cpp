// The batteries' charge as the power supply class lays it out, on crafted
// folders: several supplies, a mouse's battery, files that are not files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "linux/fleet_shell.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Each supply: its name and its attributes, as "name=value"; a value of
// "<fifo>" or "<dir>" lays down that instead of a file.
using Supply = std::pair<std::string, std::vector<std::string>>;

struct Case {
    const char* name;
    std::vector<Supply> supplies;
    bool battery;
    std::optional<unsigned> percent;
};

void LayDown(const fs::path& folder, const std::vector<Supply>& supplies)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [supply, attributes] : supplies) {
        fs::create_directories(folder / supply);
        for (const std::string& attribute : attributes) {
            const std::size_t is = attribute.find('=');
            const fs::path path = folder / supply / attribute.substr(0, is);
            const std::string value = attribute.substr(is + 1);
            if (value == "<fifo>") ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            else if (value == "<dir>") fs::create_directories(path);
            else std::ofstream(path) << value;
        }
    }
}

TEST(PowerSupply, TheSystemBatteriesLowestChargeOrUnknown)
{
    const std::string mains = "type=Mains\n", battery = "type=Battery\n";
    const Case cases[] = {
        {"nothing", {}, false, {}},
        {"mains only", {{"AC", {mains, "online=1\n"}}}, false, {}},
        {"5%", {{"AC", {mains}}, {"BAT0", {battery, "present=1\n", "capacity=5\n"}}}, true, 5u},
        {"no line feed", {{"BAT0", {battery, "capacity=100"}}}, true, 100u},
        {"the lower of two", {{"BAT0", {battery, "capacity=80\n"}}, {"BAT1", {battery, "capacity=7\n"}}}, true, 7u},
        {"an empty bay", {{"BAT0", {battery, "capacity=80\n"}}, {"BAT1", {battery, "present=0\n"}}}, true, 80u},
        {"a mouse's battery", {{"hid-mouse", {battery, "scope=Device\n", "capacity=3\n"}}}, false, {}},
        {"a system-scope battery", {{"BAT0", {battery, "scope=System\n", "capacity=30\n"}}}, true, 30u},
        // What cannot be read never takes a battery out of the count.
        {"present a FIFO", {{"BAT0", {battery, "present=<fifo>", "capacity=5\n"}}}, true, 5u},
        {"scope a folder", {{"BAT0", {battery, "scope=<dir>", "capacity=5\n"}}}, true, 5u},
        {"no capacity", {{"BAT0", {battery, "status=Discharging\n"}}}, true, {}},
        {"capacity over 100", {{"BAT0", {battery, "capacity=101\n"}}}, true, {}},
        {"capacity not a number", {{"BAT0", {battery, "capacity=5x\n"}}}, true, {}},
        {"capacity negative", {{"BAT0", {battery, "capacity=-1\n"}}}, true, {}},
        {"capacity empty", {{"BAT0", {battery, "capacity=\n"}}}, true, {}},
        {"capacity a FIFO", {{"BAT0", {battery, "capacity=<fifo>"}}}, true, {}},
        {"capacity a folder", {{"BAT0", {battery, "capacity=<dir>"}}}, true, {}},
        {"capacity too long", {{"BAT0", {battery, "capacity=" + std::string(40, '0') + "5\n"}}}, true, {}},
        {"one known, one not", {{"BAT0", {battery, "capacity=80\n"}}, {"BAT1", {battery}}}, true, {}},
        {"a type that cannot be read", {{"AC", {"type=<fifo>"}}}, true, {}},
    };
    const fs::path folder = fs::temp_directory_path() / ("kestrel-power-" + std::to_string(::getpid()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LayDown(folder, c.supplies);
        const BatteryCharge got = ReadBatteryCharge(folder.c_str());
        EXPECT_EQ(got.battery, c.battery);
        EXPECT_EQ(got.percent, c.percent);
    }
    fs::remove_all(folder);
    // No folder at all: nothing is known.
    const BatteryCharge none = ReadBatteryCharge(folder.c_str());
    EXPECT_TRUE(none.battery);
    EXPECT_FALSE(none.percent);
}

}  // namespace
}  // namespace kestrel
