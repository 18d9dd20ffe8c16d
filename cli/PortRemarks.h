#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/Console.h"
#include "workers/PortOpening.h"

// What a port found worth telling (a device server that applied other settings, a program
// connecting to a served port or leaving), one line each on standard error, named by the
// command. Remarks may come from a run's own thread: they are kept until the command's thread
// tells them, between two draws of its progress line.
class PortRemarks {
public:
    // Quiet: nothing is told.
    PortRemarks(const Console& console, const char* command, bool quiet)
        : console_(console), command_(command), quiet_(quiet) {}

    void add(const std::string& remark) {
        std::lock_guard lock(mutex_);
        waiting_.push_back(remark);
    }
    void add(const std::vector<std::string>& remarks) {
        for (const std::string& remark : remarks) add(remark);
    }
    // Tells what waits, first calling beforeFirst (to end a progress line) if anything does.
    void tell(const std::function<void()>& beforeFirst = {}) {
        std::vector<std::string> remarks;
        {
            std::lock_guard lock(mutex_);
            remarks.swap(waiting_);
        }
        if (quiet_ || remarks.empty()) return;
        if (beforeFirst) beforeFirst();
        for (const std::string& remark : remarks)
            std::fprintf(console_.err, "veltrane-cli %s: %s\n", command_, remark.c_str());
        std::fflush(console_.err);
    }

private:
    const Console& console_;
    const char* command_;
    bool quiet_;
    std::mutex mutex_;
    std::vector<std::string> waiting_;
};

// What opening a port found worth telling, before the run starts: a served port's URL for the
// program on standard output (a script reads it there), remarks on standard error unless quiet.
inline void tellOpenedPort(const Console& console, const char* command, const OpenedPort& opened,
                           bool quiet) {
    if (!opened.programPath.empty()) {
        std::fprintf(console.out, "%s\n", opened.programPath.c_str());
        std::fflush(console.out);
    }
    if (quiet) return;
    for (const std::string& remark : opened.remarks)
        std::fprintf(console.err, "veltrane-cli %s: %s\n", command, remark.c_str());
    std::fflush(console.err);
}
