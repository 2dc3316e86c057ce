// The message boxes of one run, read as they come: caption, text, icon and
// buttons, each box once, once it has laid itself out; then one of its
// buttons pressed, so that the run goes on.
#pragma once

#include <windows.h>

#include <vector>

#include "../run_outcome.h"

namespace kestrel::check {

class BoxReader {
public:
    explicit BoxReader(DWORD pid) : pid_(pid) {}

    // Reads the boxes of the process that are new and laid out into
    // `boxes`, and presses OK on each (the first button where it has none).
    // A box first seen is raised above every other window.
    void Look(std::vector<Box>& boxes);

private:
    struct Pending {
        HWND box;
        DWORD since;
        bool moved = false;  // moved clear of a window over its icon (MoveIconClear)
    };
    DWORD pid_;
    std::vector<HWND> done_;
    std::vector<Pending> pending_;
};

}  // namespace kestrel::check
