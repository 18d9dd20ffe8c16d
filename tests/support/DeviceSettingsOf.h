#pragma once

#include <cstdint>
#include <string>

#include "engine/DeviceSettings.h"

// Settings from plain numbers, as tables of stored values hold them (parity and stop bits in
// their stored numbering, including values that name nothing).
inline DeviceSettings settingsOf(const std::string& port, std::int32_t speed, std::int32_t dataBits,
                                 std::int32_t parity, std::int32_t stopBits) {
    return {port, speed, dataBits, Parity{parity}, StopBits{stopBits}};
}
