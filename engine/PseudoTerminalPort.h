#pragma once

#include <memory>
#include <string>

#include "engine/WaitablePort.h"

// The host side made for a program under test (POSIX): a pseudo-terminal whose slave the
// program opens as its serial port, and may close and open again as often as it likes without
// losing a byte either way. Bytes pass untouched (raw, no echo) until the program sets the line
// otherwise.
class PseudoTerminalPort final : public WaitablePort {
public:
    PseudoTerminalPort();
    ~PseudoTerminalPort() override;

    // Makes the pseudo-terminal; with a link, also a symbolic link there to the slave (a symbolic
    // link already there is replaced, anything else refused). Closes one already open first.
    bool open(const std::string& link = {});
    // Removes the link, if it still points to this slave.
    void close();
    bool isOpen() const;
    // The slave's path (/dev/pts/N) for the program under test; empty when closed.
    const std::string& slavePath() const;

    bool readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
    // While the program is away or does not read, the slave holds about 20 KB; a write beyond
    // that waits until the program reads (or the limit passes).
    bool writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                     std::chrono::milliseconds limit) override;
    // A speed the program sets on its side (LineSettings with the speed), seen at each wait.
    std::vector<LineEvent> takeLineEvents() override;
    const char* errorText() override;
    const char* writeErrorText() override;

    WaitStart startWait() override;
    PortInput finishWait(std::uint32_t events) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    char errorText_[256] = {};
    char writeErrorText_[256] = {};
};
