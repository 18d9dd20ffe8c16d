#pragma once

#include <termios.h>

#include <cstdint>
#include <string>

#include "engine/DeviceSettings.h"

// The c_cflag bits that lineFormatFlags sets.
tcflag_t lineFormatMask();

// Data bits, parity and stop bits as c_cflag bits. False with a reason for a combination that a
// UART cannot send or this system cannot express.
bool lineFormatFlags(std::int32_t dataBits, Parity parity, StopBits stopBits, tcflag_t* flags,
                     std::string* why);
