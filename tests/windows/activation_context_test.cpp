// Which answers about the process's root manifest keep the board from being
// read through the management objects.
#include <gtest/gtest.h>

#include "windows/activation_context.h"

namespace kestrel {
namespace {

TEST(ForeignManifestGoverns, OnlyAManifestOtherThanTheProgram)
{
    const std::wstring program = L"C:\\Users\\a\\Downloads\\kestrel.exe";
    const struct {
        RootManifest root;
        bool refused;
    } cases[] = {
        {{true, program}, false},                                  // the embedded manifest
        {{true, L"c:\\users\\A\\downloads\\KESTREL.EXE"}, false},  // the same file, other case
        {{true, L""}, false},                                      // no manifest at all
        {{true, program + L".manifest"}, true},                    // a planted manifest governs
        {{true, L"C:\\Users\\a\\Downloads\\other.exe"}, true},     // another image's manifest
        {{true, L"C:\\Users\\a\\Downloads\\kestrel.ex"}, true},    // a prefix of the program
        {{false, L""}, true},                                      // the query failed
    };
    for (const auto& c : cases)
        EXPECT_EQ(ForeignManifestGoverns(c.root, program), c.refused)
            << std::string(c.root.path.begin(), c.root.path.end());
}

}  // namespace
}  // namespace kestrel
