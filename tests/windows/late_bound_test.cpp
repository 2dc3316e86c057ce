// The table of functions looked up at run time: each entry's type is the one
// the Windows headers declare for its export (return, calling convention,
// every parameter), since a call through a wrong one unbalances the stack of
// a 32-bit stdcall function; and each entry is found where it says.
#include <windows.h>
#include <aclapi.h>
#include <imm.h>
#include <sddl.h>
#include <shellapi.h>
#include <winternl.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <type_traits>

#include "windows/late_bound.h"

namespace kestrel {
namespace {

// Compiles only where the entry's type is the declared one's.
#define KESTREL_AS_DECLARED(entry, function) \
    static_assert(std::is_same_v<decltype(LateBound(entry)), decltype(&::function)>, #function)

KESTREL_AS_DECLARED(kNtCreateFile, NtCreateFile);
KESTREL_AS_DECLARED(kSetDefaultDllDirectories, SetDefaultDllDirectories);
KESTREL_AS_DECLARED(kSetDllDirectoryW, SetDllDirectoryW);
KESTREL_AS_DECLARED(kOpenProcessToken, OpenProcessToken);
KESTREL_AS_DECLARED(kGetTokenInformation, GetTokenInformation);
KESTREL_AS_DECLARED(kLookupAccountSidW, LookupAccountSidW);
KESTREL_AS_DECLARED(kConvertStringSecurityDescriptorToSecurityDescriptorA,
                    ConvertStringSecurityDescriptorToSecurityDescriptorA);
KESTREL_AS_DECLARED(kCheckTokenMembership, CheckTokenMembership);
KESTREL_AS_DECLARED(kGetSecurityInfo, GetSecurityInfo);
KESTREL_AS_DECLARED(kConvertSidToStringSidA, ConvertSidToStringSidA);
KESTREL_AS_DECLARED(kWTSQuerySessionInformationW, WTSQuerySessionInformationW);
KESTREL_AS_DECLARED(kWTSFreeMemory, WTSFreeMemory);
KESTREL_AS_DECLARED(kWTSSendMessageW, WTSSendMessageW);
KESTREL_AS_DECLARED(kShellExecuteExW, ShellExecuteExW);
KESTREL_AS_DECLARED(kImmAssociateContext, ImmAssociateContext);
// RtlGetVersion is declared in the driver kit's headers only: its documented
// form, NTSTATUS NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW) (wdm.h).
static_assert(std::is_same_v<decltype(LateBound(kRtlGetVersion)), NTSTATUS(NTAPI*)(PRTL_OSVERSIONINFOW)>);
// AddDllDirectory is only asked whether it is there.
static_assert(std::is_same_v<decltype(LateBound(kAddDllDirectory)), FARPROC>);

TEST(LateBound, EveryEntryIsFoundWhereItSays)
{
    const auto found = [](auto entry) { return LateBound(entry) != nullptr; };
    const struct {
        const char* name;
        bool found;
    } rows[] = {
        {kRtlGetVersion.name, found(kRtlGetVersion)},
        {kNtCreateFile.name, found(kNtCreateFile)},
        {kSetDefaultDllDirectories.name, found(kSetDefaultDllDirectories)},
        {kAddDllDirectory.name, found(kAddDllDirectory)},
        {kSetDllDirectoryW.name, found(kSetDllDirectoryW)},
        {kOpenProcessToken.name, found(kOpenProcessToken)},
        {kGetTokenInformation.name, found(kGetTokenInformation)},
        {kLookupAccountSidW.name, found(kLookupAccountSidW)},
        {kConvertStringSecurityDescriptorToSecurityDescriptorA.name,
         found(kConvertStringSecurityDescriptorToSecurityDescriptorA)},
        {kCheckTokenMembership.name, found(kCheckTokenMembership)},
        {kGetSecurityInfo.name, found(kGetSecurityInfo)},
        {kConvertSidToStringSidA.name, found(kConvertSidToStringSidA)},
        {kWTSQuerySessionInformationW.name, found(kWTSQuerySessionInformationW)},
        {kWTSFreeMemory.name, found(kWTSFreeMemory)},
        {kWTSSendMessageW.name, found(kWTSSendMessageW)},
        {kShellExecuteExW.name, found(kShellExecuteExW)},
        {kImmAssociateContext.name, found(kImmAssociateContext)},
    };
    for (const auto& row : rows) EXPECT_TRUE(row.found) << row.name;
}

}  // namespace
}  // namespace kestrel
