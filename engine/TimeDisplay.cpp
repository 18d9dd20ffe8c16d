#include "engine/TimeDisplay.h"

#include <cstdio>

std::string formatTimeDisplay(std::uint32_t tenths) {
    char text[32];
    // At least two digits of minutes and seconds and one of tenths.
    std::snprintf(text, sizeof text, "%.2u:%.2u.%.1u", tenths / 10 / 60, tenths / 10 % 60,
                  tenths % 10);
    return text;
}
