#pragma once

// The serial ports of a Linux machine as its kernel describes them, found without opening any:
// opening a USB serial device raises DTR, and many boards restart on that.

#include <filesystem>
#include <string>
#include <vector>

// Where the kernel's device tree and the device nodes are; other roots in tests.
struct SystemFolders {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
};

// The /dev/serial/by-id links as "LINK -> DEVICE", then the ttyUSB, ttyACM and ttyS devices
// with a device behind them, each kind in number order (ttyUSB2 before ttyUSB10). A ttyS only
// counts when the kernel found a UART at its address: ttyS0..ttyS31 exist without one.
std::vector<std::string> serialPortsDescribedIn(const SystemFolders& folders);
