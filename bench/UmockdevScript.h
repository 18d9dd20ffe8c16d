#pragma once

// What umockdev-run needs to replay a recorded conversation on a serial port: a testbed device
// for a tty and a script of its reads and writes.

#include <string>
#include <vector>

#include "bench/RespondHost.h"

// The device node the description makes and the script is replayed on.
inline constexpr const char* kUmockdevPort = "/dev/ttyUSB0";

// A USB serial adapter's tty as a device description names it.
std::string umockdevTtyDescription();

// Per exchange a "w" line for the request and an "r" line per answer burst with its delay; the
// format's delays are whole milliseconds, so each is rounded. No greeting: umockdev-run sends a
// script's leading "r" line again and again until the program writes.
std::string umockdevScript(const std::vector<Exchange>& recorded);
