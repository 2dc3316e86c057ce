// What only an administrator may make or write: whether this process is
// one, a security descriptor from its text form, and whether an object's
// owner is the Administrators group or SYSTEM.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {

// A security descriptor made from SDDL, freed when it goes; null when the
// text could not be read (or advapi32 lacks the call).
class SecurityDescriptor {
public:
    explicit SecurityDescriptor(const char* sddl);
    ~SecurityDescriptor();
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return sd_; }

private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
};

// Whether this process runs with the Administrators group enabled: elevated,
// or as SYSTEM. A filtered token (an administrator not elevated under UAC)
// has the group for deny only, and is not.
bool RunsAsAdministrator();

// Whether `owner` (a SID) is the Administrators group, SYSTEM, or
// `alsoOwner` (a SID) when that is given.
bool AdministratorsOwner(const void* owner, const void* alsoOwner = nullptr);

// Whether the object's owner is the Administrators group or SYSTEM (or
// `alsoOwner`, when given): a kernel object's, or a file's (the handle must
// allow READ_CONTROL).
// A standard user cannot make an object with either as its owner: the
// system takes as owner only a SID of the caller's token that may own
// objects, else it fails with ERROR_INVALID_OWNER ("This security ID may
// not be assigned as the owner of this object"); SeRestorePrivilege, which
// only administrators hold, lifts that.
bool OwnedByAdministrators(HANDLE object, const void* alsoOwner = nullptr);

// A SID as text ("S-1-5-18"); empty when `sid` is null or cannot be read.
std::string SidText(const void* sid);

// The kernel object's owner as a SID's text ("S-1-5-32-544"); empty when the
// handle is null or does not allow reading it (READ_CONTROL).
std::string OwnerSid(HANDLE object);

}  // namespace kestrel
