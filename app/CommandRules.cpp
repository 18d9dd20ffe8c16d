#include "app/CommandRules.h"

#include "res/resource.h"

std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags) {
    const bool idle = !flags.recording && !flags.playing && !flags.busy;
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
            // Also while busy, so that a worker that is slow to open its port can be stopped.
            return flags.recording || flags.playing || flags.busy;
        default:
            if (commandId >= ID_RECENT_FILE_FIRST && commandId <= ID_RECENT_FILE_LAST) return idle;
            return std::nullopt;
    }
}

bool refusedBecauseBusy(unsigned commandId, const TransportFlags& flags) {
    if (!flags.busy || commandEnabled(commandId, flags) != false) return false;
    TransportFlags ended = flags;
    ended.busy = false;
    return commandEnabled(commandId, ended) == true;
}
