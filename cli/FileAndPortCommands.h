#pragma once

// The commands that work on files and on the list of ports, for the table in Commands.cpp.

#include "cli/Command.h"

Command infoCommand();
Command exportCommand();
Command importCommand();
Command portsCommand();
