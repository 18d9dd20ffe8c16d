#include "cli/ConversionWatch.h"

ConversionProgress ConversionWatch::callback() {
    return [this](std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        // Drawing at every call would cost a fast conversion more than its own work.
        if (done == total || now - lastDrawn_ >= std::chrono::milliseconds(100)) {
            line_.showConversion(done, total, fileName_);
            lastDrawn_ = now;
        }
        return !interrupts_.interrupted();
    };
}
