#include "cli/AskCommand.h"
#include "cli/Command.h"
#include "cli/FileAndPortCommands.h"
#include "cli/PlayCommand.h"
#include "cli/RecordCommand.h"

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {recordCommand(), playCommand(),   infoCommand(),
                                             exportCommand(), importCommand(), portsCommand(),
                                             askCommand()};
    return all;
}
