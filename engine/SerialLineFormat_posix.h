#pragma once

#include <termios.h>

#include <cstdint>
#include <string>

// The c_cflag bits that lineFormatFlags sets.
tcflag_t lineFormatMask();

// Data bits, parity and stop bits in DCB numbering as c_cflag bits. False with a reason for a
// combination that a UART cannot send or this system cannot express.
bool lineFormatFlags(std::int32_t dataBits, std::int32_t parity, std::int32_t stopBits,
                     tcflag_t* flags, std::string* why);
