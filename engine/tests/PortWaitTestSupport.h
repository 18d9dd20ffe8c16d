#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/WaitablePort.h"

// Waits on one port and takes what comes until `wanted` bytes or `limit`.
inline std::vector<std::uint8_t> takeFrom(WaitablePort& port, std::size_t wanted,
                                          std::chrono::milliseconds limit) {
    std::vector<std::uint8_t> got;
    WaitablePort* ports[] = {&port};
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (got.size() < wanted && std::chrono::steady_clock::now() < giveUp) {
        if (waitForInput(ports, std::chrono::milliseconds(50))[0] == PortInput::Failed) break;
        std::uint8_t buffer[256];
        std::uint32_t n = 0;
        if (!port.readAvailable(buffer, sizeof buffer, &n)) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

inline bool writeText(WaitablePort& port, const std::string& text) {
    std::uint32_t written = 0;
    return port.write(text.data(), static_cast<std::uint32_t>(text.size()), &written) &&
           written == text.size();
}

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}
