#include "admin_only.h"

#include <aclapi.h>

#include <cstring>
#include <string>

#include "late_bound.h"

namespace kestrel {

namespace {

// S-1-5-32-544 (BUILTIN\Administrators) and S-1-5-18 (SYSTEM), as the
// system lays a SID out: revision, count of sub-authorities, the authority
// (NT, 5) in six bytes, then each sub-authority in four, low byte first.
constexpr BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
constexpr BYTE kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

bool IsSid(const void* sid, const BYTE* known, std::size_t size)
{
    const auto* bytes = static_cast<const BYTE*>(sid);
    return sid && std::size_t(8 + 4 * bytes[1]) == size && std::memcmp(bytes, known, size) == 0;
}

}  // namespace

SecurityDescriptor::SecurityDescriptor(const char* sddl)
{
    // The text is ASCII: the narrow call reads it as well, in half the bytes.
    const auto convert = LateBound(kConvertStringSecurityDescriptorToSecurityDescriptorA);
    if (sddl && convert && !convert(sddl, 1 /* SDDL_REVISION_1 */, &sd_, nullptr)) sd_ = nullptr;
}

SecurityDescriptor::~SecurityDescriptor()
{
    if (sd_) LocalFree(sd_);
}

bool RunsAsAdministrator()
{
    const auto check = LateBound(kCheckTokenMembership);
    // The call only reads the SID it is given.
    BOOL member = FALSE;
    return check && check(nullptr, const_cast<BYTE*>(kAdministrators), &member) && member;
}

bool AdministratorsOwner(const void* owner, const void* alsoOwner)
{
    const auto* also = static_cast<const BYTE*>(alsoOwner);
    return IsSid(owner, kAdministrators, sizeof kAdministrators) || IsSid(owner, kSystem, sizeof kSystem) ||
           (also && IsSid(owner, also, 8 + 4 * std::size_t(also[1])));
}

namespace {

// The owner of a kernel object or a file (its handle allows READ_CONTROL),
// and the descriptor that holds it, which the caller frees (LocalFree);
// null where it cannot be read.
PSID OwnerOf(HANDLE object, PSECURITY_DESCRIPTOR& sd)
{
    const auto getSecurity = LateBound(kGetSecurityInfo);
    PSID owner = nullptr;
    sd = nullptr;
    if (!object || !getSecurity ||
        getSecurity(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) !=
            ERROR_SUCCESS)
        return nullptr;
    return owner;
}

}  // namespace

bool OwnedByAdministrators(HANDLE object, const void* alsoOwner)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    const PSID owner = OwnerOf(object, sd);
    const bool admin = owner && AdministratorsOwner(owner, alsoOwner);
    if (sd) LocalFree(sd);
    return admin;
}

std::string SidText(const void* sid)
{
    // The text is the system's, freed with LocalFree (ConvertSidToStringSid,
    // Microsoft Learn); the call only reads the SID.
    const auto sidText = LateBound(kConvertSidToStringSidA);
    LPSTR text = nullptr;
    std::string result;
    if (sid && sidText && sidText(const_cast<void*>(sid), &text) && text) {
        result = text;
        LocalFree(text);
    }
    return result;
}

std::string OwnerSid(HANDLE object)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::string sid = SidText(OwnerOf(object, sd));
    if (sd) LocalFree(sd);
    return sid;
}

}  // namespace kestrel
