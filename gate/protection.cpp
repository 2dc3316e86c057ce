#include "protection.h"

namespace kestrel {

ProtectionStep LookBeforeFlash(VolumeEncryption& encryption)
{
    switch (encryption.Protection()) {
    case VolumeProtection::Absent: return ProtectionStep::Absent;
    case VolumeProtection::Off: return ProtectionStep::Off;
    case VolumeProtection::Unknown: return ProtectionStep::Unknown;
    case VolumeProtection::On: break;
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
