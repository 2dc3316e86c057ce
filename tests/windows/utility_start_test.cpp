// Which ends of a started utility say that its loader ended it before any of
// its code ran, and so that it never started.
#include <gtest/gtest.h>

#include "utility_start.h"

namespace kestrel {
namespace {

TEST(UtilityStart, OnlyTheLoadersStatusesMeanNeverStarted)
{
    struct Case {
        const char* name;
        std::uint32_t status;
        bool loader;
    };
    const Case cases[] = {
        {"a DLL missing", 0xC0000135, true},
        {"an export missing", 0xC0000139, true},
        {"an ordinal missing", 0xC0000138, true},
        {"a DLL's start failed", 0xC0000142, true},
        {"an image of the wrong kind", 0xC000007B, true},
        {"no side-by-side configuration", 0xC0150002, true},
        {"success", 0, false},
        {"a restart asked for", 3010, false},
        {"the utility's own failure", 1, false},
        // These end a program that ran.
        {"an access violation", 0xC0000005, false},
        {"Ctrl+C", 0xC000013A, false},
        {"still active", 259, false},
    };
    for (const Case& c : cases) EXPECT_EQ(LoaderStatus(c.status), c.loader) << c.name;
}

}  // namespace
}  // namespace kestrel
