#include "cli/Command.h"
#include "cli/FileAndPortCommands.h"

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {infoCommand(), exportCommand(), importCommand(),
                                             portsCommand()};
    return all;
}
