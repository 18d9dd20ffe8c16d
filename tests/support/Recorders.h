#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/TraceSink.h"

// Keeps every debug-trace text; safe to read while a worker thread writes.
class RecordingTraceSink : public TraceSink {
public:
    void write(const char* text) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(text);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::string joined() const {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const auto& line : lines_) all += line;
        return all;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
