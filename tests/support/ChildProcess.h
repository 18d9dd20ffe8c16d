#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // Ends the session it runs in under it: the terminal hangs up (SIGHUP, a dropped ssh
    // connection) or, on Windows, its console window closes (CTRL_CLOSE_EVENT), after whose
    // handlers the system ends the process as Windows does. False where a test cannot.
    bool endSession();
    // Its exit status once it has ended within `limit`; nothing while it still runs.
    std::optional<int> wait(std::chrono::milliseconds limit);

private:
    struct Impl;  // one per platform
    std::unique_ptr<Impl> impl_;
};
