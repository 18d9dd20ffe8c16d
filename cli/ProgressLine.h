#pragma once

// A command's progress on standard error, one line redrawn in place: elapsed time, chunks,
// bytes and rate. Draws nothing when the console shows no progress (not a terminal, --quiet).

#include <cstdint>

#include "cli/Console.h"

class ProgressLine {
public:
    explicit ProgressLine(const Console& console) : console_(console) {}
    ~ProgressLine() { end(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(double seconds, std::uint64_t chunks, std::uint64_t bytes);
    // Ends the line, so that what follows starts on a line of its own.
    void end();

private:
    const Console& console_;
    bool drawn_ = false;
};
