#pragma once

// The commands of veltrane-cli: each names itself, says what it does in one line for the
// program's help, gives its own help text and the options it accepts, and runs.

#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Console.h"

struct Command {
    std::string name;
    std::string summary;  // one line in the program's help
    std::string help;     // the command's --help text: usage line, then what each option does
    std::vector<OptionSpec> options;  // --help and --quiet are accepted by every command
    int (*run)(const Arguments& arguments, Console& console) = nullptr;
};

// Every command, in the order the program's help lists them.
const std::vector<Command>& commands();
