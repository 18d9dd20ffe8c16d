#pragma once

#include <cstdint>

#include "engine/SerialPort.h"

// Under Wine the tests of one binary share one serial pair: what an earlier test left on a side
// is read away before the next test uses it.
inline void drainSerialPort(SerialPort& port) {
    SerialTimeouts quiet{kSerialTimeoutMax, kSerialTimeoutMax, 30, 0, 0};
    port.setTimeouts(&quiet);
    std::uint8_t buffer[255];
    std::uint32_t count = 0;
    for (int i = 0; i < 100 && port.read(buffer, sizeof buffer, &count) && count > 0; ++i) {
    }
}
