// Board instances from Windows Management Instrumentation, through its
// scripting objects, called late-bound by member name.
#pragma once

#include "../ports.h"

namespace kestrel {

// Needs COM initialised on the calling thread.
class WmiManagement final : public Management {
public:
    // Binds the namespace by moniker (CoGetObject, no class argument).
    std::unique_ptr<ManagementService> Bind(std::u16string_view displayName) override;
};

}  // namespace kestrel
