#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/DeviceSettings.h"

// Read and write timeouts with the meaning of the Win32 COMMTIMEOUTS record (milliseconds).
struct SerialTimeouts {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;
};

inline constexpr std::uint32_t kSerialTimeoutMax = 0xFFFFFFFFu;  // MAXDWORD

// One open serial port, used by the one thread that created it. Every operation reports failure
// by its result; errorText() then describes the failure. The destructor closes the port.
class SerialPort {
public:
    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The path to open for a port name as the user chose it: "\\.\" + name on Windows; on POSIX
    // the name itself when it is a path, else "/dev/" + name.
    static std::string devicePath(const std::string& portName);

    // Opens exclusively and sets speed, data bits, parity and stop bits; every other line
    // setting keeps what the driver had. Closes a port that is already open first.
    bool open(const std::string& path, std::int32_t speed, std::int32_t dataBits, Parity parity,
              StopBits stopBits);
    void close();
    bool isOpen() const;
    // The system's own handle of the open port (a descriptor on POSIX, a HANDLE on Windows), for
    // a wait that watches it with other ports; -1 when closed.
    std::intptr_t systemHandle() const;

    // One synchronous read or write. On a closed port they fail and leave *transferred as it
    // was; otherwise *transferred (when given) receives the count moved, even on failure. A read
    // of a port that has gone (unplugged, hung up) fails rather than returning no bytes.
    bool read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead);
    bool write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten);

    // Fails without effect when the port is closed or no record is given.
    bool setTimeouts(const SerialTimeouts* timeouts);
    // The timeouts in force (on Windows the driver's, which may outlive the handle), so that a
    // caller can change some and keep the others. Same failure rules as setTimeouts.
    bool getTimeouts(SerialTimeouts* timeouts);

    // Drops what was written but has not left the port yet, so that a device holding the line
    // (flow control) cannot keep the close waiting for the driver's closing delay. Fails without
    // effect when the port is closed.
    bool discardOutput();

    // Text for the last failure (pending line errors first, else the system's text); valid until
    // the next call or the object's end. At most 254 characters.
    const char* errorText();

private:
    struct Impl;  // one per platform
    std::unique_ptr<Impl> impl_;
    char errorText_[256] = {};
};
