#pragma once

#include "cli/Command.h"

// "respond FILE.pcapng --port PORT ...": stands in for the device of a conversation file on a
// port, answering each request as the device did, until Ctrl+C, a duration or (strict) the
// first request out of order.
Command respondCommand();
