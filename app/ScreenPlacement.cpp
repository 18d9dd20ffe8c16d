#include "app/ScreenPlacement.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The start of a span of `length` moved the shortest way into [low, high); the low end wins when
// the span is longer than the room.
std::int64_t startInside(std::int64_t start, std::int64_t length, std::int64_t low,
                         std::int64_t high) {
    return std::max(low, std::min(start, high - length));
}

// A span of a length of at least 0 from `start`, moved back as far as it would pass the end of
// the coordinate range: such a place is off every screen anyway, and the size is what matters.
std::pair<std::int32_t, std::int32_t> spanAt(std::int32_t start, std::int32_t length) {
    std::int32_t kept = std::max(length, 0);
    std::int32_t from = std::min(start, std::numeric_limits<std::int32_t>::max() - kept);
    return {from, from + kept};
}

}  // namespace

ScreenRect rectAt(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    auto [x0, x1] = spanAt(left, width);
    auto [y0, y1] = spanAt(top, height);
    return {x0, y0, x1, y1};
}

// A stored place can outlive its monitor; a window that is nowhere on the screen could not be
// reached to move it back.
ScreenRect keepOnWorkArea(const ScreenRect& window, const ScreenRect& workArea) {
    bool meets = window.left < workArea.right && workArea.left < window.right &&
                 window.top < workArea.bottom && workArea.top < window.bottom;
    if (meets) return window;
    std::int64_t width = std::int64_t{window.right} - window.left;
    std::int64_t height = std::int64_t{window.bottom} - window.top;
    auto left = startInside(window.left, width, workArea.left, workArea.right);
    auto top = startInside(window.top, height, workArea.top, workArea.bottom);
    return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
            static_cast<std::int32_t>(left + width), static_cast<std::int32_t>(top + height)};
}
