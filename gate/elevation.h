// Starting the flash utility where the system may ask for elevation: the
// plain start comes first; only when the system answers that the program
// needs elevation is it started once more through the elevating road, which
// asks the user for consent.
#pragma once

#include <string_view>

namespace kestrel {

class ProcessStarter {
public:
    enum class Result { Started, ElevationRequired, Failed };

    virtual ~ProcessStarter() = default;
    // Starts the program at `path` (a full path) with a window state.
    virtual Result Start(std::u16string_view path, int windowState) = 0;
    // Starts it through the road that can elevate; true when it started.
    virtual bool StartElevated(std::u16string_view path, int windowState) = 0;
    // Whether another flash provably runs, which a start now would meet: a
    // starter that knows of no flash lock knows of none.
    virtual bool FlashRunning() { return false; }
};

// Started when the program started on either road. Unless `mayPrompt`, the
// elevating road is not taken, and ElevationRequired stands.
ProcessStarter::Result StartElevatingIfRequired(ProcessStarter& starter, std::u16string_view path, int windowState,
                                                bool mayPrompt = true);

}  // namespace kestrel
