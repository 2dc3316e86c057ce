// The plain routine's boxes and its launch of the flash utility, on Windows.
#pragma once

#include <string>

#include "../elevation.h"
#include "../ports.h"
#include "box_seat.h"

namespace kestrel {

class MessageShell final : public UserShell {
public:
    // `programDir` is the folder the flash utility is looked for in;
    // `starter` starts it.
    MessageShell(std::wstring programDir, ProcessStarter& starter)
        : programDir_(std::move(programDir)), starter_(starter)
    {
    }

    // MessageBoxW with no owner window, where someone can see it (BoxSeen).
    // Anywhere else (a service, a deployment agent's session 0, a station
    // of its own) a box would wait forever: the same box goes, without
    // waiting, to the user of the active console session, if any, and the
    // call returns at once.
    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override;
    // Starts programDir\fileName with the window state as its show-window
    // state.
    bool Launch(std::u16string_view fileName, int windowState) override;
    // As the starter knows it (ProcessStarter::FlashRunning).
    bool FlashRunning() override { return starter_.FlashRunning(); }

private:
    std::wstring programDir_;
    ProcessStarter& starter_;
};

}  // namespace kestrel
