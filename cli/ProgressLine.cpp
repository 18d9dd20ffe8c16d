#include "cli/ProgressLine.h"

void ProgressLine::show(double seconds, std::uint64_t chunks, std::uint64_t bytes) {
    if (!console_.showProgress) return;
    const double rate = seconds > 0.0 ? static_cast<double>(bytes) / seconds : 0.0;
    // Padded so that a shorter line covers the longer one before it.
    std::fprintf(console_.err, "\r%9.1f s  %10llu chunks  %12llu bytes  %10.0f B/s  ", seconds,
                 static_cast<unsigned long long>(chunks), static_cast<unsigned long long>(bytes),
                 rate);
    std::fflush(console_.err);
    drawn_ = true;
}

void ProgressLine::showBothWays(double seconds, std::uint64_t hostBursts, std::uint64_t hostBytes,
                                std::uint64_t deviceBursts, std::uint64_t deviceBytes) {
    if (!console_.showProgress) return;
    std::fprintf(console_.err,
                 "\r%9.1f s  host %8llu bursts %11llu bytes  device %8llu bursts %11llu bytes  ",
                 seconds, static_cast<unsigned long long>(hostBursts),
                 static_cast<unsigned long long>(hostBytes),
                 static_cast<unsigned long long>(deviceBursts),
                 static_cast<unsigned long long>(deviceBytes));
    std::fflush(console_.err);
    drawn_ = true;
}

void ProgressLine::showConversion(std::uint64_t done, std::uint64_t total,
                                  const std::string& fileName) {
    if (!console_.showProgress) return;
    if (total > 0) {
        std::fprintf(
            console_.err, "\r%12llu of %llu bytes  %3d%%  %s  ",
            static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
            static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)),
            fileName.c_str());
    } else {
        std::fprintf(console_.err, "\r%12llu bytes  %s  ", static_cast<unsigned long long>(done),
                     fileName.c_str());
    }
    std::fflush(console_.err);
    drawn_ = true;
}

void ProgressLine::end() {
    if (!drawn_) return;
    std::fputc('\n', console_.err);
    drawn_ = false;
}
