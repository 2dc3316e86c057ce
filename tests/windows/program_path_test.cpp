// The program's folder, kept whole at a drive's or a share's root, and a name
// joined to it; the program's spellings as the file system gives them.
#include <windows.h>

#include <gtest/gtest.h>

#include "command_line.h"
#include "windows/program_path.h"
#include "windows/wide.h"

namespace kestrel {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(ProgramPath, FolderAndUtility)
{
    const struct {
        const wchar_t* program;
        const wchar_t* folder;
        const wchar_t* utility;
    } cases[] = {
        {L"E:\\bios\\kestrel.exe", L"E:\\bios", L"E:\\bios\\WinPhlash.exe"},
        {L"E:\\kestrel.exe", L"E:\\", L"E:\\WinPhlash.exe"},  // the root of a stick
        {L"E:/kestrel.exe", L"E:/", L"E:/WinPhlash.exe"},
        {L"\\\\server\\share\\kestrel.exe", L"\\\\server\\share\\", L"\\\\server\\share\\WinPhlash.exe"},
        {L"\\\\server\\share\\bios\\kestrel.exe", L"\\\\server\\share\\bios",
         L"\\\\server\\share\\bios\\WinPhlash.exe"},
        {L"\\\\?\\E:\\kestrel.exe", L"\\\\?\\E:\\", L"\\\\?\\E:\\WinPhlash.exe"},
        {L"\\\\?\\UNC\\server\\share\\kestrel.exe", L"\\\\?\\UNC\\server\\share\\",
         L"\\\\?\\UNC\\server\\share\\WinPhlash.exe"},
        {L"\\\\?\\unc\\server\\share\\x\\kestrel.exe", L"\\\\?\\unc\\server\\share\\x",
         L"\\\\?\\unc\\server\\share\\x\\WinPhlash.exe"},
        // Nothing whole to start from: no folder is guessed.
        {L"kestrel.exe", L"", L""},
        {L"bios\\kestrel.exe", L"", L""},
        {L"E:kestrel.exe", L"", L""},
        {L"\\kestrel.exe", L"", L""},
        {L"\\\\server\\kestrel.exe", L"", L""},
        {L"\\\\server\\\\kestrel.exe", L"", L""},
        {L"UNC\\server\\share\\kestrel.exe", L"", L""},
        {L"E:\\", L"", L""},
        {L"E:\\bios\\", L"", L""},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        const std::wstring folder = FolderOf(c.program);
        EXPECT_EQ(folder, c.folder) << Narrow(c.program);
        EXPECT_EQ(InFolder(folder, L"WinPhlash.exe"), c.utility) << Narrow(c.program);
    }
}

TEST(ProgramPath, SpellingsOnDisk)
{
    // A program in a folder with a blank in its name, as under "Program Files".
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"kestrel spellings " + std::to_wstring(GetCurrentProcessId());
    const std::wstring program = folder + L"\\kestrel.exe", absent = folder + L"\\absent.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    CloseHandle(CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    const std::u16string path = Utf16(program), shortPath = ShortPathOnDisk(program);
    const std::u16string none = ShortPathOnDisk(absent);
    DeleteFileW(program.c_str());
    RemoveDirectoryW(folder.c_str());

    EXPECT_EQ(shortPath.find(u' '), std::u16string::npos);  // empty where the volume keeps no short names
    const Spellings spellings = ProgramSpellings(path, shortPath);
    EXPECT_EQ(SkipProgramName(shortPath + u" /quiet", spellings), shortPath.size());
    EXPECT_EQ(none, u"");  // no short form of a file that is not there
}

}  // namespace
}  // namespace kestrel
