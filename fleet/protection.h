// The operating system volume's disk encryption around a flash: a flash
// changes what the TPM measures at start-up, so a protected volume would ask
// for its recovery key at the next start unless protection is suspended for
// that one restart.
#pragma once

#include <cstdint>

namespace kestrel {

// The operating system volume's protection, as the platform reads it.
enum class VolumeProtection {
    Absent,  // no encryption there to protect it
    Off,     // encryptable, and not protected now
    On,      // protected: the keys are sealed to what the TPM measures
    // Encrypting or decrypting (or paused while at it): the key protectors
    // already apply, and the volume is protected once fully encrypted.
    Converting,
    Unknown,  // the platform could not tell
};

// The protection of a volume from what its provider answers: the protection
// status (0 off, 1 on, 2 unknown) and, where that is off, the conversion
// status (0 fully decrypted, 1 fully encrypted, 2 encrypting, 3 decrypting,
// 4 and 5 either paused); a value that was not read is none of these. Off
// only for a volume fully decrypted, or fully encrypted with its protectors
// suspended (its key in the clear): "0 ... unencrypted, partially encrypted,
// or the volume's encryption key is available in the clear on the hard disk"
// (GetProtectionStatus, Win32_EncryptableVolume, Microsoft Learn); for a
// volume partly encrypted "the volume will be protected when it becomes
// fully encrypted" (EnableKeyProtectors), so a flash meanwhile still asks
// for the recovery key at the next start.
VolumeProtection ProtectionOf(std::uint32_t protection, std::uint32_t conversion);

// The platform's encryption management.
class VolumeEncryption {
public:
    virtual ~VolumeEncryption() = default;
    virtual VolumeProtection Protection() = 0;
    // Whether a suspension can be limited to a number of restarts.
    virtual bool CountsRestarts() = 0;
    // Suspends protection until the next restart; true when done.
    virtual bool SuspendForOneRestart() = 0;
    // Ends this run's suspension; true when done.
    virtual bool Resume() = 0;
};

// A platform without such encryption.
class NoEncryption final : public VolumeEncryption {
public:
    VolumeProtection Protection() override { return VolumeProtection::Absent; }
    bool CountsRestarts() override { return false; }
    bool SuspendForOneRestart() override { return false; }
    bool Resume() override { return false; }
};

// What a run did about protection, for the log.
enum class ProtectionStep {
    NotAsked,
    Absent,
    Off,
    Suspended,       // for one restart: the flash may start
    Resumed,         // suspended, then resumed as nothing was started
    NotResumed,      // suspended, nothing started, and resuming failed
    NoRestartCount,  // on, where a suspension would last until someone resumes it
    NotSuspended,    // on, and the suspension failed
    Unknown,         // the state could not be read
    On,              // only looked at: on, and would be suspended
};

// Suspends protection for the next restart where it is on or converting. Never suspends
// without a restart count: kestrel ends before that restart, so nothing
// would resume it, and the volume would stay open for good.
ProtectionStep SuspendBeforeFlash(VolumeEncryption& encryption);

// Only looking, for a run that decides: what SuspendBeforeFlash would meet,
// with On where it would suspend. Nothing is changed.
ProtectionStep LookBeforeFlash(VolumeEncryption& encryption);

// Whether the flash may start after `step`: only where nothing stays
// protected that the flash would lock.
inline bool FlashMayStart(ProtectionStep step)
{
    return step == ProtectionStep::NotAsked || step == ProtectionStep::Absent || step == ProtectionStep::Off ||
           step == ProtectionStep::Suspended || step == ProtectionStep::On;
}

// After a flash that did not start: this run's suspension is taken back.
ProtectionStep ResumeAfterNoStart(VolumeEncryption& encryption, ProtectionStep step);

}  // namespace kestrel
