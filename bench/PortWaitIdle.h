#pragma once

#include <chrono>
#include <cstdio>

#include "bench/ProcessCpu.h"
#include "engine/WaitablePort.h"

// Waits on the ports for `span` with nothing arriving, as a serving loop would (100 ms at a
// time), and prints the share of one core it used and how many waits ended early.
inline void printIdleWaitCpu(const char* what, std::span<WaitablePort* const> ports,
                             std::chrono::seconds span) {
    const auto cpuBefore = processCpuTime();
    const auto start = std::chrono::steady_clock::now();
    long waits = 0, early = 0;
    while (std::chrono::steady_clock::now() - start < span) {
        const auto before = std::chrono::steady_clock::now();
        const std::vector<PortInput> states = waitForInput(ports, std::chrono::milliseconds(100));
        ++waits;
        for (PortInput state : states) {
            if (state != PortInput::None) {
                std::printf("%s: a port said %d while idle; stopped\n", what, int(state));
                return;
            }
        }
        if (std::chrono::steady_clock::now() - before < std::chrono::milliseconds(90)) ++early;
    }
    const auto wall = std::chrono::steady_clock::now() - start;
    const double cpuShare =
        100.0 * double((processCpuTime() - cpuBefore).count()) /
        double(std::chrono::duration_cast<std::chrono::microseconds>(wall).count());
    std::printf("%s: %.3f %% of a core over %.1f s idle (%ld waits, %ld ended early)\n", what,
                cpuShare, std::chrono::duration<double>(wall).count(), waits, early);
}
