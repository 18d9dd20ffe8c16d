#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/DeviceSettings.h"
#include "engine/WaitablePort.h"

// A serial port for waitForInput: reads take what has arrived and never block, so one thread
// can serve several ports. Separate from SerialPort, whose synchronous reads with COMMTIMEOUTS
// the recording and playback keep; on Windows this one is opened for overlapped I/O.
class WaitableSerialPort final : public WaitablePort {
public:
    WaitableSerialPort();
    ~WaitableSerialPort() override;

    // Opens exclusively and sets the four line settings, as SerialPort::open does. Closes a port
    // that is already open first.
    bool open(const std::string& path, std::int32_t speed, std::int32_t dataBits, Parity parity,
              StopBits stopBits);
    void close();
    bool isOpen() const;

    bool readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
    bool writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                     std::chrono::milliseconds limit) override;
    void discardOutput() override;
    // The modem lines (CTS, DSR, DCD, RI, with DTR and RTS as set), breaks and framing and parity
    // errors, looked at at each wait where the port shows them; a break is told as its start and
    // end together, an error without its place among the bytes.
    std::vector<LineEvent> takeLineEvents() override;
    // DTR, RTS and break as asked; false for settings and errors, which stay as they are.
    bool tellLineEvent(const LineEvent& event) override;
    const char* errorText() override;
    const char* writeErrorText() override;

    WaitStart startWait() override;
    PortInput finishWait(std::uint32_t events) override;

private:
    struct Impl;  // one per platform
    std::unique_ptr<Impl> impl_;
    char errorText_[256] = {};
    char writeErrorText_[256] = {};
};
