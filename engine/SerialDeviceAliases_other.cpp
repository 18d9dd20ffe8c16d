#include "engine/SerialDeviceAliases.h"

// Only Linux keeps such names; a Windows port keeps its COM name when it comes back.
std::vector<std::string> serialDeviceAliases(const std::string&, const std::string&) { return {}; }
