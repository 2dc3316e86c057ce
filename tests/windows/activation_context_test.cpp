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
    const auto asIs = [](const std::wstring& path) { return path; };
    for (const auto& c : cases)
        EXPECT_EQ(
            ForeignManifestGoverns(c.root, program, asIs, [](std::wstring_view, std::wstring_view) { return false; }),
            c.refused)
            << std::string(c.root.path.begin(), c.root.path.end());
}

// Another spelling of the program never refuses; its long name is compared
// next, the file system is asked only when the names still differ, and a
// file it cannot vouch for refuses. A manifest file refuses even where the
// file system takes it for the program (a hard link put in its place).
TEST(ForeignManifestGoverns, SpellingsOfTheProgram)
{
    const std::wstring program = L"C:\\Program Files\\bios\\kestrel.exe";
    const std::wstring shortName = L"C:\\PROGRA~1\\bios\\kestrel.exe";
    const std::wstring manifest = L"C:\\Program Files\\bios\\kestrel.exe.manifest";
    // The file system's stand-ins: every file is the program, or none is.
    const auto same = [](std::wstring_view, std::wstring_view) { return true; };
    // The long form of the one 8.3 folder name.
    const auto longPath = [](const std::wstring& path) {
        std::wstring text = path;
        if (const auto at = text.find(L"\\PROGRA~1\\"); at != std::wstring::npos)
            text.replace(at, 10, L"\\Program Files\\");
        return text;
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
        {shortName, asked, false},                             // an 8.3 name, made long
        {L"\\\\?\\" + program, asked, false},                  // the long-path prefix
        {L"\\\\?\\" + shortName, asked, false},                // both
        {L"C:\\PROGRA~1\\bios\\KESTRE~1.EXE", same, false},    // a short file name, told by the file
        {L"C:\\PROGRA~1\\bios\\KESTRE~1.EXE", unknown, true},  // cannot be told
        {manifest, same, true},                                // a manifest, even as a link to the program
        {L"C:\\PROGRA~1\\bios\\kestrel.exe.MANIFEST", same, true},
        {L"C:\\PROGRA~1\\bios\\KESTRE~1.MAN", unknown, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ForeignManifestGoverns({true, c.path}, program, longPath, c.sameFile), c.refused)
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
