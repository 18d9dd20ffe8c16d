#pragma once

#include <memory>

// While one exists, Ctrl+C and the system's requests to end (SIGINT, SIGTERM and SIGHUP on
// POSIX; on Windows the console's control events, its window closing, and log-off and shutdown,
// which reach the program as window messages) only set a flag: a command then stops its worker,
// which closes its file whole, or cancels its conversion, instead of the program dying
// mid-write. Windows ends the process once the handler of a closing console, log-off or
// shutdown returns, so that handler returns only when the watch ends, after the command's
// clean-up, or after a few seconds. Platform files.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool interrupted() const;

private:
    // What a platform watches with besides its handlers.
    struct PlatformWatch;
    std::unique_ptr<PlatformWatch> platform_;
};
