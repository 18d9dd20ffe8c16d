#include "cli/AskCommand.h"
#include "cli/Command.h"
#include "cli/FileAndPortCommands.h"
#include "cli/MonitorCommand.h"
#include "cli/PlayCommand.h"
#include "cli/RecordCommand.h"
#include "cli/RespondCommand.h"

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {recordCommand(),  playCommand(),   monitorCommand(),
                                             respondCommand(), askCommand(),    infoCommand(),
                                             exportCommand(),  importCommand(), portsCommand()};
    return all;
}
