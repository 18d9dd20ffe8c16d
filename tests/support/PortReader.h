#pragma once

// A port read on a thread of its own, as a run reads it, keeping what it gave: for tests that
// play the far side of a port.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/WaitablePort.h"

// Reads a port on its own thread, keeping its bytes, line events and remarks.
class PortReader {
public:
    explicit PortReader(WaitablePort& port) : port_(port), thread_([this] { run(); }) {}
    ~PortReader() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::uint8_t> bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    std::vector<LineEvent> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> remarks() {
        std::lock_guard lock(mutex_);
        return remarks_;
    }
    bool failed() const { return failed_; }
    // Waits (up to 5 s) until the condition holds.
    template <typename Condition>
    bool waitUntil(Condition condition) {
        for (int i = 0; i < 500; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }

private:
    void run() {
        WaitablePort* ports[1] = {&port_};
        while (!stop_ && !failed_) {
            const PortInput input = waitForInput(ports, std::chrono::milliseconds(20))[0];
            std::uint8_t buffer[512];
            std::uint32_t got = 0;
            const bool read =
                input == PortInput::Ready && port_.readAvailable(buffer, sizeof buffer, &got);
            std::lock_guard lock(mutex_);
            for (auto& remark : port_.takeRemarks()) remarks_.push_back(remark);
            for (auto& event : port_.takeLineEvents()) events_.push_back(event);
            if (input == PortInput::Failed || (input == PortInput::Ready && !read)) failed_ = true;
            bytes_.insert(bytes_.end(), buffer, buffer + got);
        }
    }

    WaitablePort& port_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
    std::vector<LineEvent> events_;
    std::vector<std::string> remarks_;
    std::thread thread_;
};
