// Which ends of a started utility say that its loader ended it before any of
// its code ran, and so that it never started.
#include <gtest/gtest.h>

#include <string>
#include <utility>

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

// A PE image of `size` bytes: "MZ", the signature at 0x80, a file header
// with an optional header of 0xE0 bytes, a program's characteristics (or
// `characteristics`) and the GUI's subsystem (or `subsystem`), and sections
// of (raw offset, raw size).
std::string Image(std::size_t size, std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> sections,
                  std::uint32_t characteristics = 0x0102, std::uint32_t subsystem = 2)
{
    std::string file(size, '\0');
    const auto put = [&file](std::size_t at, std::uint32_t n, int bytes) {
        for (int i = 0; i < bytes && at + i < file.size(); ++i) file[at + i] = char((n >> (8 * i)) & 0xFF);
    };
    put(0, 'M' | ('Z' << 8), 2);
    put(0x3C, 0x80, 4);
    put(0x80, 'P' | ('E' << 8), 4);
    put(0x80 + 6, std::uint32_t(sections.size()), 2);
    put(0x80 + 20, 0xE0, 2);
    put(0x80 + 22, characteristics, 2);
    put(0x80 + 24 + 68, subsystem, 2);
    std::size_t at = 0x80 + 24 + 0xE0;
    for (const auto& [offset, bytes] : sections) {
        put(at + 16, bytes, 4);
        put(at + 20, offset, 4);
        at += 40;
    }
    return file;
}

TEST(UtilityStart, AnImageIsWholeOnlyWithEverySectionInTheFile)
{
    struct Case {
        const char* name;
        std::string file;
        bool whole;
    };
    const Case cases[] = {
        {"whole", Image(0x3000, {{0x400, 0x1000}, {0x1400, 0x1C00}}), true},
        {"cut in its last section", Image(0x2000, {{0x400, 0x1000}, {0x1400, 0x1C00}}), false},
        {"cut in its first section", Image(0x1000, {{0x400, 0x1000}}), false},
        {"a section with no raw data", Image(0x1400, {{0x400, 0x1000}, {0, 0}}), true},
        {"cut in its section table", Image(0x180, {{0x400, 0x1000}}), false},
        {"no sections", Image(0x400, {}), false},
        {"empty", "", false},
        {"text", std::string("echo flash\r\n") + std::string(100, ' '), false},
        {"MZ without PE", "MZ" + std::string(0x100, '\0'), false},
        // Whole images that start no process: CreateProcessW refuses them.
        {"a console program", Image(0x2000, {{0x400, 0x1000}}, 0x0102, 3), true},
        {"a DLL", Image(0x2000, {{0x400, 0x1000}}, 0x2102), false},
        {"an EFI application", Image(0x2000, {{0x400, 0x1000}}, 0x0022, 10), false},
        {"a native program", Image(0x2000, {{0x400, 0x1000}}, 0x0102, 1), false},
    };
    for (const Case& c : cases) {
        const std::string_view head = std::string_view(c.file).substr(0, kImageHeadBytes);
        EXPECT_EQ(ImageWhole(head, c.file.size()), c.whole) << c.name;
    }
}

}  // namespace
}  // namespace kestrel
