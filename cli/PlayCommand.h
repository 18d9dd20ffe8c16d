#pragma once

#include "cli/Command.h"

// "play FILE.ser --port PORT ...": a serial file out of a port with its recorded timing, as the
// window plays it, and a report of how well the timing was kept.
Command playCommand();
