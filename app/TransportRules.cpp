#include "TransportRules.h"

#include <cstdio>

#include "resource.h"

std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags) {
    const bool idle = !flags.recording && !flags.playing;
    switch (commandId) {
        case ID_FILE_NEW:
        case ID_FILE_OPEN:
        case ID_SERIAL_DEVICE:
        case ID_LOGGING:
        case ID_IMPORT:
        case ID_RECORD:
            return idle;
        case ID_SAVE_AS:
        case ID_PLAY:
        case ID_FAST_FORWARD:
        case ID_FAST_REWIND:
        case ID_EXPORT:
            return idle && flags.hasFile;
        case ID_PAUSE:
            return flags.playing;
        case ID_STOP:
            return flags.recording || flags.playing;
        default:
            if (commandId >= ID_RECENT_FILE_FIRST && commandId <= ID_RECENT_FILE_LAST) return idle;
            return std::nullopt;
    }
}

TransportControls transportControls(TransportMode mode, bool hasFile) {
    switch (mode) {
        case TransportMode::Recording:
            return {false, false, false, true, false, false, false};
        case TransportMode::Playing:
            return {false, false, true, true, false, false, false};
        case TransportMode::Stopped:
        default:
            return {true, hasFile, false, false, hasFile, hasFile, hasFile};
    }
}

std::string formatPosition(std::uint32_t tenths) {
    char text[32];
    // At least two digits of minutes and seconds and one of tenths.
    std::snprintf(text, sizeof text, "%.2d:%.2d.%.1d", static_cast<int>(tenths / 10 / 60),
                  static_cast<int>(tenths / 10 % 60), static_cast<int>(tenths % 10));
    return text;
}

std::string promptText(const std::string& tableString) {
    auto newline = tableString.rfind('\n');
    return newline == std::string::npos ? tableString : tableString.substr(0, newline);
}
