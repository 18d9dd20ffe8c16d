#pragma once

#include "cli/Command.h"

// "record OUT.ser --port PORT ...": what arrives on a port into a serial file, as the window
// records it, until Ctrl+C, a duration, a silence or the device's end.
Command recordCommand();
