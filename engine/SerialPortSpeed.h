#pragma once

#include <cstdint>

// Line speeds as plain numbers, for speeds that have no termios constant (14400, 56000, ...).
// Both return 0 or an errno value.
int setLineSpeedNumber(int fd, std::uint32_t bitsPerSecond);
int readLineSpeed(int fd, std::uint32_t* bitsPerSecond);
