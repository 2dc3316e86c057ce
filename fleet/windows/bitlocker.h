// BitLocker on the operating system volume, through its management
// provider's scripting objects, called late-bound by member name.
#pragma once

#include <oaidl.h>

#include "../protection.h"
#include "com.h"
#include "dll_search.h"

namespace kestrel {

// Whether a suspension for a count of restarts is relied on on `version`:
// from Windows 8.1 (6.3) on, the least client DisableKeyProtectors' page
// gives.
bool RestartCountDocumentedOn(WindowsVersion version);

// Needs COM initialised on the calling thread. The provider answers only
// administrators; the flash lock has already asked for that.
class BitLocker final : public VolumeEncryption {
public:
    // The volume that holds the Windows folder: absent where the provider's
    // namespace is not there (an edition without BitLocker) or lists no such
    // volume; unknown where a step fails.
    VolumeProtection Protection() override;
    // Windows 8.1 and later, where the restart count is documented.
    bool CountsRestarts() override;
    bool SuspendForOneRestart() override;
    bool Resume() override;

private:
    // The volume's method, its arguments, and true when it returned 0.
    bool Call(const wchar_t* method, VARIANT* args, UINT argCount);

    com::Ref<IDispatch> volume_;
};

}  // namespace kestrel
