#include "app/TransportRules.h"

#include <cstdio>

TransportControls transportControls(TransportMode mode, bool hasFile) {
    switch (mode) {
        case TransportMode::Recording:
        case TransportMode::Busy:
            return {false, false, false, true, false, false, false};
        case TransportMode::Playing:
            return {false, false, true, true, false, false, false};
        case TransportMode::Stopped:
        default:
            return {true, hasFile, false, false, hasFile, hasFile, hasFile};
    }
}

std::string formatTimeDisplay(std::uint32_t tenths) {
    char text[32];
    // At least two digits of minutes and seconds and one of tenths.
    std::snprintf(text, sizeof text, "%.2d:%.2d.%.1d", static_cast<int>(tenths / 10 / 60),
                  static_cast<int>(tenths / 10 % 60), static_cast<int>(tenths % 10));
    return text;
}
