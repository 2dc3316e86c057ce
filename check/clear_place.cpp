#include "clear_place.h"

namespace kestrel::check {

namespace {

bool Meet(const Area& a, const Area& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Clear(const Area& icon, const std::vector<Area>& covers)
{
    for (const Area& cover : covers)
        if (Meet(icon, cover)) return false;
    return true;
}

}  // namespace

std::optional<Place> ClearPlace(const Area& icon, const Area& frame, const std::vector<Area>& covers, long width,
                                long height)
{
    if (Clear(icon, covers)) return std::nullopt;
    const long w = frame.right - frame.left, h = frame.bottom - frame.top;
    std::vector<Place> places = {{0, 0}, {width - w, 0}, {0, height - h}, {width - w, height - h}};
    for (const Area& cover : covers) {
        places.push_back({cover.left - w, frame.top});
        places.push_back({cover.right, frame.top});
        places.push_back({frame.left, cover.top - h});
        places.push_back({frame.left, cover.bottom});
    }
    for (const Place& place : places) {
        if (place.x < 0 || place.y < 0 || place.x + w > width || place.y + h > height) continue;
        const long dx = place.x - frame.left, dy = place.y - frame.top;
        if (Clear({icon.left + dx, icon.top + dy, icon.right + dx, icon.bottom + dy}, covers)) return place;
    }
    return std::nullopt;
}

}  // namespace kestrel::check
