#pragma once

#include "cli/Command.h"

// "ask FILE.pcapng --port PORT ...": plays the host of a conversation against a device and
// tells each answer that is not the recorded one.
Command askCommand();
