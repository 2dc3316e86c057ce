// How an administrator's run opens its log: the NT name it gives NtCreateFile,
// and whose log it writes to.
#include <gtest/gtest.h>

#include "fleet_shell.h"

namespace kestrel {
namespace {

TEST(LogOpen, NamesTheFileAsNtCreateFileTakesIt)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* nt;
    };
    const Case cases[] = {
        {L"C:\\Windows\\Logs\\kestrel-flash.log", L"\\??\\C:\\Windows\\Logs\\kestrel-flash.log"},
        {L"\\\\server\\share\\flash.log", L"\\??\\UNC\\server\\share\\flash.log"},
        {L"\\\\?\\C:\\Logs\\flash.log", L"\\??\\C:\\Logs\\flash.log"},
        {L"\\\\?\\UNC\\server\\share\\f", L"\\??\\UNC\\server\\share\\f"},
        // A device is no log.
        {L"\\\\.\\pipe\\flash", L""},
        {L"C:", L""},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(NtName(c.path), c.nt) << c.path;
}

TEST(LogOpen, WritesOnlyToALogNoStandardUserCanOwn)
{
    const std::string run = "S-1-5-21-1004336348-1177238915-682003330-500";
    struct Case {
        const char* name;
        std::string owner;
        std::string account;
        bool writes;
    };
    const Case cases[] = {
        {"the Administrators group (the owner of a log kestrel makes)", "S-1-5-32-544", run, true},
        {"SYSTEM", "S-1-5-18", run, true},
        {"the run's own account", run, run, true},
        {"a standard user", "S-1-5-21-1004336348-1177238915-682003330-1001", run, false},
        {"Everyone", "S-1-1-0", run, false},
        {"Users", "S-1-5-32-545", run, false},
        {"ANONYMOUS LOGON (Wine: another Unix account's file)", "S-1-5-7", run, false},
        {"an owner that could not be read", "", "", false},
        {"an account that could not be read", "S-1-5-21-1-2-3-1001", "", false},
    };
    for (const Case& c : cases) EXPECT_EQ(AdministratorsLog(c.owner, c.account), c.writes) << c.name;
}

}  // namespace
}  // namespace kestrel
