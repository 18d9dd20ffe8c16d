#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// How the session a child runs in ends under it.
enum class SessionEnd {
    // The terminal hangs up (SIGHUP, a dropped ssh connection) or, on Windows, its console
    // window closes (CTRL_CLOSE_EVENT).
    ConsoleClosed,
    // On Windows the user logs off: the system tells each top-level window of the program
    // (WM_QUERYENDSESSION, then WM_ENDSESSION), not its console handler, once the program has
    // loaded user32. POSIX has no such way apart from the hang-up.
    LogOff,
};

// A program that a test runs, its standard output and error into files, its input empty. One
// still running at the end is killed and awaited.
class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outputPath, const std::string& errorPath, std::string* why);
    // Asks it to end as Ctrl+C does; false where a test cannot ask that.
    bool interrupt();
    // Ends the session it runs in under it; on Windows the system then ends the process once
    // its handlers or windows have answered, as Windows does. False where a test cannot.
    bool endSession(SessionEnd how = SessionEnd::ConsoleClosed);
    // Its exit status once it has ended within `limit`; nothing while it still runs.
    std::optional<int> wait(std::chrono::milliseconds limit);

private:
    struct Impl;  // one per platform
    std::unique_ptr<Impl> impl_;
};
