// The test seam of the elevation road: Wine never answers "elevation
// required", so a test build of kestrel.exe starts the utility through this
// starter, whose plain start answers it once. Everything after that is the
// product's own road: the shell, its DLLs, the consent owner.
#pragma once

#include "flash_start.h"

namespace kestrel::testing {

class ElevationRequiredOnce final : public WindowsStarter {
public:
    using WindowsStarter::WindowsStarter;
    Result Start(std::u16string_view path, int windowState) override
    {
        if (!answered_) {
            answered_ = true;
            return Result::ElevationRequired;
        }
        return WindowsStarter::Start(path, windowState);
    }

private:
    bool answered_ = false;
};

}  // namespace kestrel::testing
