#include "engine/TemporaryFile.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

TemporaryFile::TemporaryFile(const std::string& ending) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return;
    // Random names: two programs at once each find a free one.
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "veltrane-%016llx",
                      static_cast<unsigned long long>(random()));
        const std::filesystem::path candidate = folder / (name + ending);
        if (!std::filesystem::exists(candidate, error) && !error) {
            path_ = candidate.string();
            return;
        }
    }
}

TemporaryFile::~TemporaryFile() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}
