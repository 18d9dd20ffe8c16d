#include "app/RecentFiles.h"

#include "engine/Profile.h"

namespace {
constexpr const char* kSection = "RecentFiles";
}

void RecentFiles::add(const std::string& path) {
    std::vector<std::string> updated{path};
    for (const auto& entry : paths_) {
        if (!entry.empty() && entry != path && updated.size() < kCapacity) updated.push_back(entry);
    }
    paths_ = std::move(updated);
}

void RecentFiles::load(Profile& profile) {
    for (int number = static_cast<int>(kCapacity); number >= 1; --number) {
        std::string path = profile.readString(kSection, std::to_string(number), "");
        if (!path.empty()) add(path);
    }
}

void RecentFiles::store(Profile& profile) const {
    for (std::size_t index = 0; index < paths_.size(); ++index) {
        profile.writeString(kSection, std::to_string(index + 1), paths_[index]);
    }
}

std::string pathFromCommandLine(const std::string& commandLine) {
    if (commandLine.empty()) return {};
    if (commandLine.front() == '"') {
        auto closing = commandLine.find('"', 1);
        return closing == std::string::npos ? commandLine : commandLine.substr(1, closing - 1);
    }
    auto space = commandLine.find(' ');
    return space == std::string::npos ? commandLine : commandLine.substr(0, space);
}
