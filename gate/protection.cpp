#include "protection.h"

namespace kestrel {

ProtectionStep SuspendBeforeFlash(VolumeEncryption& encryption)
{
    switch (encryption.Protection()) {
    case VolumeProtection::Absent: return ProtectionStep::Absent;
    case VolumeProtection::Off: return ProtectionStep::Off;
    case VolumeProtection::Unknown: return ProtectionStep::Unknown;
    case VolumeProtection::On: break;
    }
    if (!encryption.CountsRestarts()) return ProtectionStep::NoRestartCount;
    return encryption.SuspendForOneRestart() ? ProtectionStep::Suspended : ProtectionStep::NotSuspended;
}

ProtectionStep ResumeAfterNoStart(VolumeEncryption& encryption, ProtectionStep step)
{
    if (step != ProtectionStep::Suspended) return step;
    return encryption.Resume() ? ProtectionStep::Resumed : ProtectionStep::NotResumed;
}

}  // namespace kestrel
