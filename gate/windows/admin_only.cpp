#include "admin_only.h"

#include <aclapi.h>

#include <cstring>
#include <string>

#include "dll_search.h"

namespace kestrel {

namespace {

// S-1-5-32-544 (BUILTIN\Administrators), as the system lays a SID out:
// revision, count of sub-authorities, the authority (NT, 5) in six bytes,
// then each sub-authority in four, low byte first.
constexpr BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};

HMODULE Advapi() { return LoadSystemLibrary(L"advapi32.dll"); }

}  // namespace

SecurityDescriptor::SecurityDescriptor(const char* sddl)
{
    // The text is ASCII: the narrow call reads it as well, in half the bytes.
    using ConvertFunction = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    const auto convert = ExportOf<ConvertFunction>(Advapi(), "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    if (sddl && convert && !convert(sddl, 1 /* SDDL_REVISION_1 */, &sd_, nullptr)) sd_ = nullptr;
}

SecurityDescriptor::~SecurityDescriptor()
{
    if (sd_) LocalFree(sd_);
}

bool RunsAsAdministrator()
{
    using CheckFunction = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    const auto check = ExportOf<CheckFunction>(Advapi(), "CheckTokenMembership");
    // The call only reads the SID it is given.
    BOOL member = FALSE;
    return check && check(nullptr, const_cast<BYTE*>(kAdministrators), &member) && member;
}

std::string OwnerSid(HANDLE object)
{
    using GetSecurityFunction =
        DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
    using SidTextFunction = BOOL(WINAPI*)(PSID, LPSTR*);
    const auto getSecurity = ExportOf<GetSecurityFunction>(Advapi(), "GetSecurityInfo");
    const auto sidText = ExportOf<SidTextFunction>(Advapi(), "ConvertSidToStringSidA");
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!object || !getSecurity || !sidText ||
        getSecurity(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) !=
            ERROR_SUCCESS)
        return {};
    LPSTR text = nullptr;
    std::string sid;
    if (owner && sidText(owner, &text)) {
        sid = text;
        LocalFree(text);
    }
    LocalFree(sd);
    return sid;
}

bool OwnedByAdministrators(HANDLE object)
{
    const std::string owner = OwnerSid(object);
    return owner == "S-1-5-32-544" || owner == "S-1-5-18";
}

}  // namespace kestrel
