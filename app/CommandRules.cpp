#include "app/CommandRules.h"

#include "res/resource.h"

namespace {

std::optional<Command> commandOf(unsigned commandId) {
    switch (commandId) {
        case ID_FILE_NEW:
            return Command::NewFile;
        case ID_FILE_OPEN:
            return Command::OpenFile;
        case ID_SAVE_AS:
            return Command::SaveAs;
        case ID_SERIAL_DEVICE:
            return Command::DeviceSettings;
        case ID_LOGGING:
            return Command::Logging;
        case ID_IMPORT:
            return Command::Import;
        case ID_EXPORT:
            return Command::Export;
        case ID_RECORD:
            return Command::Record;
        case ID_PLAY:
            return Command::Play;
        case ID_PAUSE:
            return Command::Pause;
        case ID_STOP:
            return Command::Stop;
        case ID_FAST_REWIND:
            return Command::Rewind;
        case ID_FAST_FORWARD:
            return Command::Forward;
        default:
            if (commandId >= ID_RECENT_FILE_FIRST && commandId <= ID_RECENT_FILE_LAST) {
                return Command::OpenRecentFile;
            }
            return std::nullopt;
    }
}

}  // namespace

std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags) {
    const std::optional<Command> command = commandOf(commandId);
    if (!command) return std::nullopt;
    return mayRun(*command, flags);
}

bool refusedBecauseBusy(unsigned commandId, const TransportFlags& flags) {
    if (!flags.busy || commandEnabled(commandId, flags) != false) return false;
    TransportFlags ended = flags;
    ended.busy = false;
    return commandEnabled(commandId, ended) == true;
}
