#pragma once

#include <atomic>
#include <cstdint>

// What a monitor has passed so far, each way; a front end reads them for its progress.
struct MonitorCounts {
    std::atomic<std::uint64_t> hostBursts{0};
    std::atomic<std::uint64_t> hostBytes{0};
    std::atomic<std::uint64_t> deviceBursts{0};
    std::atomic<std::uint64_t> deviceBytes{0};

    void reset() {
        hostBursts.store(0);
        hostBytes.store(0);
        deviceBursts.store(0);
        deviceBytes.store(0);
    }
};
