#pragma once

#include <cstdint>

// How many breaks, framing errors and parity errors a serial port has received since it was
// opened, as its driver counts them; the difference between two readings tells what came.
struct SerialErrorCounts {
    std::uint32_t breaks = 0;
    std::uint32_t framing = 0;
    std::uint32_t parity = 0;
};

// Reads the driver's counts: 0, or an errno value where the port keeps none (a pseudo-terminal).
int readSerialErrorCounts(int fd, SerialErrorCounts* counts);
