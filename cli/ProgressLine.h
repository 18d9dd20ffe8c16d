#pragma once

// A command's progress on standard error, one line redrawn in place: elapsed time, chunks,
// bytes and rate, or for a conversion the bytes done of the input's size. Draws nothing when the
// console shows no progress (not a terminal, --quiet).

#include <cstdint>
#include <string>

#include "cli/Console.h"

class ProgressLine {
public:
    explicit ProgressLine(const Console& console) : console_(console) {}
    ~ProgressLine() { end(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(double seconds, std::uint64_t chunks, std::uint64_t bytes);
    // Both directions of a conversation: the host's bursts and bytes, then the device's.
    void showBothWays(double seconds, std::uint64_t hostBursts, std::uint64_t hostBytes,
                      std::uint64_t deviceBursts, std::uint64_t deviceBytes);
    // A total of 0 is an input of unknown size: no percentage then.
    void showConversion(std::uint64_t done, std::uint64_t total, const std::string& fileName);
    // Ends the line, so that what follows starts on a line of its own.
    void end();

private:
    const Console& console_;
    bool drawn_ = false;
};
