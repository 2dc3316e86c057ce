// Which answers about the process's root manifest keep the board from being
// read through the management objects.
#include <gtest/gtest.h>

#include <windows.h>

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
        EXPECT_EQ(ForeignManifestGoverns(c.root, program, [](std::wstring_view, std::wstring_view) { return false; }),
                  c.refused)
            << std::string(c.root.path.begin(), c.root.path.end());
}

// Another spelling of the program never refuses; the file system is asked
// only when the texts differ, and a file it cannot vouch for refuses.
TEST(ForeignManifestGoverns, SpellingsOfTheProgram)
{
    const std::wstring program = L"C:\\Program Files\\bios\\kestrel.exe";
    const std::wstring shortName = L"C:\\PROGRA~1\\bios\\kestrel.exe";
    const std::wstring manifest = L"C:\\Program Files\\bios\\kestrel.exe.manifest";
    const auto same = [](std::wstring_view a, std::wstring_view b) {
        const std::wstring_view file = L"kestrel.exe";
        return a.ends_with(file) && b.ends_with(file);
    };
    const auto asked = [](std::wstring_view, std::wstring_view) {
        ADD_FAILURE() << "the file system asked about one text";
        return false;
    };
    const auto unknown = [](std::wstring_view, std::wstring_view) { return false; };
    const struct {
        std::wstring path;
        SameFileQuery sameFile;
        bool refused;
    } cases[] = {
        {L"C:/Program Files/bios/kestrel.exe", asked, false},  // forward slashes
        {L"c:\\program files\\BIOS/KESTREL.exe", asked, false},
        {shortName, same, false},             // an 8.3 name
        {L"\\\\?\\" + program, same, false},  // the long-path prefix
        {shortName, unknown, true},           // cannot be told
        {manifest, same, true},               // a file that really is another
        {L"C:\\PROGRA~1\\bios\\KESTRE~1.MAN", unknown, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ForeignManifestGoverns({true, c.path}, program, c.sameFile), c.refused)
            << std::string(c.path.begin(), c.path.end());
}

// The answer for the test program itself: one file under two spellings, and
// two files.
TEST(SameFileOnDisk, AsksTheFileSystem)
{
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring forward = self;
    for (auto& c : forward)
        if (c == L'\\') c = L'/';
    EXPECT_TRUE(SameFileOnDisk(self, forward));
    EXPECT_FALSE(SameFileOnDisk(self, L"C:\\windows\\system32\\kernel32.dll"));
    EXPECT_FALSE(SameFileOnDisk(self, std::wstring(self) + L".none"));
}

}  // namespace
}  // namespace kestrel
