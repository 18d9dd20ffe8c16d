#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/TraceSink.h"
#include "workers/SharedState.h"

using BenchClock = std::chrono::steady_clock;

// The trace goes nowhere in a benchmark; counting keeps the formatting honest.
class CountingTraceSink : public TraceSink {
public:
    void write(const char*) override { ++lines; }
    std::atomic<std::uint64_t> lines{0};
};

class TimedListener : public WorkerStateListener {
public:
    void workerStateChanged(WorkerEvent event, std::uint32_t) override {
        if (event == WorkerEvent::Started) startedAt.store(BenchClock::now().time_since_epoch().count());
        if (event == WorkerEvent::Ended) ended.store(true);
    }
    bool waitForStart(std::chrono::seconds limit) const {
        auto end = BenchClock::now() + limit;
        while (startedAt.load() == 0 && BenchClock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        return startedAt.load() != 0;
    }
    BenchClock::time_point started() const {
        return BenchClock::time_point(BenchClock::duration(startedAt.load()));
    }
    std::atomic<BenchClock::rep> startedAt{0};
    std::atomic<bool> ended{false};
};

inline std::filesystem::path benchFolder(const char* name) {
    auto folder = std::filesystem::temp_directory_path() /
                  (std::string(name) + "-" +
                   std::to_string(BenchClock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder);
    return folder;
}

inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}
