// Where a message box can be put so that its icon is clear of the windows
// over it: a decision on rectangles alone, for the release check's reading
// of an icon from the screen.
#pragma once

#include <optional>
#include <vector>

namespace kestrel::check {

struct Area {
    long left = 0, top = 0, right = 0, bottom = 0;
};

struct Place {
    long x = 0, y = 0;
    bool operator==(const Place&) const = default;
};

// The top-left corner to move the box `frame` to, on a screen of `width` by
// `height` from (0, 0), so that its icon `icon` (inside it) meets none of
// `covers`: a corner of the screen, else beside one of the covers, whichever
// first fits the whole box on the screen. Nothing when the icon is clear
// where it is, or where no such place is.
std::optional<Place> ClearPlace(const Area& icon, const Area& frame, const std::vector<Area>& covers, long width,
                                long height);

}  // namespace kestrel::check
