#include "cli/Command.h"

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {};
    return all;
}
