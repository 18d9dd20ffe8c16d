#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/DeviceSettings.h"

// Sets speed, data bits, parity and stop bits of an open port; handshake and special characters
// stay the driver's. False with the system's last error when the port refuses.
bool applyCommLineSettings(HANDLE port, std::int32_t speed, std::int32_t dataBits, Parity parity,
                           StopBits stopBits);
