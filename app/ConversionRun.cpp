#include "app/ConversionRun.h"

#include <system_error>

ConversionRun::ConversionRun(Work work) {
    try {
        thread_ = std::thread(&ConversionRun::run, this, work);  // a copy: kept for the fallback
    } catch (const std::system_error&) {
        // No thread to be had: the conversion still runs, only without the window answering.
        run(std::move(work));
    }
}

ConversionRun::~ConversionRun() { stop(); }

void ConversionRun::stop() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void ConversionRun::run(Work work) {
    completed_ = work([this](std::uint64_t done, std::uint64_t total) {
        done_.store(done);
        total_.store(total);
        return !cancelled_.load();
    });
    ended_.store(true);
}

void ConversionRun::finish() {
    if (thread_.joinable()) thread_.join();
}
