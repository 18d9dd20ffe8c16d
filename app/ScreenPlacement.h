#pragma once

#include <cstdint>

// A rectangle in screen coordinates; right and bottom lie just outside it.
struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool operator==(const ScreenRect&) const = default;
};

// The rectangle of a window placed at left, top with the given size (a negative one counts as
// 0); a place so near the end of the coordinate range that the window would pass it is moved
// back by as much.
ScreenRect rectAt(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

// Where a restored window goes: where it is while any part of it lies in the work area of its
// nearest monitor; otherwise moved the shortest way to lie wholly inside that area (with its
// top-left corner at the area's when it is larger than the area).
ScreenRect keepOnWorkArea(const ScreenRect& window, const ScreenRect& workArea);
