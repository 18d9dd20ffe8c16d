#include "engine/CommLineSettings_win.h"

// Read the DCB, change only the four line settings, write it back.
bool applyCommLineSettings(HANDLE port, std::int32_t speed, std::int32_t dataBits, Parity parity,
                           StopBits stopBits) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return false;
    dcb.BaudRate = static_cast<DWORD>(speed);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    return SetCommState(port, &dcb) != FALSE;
}
