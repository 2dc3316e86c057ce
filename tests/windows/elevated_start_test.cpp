// What the elevating start hands to the shell: the flags its documentation
// asks for when the caller exits right after the call, the owner window the
// consent prompt belongs to, no verb, the utility's own folder as its
// working folder, and the window state.
#include <gtest/gtest.h>

#include "windows/flash_start.h"

namespace kestrel {
namespace {

TEST(ElevatedStartInfo, AsTheShellDocumentsIt)
{
    const HWND owner = reinterpret_cast<HWND>(std::intptr_t{0x1234});
    const SHELLEXECUTEINFOW info = ElevatedStartInfo(L"C:\\bios\\WinPhlash.exe", L"C:\\bios", SW_SHOWNORMAL, owner);
    EXPECT_EQ(info.cbSize, sizeof info);
    // Finished before the call returns; a process handle back; no box of the
    // shell's own.
    EXPECT_EQ(info.fMask, ULONG(SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI));
    EXPECT_EQ(info.hwnd, owner);
    EXPECT_EQ(info.lpVerb, nullptr);
    EXPECT_STREQ(info.lpFile, L"C:\\bios\\WinPhlash.exe");
    EXPECT_EQ(info.lpParameters, nullptr);
    EXPECT_STREQ(info.lpDirectory, L"C:\\bios");
    EXPECT_EQ(info.nShow, SW_SHOWNORMAL);
}

}  // namespace
}  // namespace kestrel
