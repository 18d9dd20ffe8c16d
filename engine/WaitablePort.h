#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/LineEvent.h"

// What a wait found on one port.
enum class PortInput : std::uint8_t {
    None,    // nothing yet
    Ready,   // bytes to read: readAvailable takes them without blocking
    Failed,  // the port failed or went away; errorText() says why
};

// A port that one thread can watch together with others (waitForInput), so that bytes passed
// both ways between two ports keep their true order. One thread reads and waits; another may
// write at the same time, so that a write waiting for room never holds up the reads.
class WaitablePort {
public:
    WaitablePort() = default;
    virtual ~WaitablePort() = default;
    WaitablePort(const WaitablePort&) = delete;
    WaitablePort& operator=(const WaitablePort&) = delete;

    // Takes what has arrived, up to count bytes, and never blocks: no bytes yet is success with
    // *bytesRead 0. A port that has gone fails (errorText() says why) once its bytes are taken.
    virtual bool readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) = 0;
    // Writes all bytes, waiting for room as needed; *bytesWritten gets the count moved.
    bool write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) {
        return writeWithin(buffer, count, bytesWritten, std::chrono::milliseconds(-1));
    }
    // Writes what fits within limit (negative: no limit): success with a short count means the
    // time ran out while the far side took nothing.
    virtual bool writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                             std::chrono::milliseconds limit) = 0;
    // Drops what the port still holds to send, for the thread that writes, so that closing it
    // does not wait for a far side that holds the line. Nothing to do where a close never waits.
    virtual void discardOutput() {}
    // For the reading thread: what the port found worth a line in the log since the last call
    // (a network port's programs coming and going, say); none for most ports.
    virtual std::vector<std::string> takeRemarks() { return {}; }
    // For the reading thread: what the far side's line did since the last call (control lines,
    // breaks, errors, settings asked for), where the port can see it.
    virtual std::vector<LineEvent> takeLineEvents() { return {}; }
    // Passes a line event on where the port can: false (and nothing done) where it cannot.
    virtual bool tellLineEvent(const LineEvent&) { return false; }
    // Text for the last failed read or wait, valid until the next of those calls.
    virtual const char* errorText() = 0;
    // Text for the last failed write, for the thread that writes.
    virtual const char* writeErrorText() = 0;

    // For waitForInput only. startWait gives what the system's wait watches (a descriptor on
    // POSIX, an event handle on Windows), or a state known without waiting; finishWait turns the
    // system's answer for that object (poll's events; on Windows 1 when signalled) into a state.
    struct WaitStart {
        PortInput known;  // None: wait on object
        std::intptr_t object;
        // With known None, 0 or more: nothing to watch for now (a port that went away and may
        // come back); the wait leaves object alone and ends within this long at the latest, so
        // that startWait is asked again. Negative: wait on object.
        std::chrono::milliseconds lookAgainWithin{-1};
    };
    virtual WaitStart startWait() = 0;
    virtual PortInput finishWait(std::uint32_t events) = 0;
};

// Waits until one of the ports has bytes or has failed, or until timeout passes (a negative
// timeout: for as long as it takes), or until a port with nothing to watch wants to be looked at
// again (lookAgainWithin); one state per port, in their order. Returns as soon as any port has
// something to tell; several may at once (on Windows, a port that cannot tell its state without
// asking the system, a network port, may be told only by the next wait, which then ends at once).
// A port that has failed keeps telling so at once: it is the caller's to stop watching it. At most 64 ports (the Windows wait's limit); more fail all.
std::vector<PortInput> waitForInput(std::span<WaitablePort* const> ports,
                                    std::chrono::milliseconds timeout);
