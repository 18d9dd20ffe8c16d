#include "app/CommandRules.h"

#include "res/resource.h"

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
