#include "protection.h"

namespace kestrel {

VolumeProtection ProtectionOf(std::uint32_t protection, std::uint32_t conversion)
{
    if (protection == 1) return VolumeProtection::On;
    if (protection != 0) return VolumeProtection::Unknown;
    if (conversion <= 1) return VolumeProtection::Off;
    return conversion <= 5 ? VolumeProtection::Converting : VolumeProtection::Unknown;
}

ProtectionStep LookBeforeFlash(VolumeEncryption& encryption)
{
    switch (encryption.Protection()) {
    case VolumeProtection::Absent: return ProtectionStep::Absent;
    case VolumeProtection::Off: return ProtectionStep::Off;
    case VolumeProtection::Unknown: return ProtectionStep::Unknown;
    case VolumeProtection::On:
    case VolumeProtection::Converting: break;
    }
    return encryption.CountsRestarts() ? ProtectionStep::On : ProtectionStep::NoRestartCount;
}

ProtectionStep SuspendBeforeFlash(VolumeEncryption& encryption)
{
    const ProtectionStep step = LookBeforeFlash(encryption);
    if (step != ProtectionStep::On) return step;
    return encryption.SuspendForOneRestart() ? ProtectionStep::Suspended : ProtectionStep::NotSuspended;
}

ProtectionStep ResumeAfterNoStart(VolumeEncryption& encryption, ProtectionStep step)
{
    if (step != ProtectionStep::Suspended) return step;
    return encryption.Resume() ? ProtectionStep::Resumed : ProtectionStep::NotResumed;
}

}  // namespace kestrel
