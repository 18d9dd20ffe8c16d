#pragma once

// The serial ports this machine has, one line each, as the ports command prints them. Platform
// file: device links and the devices the kernel describes on Linux, without opening any; the
// system's COM names on Windows.

#include <string>
#include <vector>

std::vector<std::string> listSerialPorts();
