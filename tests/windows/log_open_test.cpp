// How an administrator's run opens its log: the NT name it gives NtCreateFile,
// and whose log it writes to (an owner no standard user can give a file).
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "admin_only.h"
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
    const char* const run = "S-1-5-21-1004336348-1177238915-682003330-500";
    struct Case {
        const char* name;
        const char* owner;
        const char* account;  // null: not known
        bool writes;
    };
    const Case cases[] = {
        {"the Administrators group (the owner of a log kestrel makes)", "S-1-5-32-544", run, true},
        {"SYSTEM", "S-1-5-18", run, true},
        {"the run's own account", run, run, true},
        {"the Administrators group, the account not known", "S-1-5-32-544", nullptr, true},
        {"a standard user", "S-1-5-21-1004336348-1177238915-682003330-1001", run, false},
        {"a standard user, the account not known", "S-1-5-21-1004336348-1177238915-682003330-1001", nullptr, false},
        {"Everyone", "S-1-1-0", run, false},
        {"Users", "S-1-5-32-545", run, false},
        {"ANONYMOUS LOGON (Wine: another Unix account's file)", "S-1-5-7", run, false},
        {"a longer SID that begins as SYSTEM's", "S-1-5-18-1", run, false},
    };
    for (const Case& c : cases) {
        PSID owner = nullptr, account = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(c.owner, &owner)) << c.name;
        if (c.account) {
            ASSERT_TRUE(ConvertStringSidToSidA(c.account, &account)) << c.name;
        }
        EXPECT_EQ(AdministratorsOwner(owner, account), c.writes) << c.name;
        LocalFree(owner);
        LocalFree(account);
    }
}

}  // namespace
}  // namespace kestrel
