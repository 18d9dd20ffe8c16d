#pragma once

#include <string>
#include <vector>

// Where udev names each serial adapter by its maker, model and serial number: a name that stays
// with the adapter when it comes back from an unplugging as another device (ttyUSB1 for ttyUSB0).
inline constexpr const char* kSerialByIdDirectory = "/dev/serial/by-id";

// The links in directory that lead to the same device as devicePath, in name order; none where
// the system keeps no such names, or where the device or the directory is not there.
std::vector<std::string> serialDeviceAliases(const std::string& devicePath,
                                             const std::string& directory);
