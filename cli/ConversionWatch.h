#pragma once

// What export and import hand a conversion as its progress callback: the progress line, drawn
// at most ten times a second, and Ctrl+C, which cancels the conversion.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "cli/Console.h"
#include "cli/Interrupt.h"
#include "cli/ProgressLine.h"
#include "convert/ConversionProgress.h"

class ConversionWatch {
public:
    ConversionWatch(const Console& console, std::string fileName)
        : line_(console), fileName_(std::move(fileName)) {}

    ConversionProgress callback();
    // Ends the progress line before the command's last words.
    void end() { line_.end(); }

private:
    const InterruptWatch interrupts_;
    ProgressLine line_;
    std::string fileName_;
    std::chrono::steady_clock::time_point lastDrawn_{};
};
